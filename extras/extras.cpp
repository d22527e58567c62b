// Set-up and removal of the photo extras.
#include "extras/extras.h"

#include "extras/autoplay.h"
#include "install/product_session.h"

void ProductSession::InstallExtras(bool) {}
bool SetUpExtras(const char*, bool) { return true; }
bool SetDeviceConnectAutorun(bool, bool, const char*) { return false; }
bool RemoveExtras(const char*, bool) { return true; }
void CleanExtrasFolder(const char*) {}
Status UpdateExtrasShortcuts(const char*, bool) { return kStatusFailed; }
Status CreateShortcut(const char*, const char*, const char*, const char*, const char*) {
  return kStatusFailed;
}
Status DeleteShortcutFile(const char*) { return kStatusFailed; }
INT_PTR CallDllRegistration(const char*, bool) { return 0; }
bool IsFolder(const char*) { return false; }
