// Set-up and removal of the photo extras: the device-connect program, its shell extension,
// the mail-client add-in, the start-with-Windows value and the shortcuts.
#pragma once

#include <windows.h>

#include "base/status.h"
#include "base/system_info.h"

// Sets up the extras in the runtime's folder that the edition's system info names.
void InstallExtras(SystemInfo* systemInfo, bool disableAutorun);

// Sets up the extras in the given folder (null or empty: the folder-bound steps are skipped).
bool SetUpExtras(const char* folder, bool disableAutorun);
// Enables (and optionally restarts) or disables the device-connect program's start with
// Windows. A null folder takes the program from the earlier search bar's install folder.
bool SetDeviceConnectAutorun(bool enable, bool restart, const char* folder);
// True when the Run value and both handler registrations are gone.
bool RemoveExtras(const char* folder, bool cleanupOnly);
void CleanExtrasFolder(const char* folder);
// Creates or removes the desktop and Quick Launch shortcuts; the second one's result.
Status UpdateExtrasShortcuts(const char* folder, bool create);
Status CreateShortcut(const char* target, const char* arguments, const char* link, const char* description,
                      const char* icon);
Status DeleteShortcutFile(const char* link);
// The module handle value when it is below 32 (load failure), else FreeLibrary's result.
INT_PTR CallDllRegistration(const char* path, bool doRegister);
bool IsFolder(const char* path);
