// Uninstall mode. The uninstall pass arrives with the uninstall sequence.
#include "base/debug_channel.h"
#include "base/status.h"
#include "uninstall/uninstaller.h"

Status RunUninstall(const char* /*commandLine*/, HINSTANCE /*instance*/) {
  LogError("The uninstall driver is not available in this build.");
  return kStatusFailed;
}
