// The uninstall pass: ping, unregistration, photo extras, private and runtime parts, the
// Add/Remove Programs entry.
#include "base/debug_channel.h"
#include "uninstall/uninstaller.h"

Status Uninstaller::Uninstall(bool, bool, bool, bool, bool, bool) {
  LogError("The uninstall pass is not available in this build yet.");
  return kStatusFailed;
}
