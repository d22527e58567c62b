// Refusing folders that a broken or hostile system info module reports: a blank, relative or
// root folder would otherwise make the uninstall pass delete far more than the product.
#include "uninstall/folder_guard.h"

#include "base/debug_channel.h"
#include "sys/file_removal.h"

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsRemovableProductFolder(const char* folder) {
  if (!folder || !*folder) return false;
  const bool driveAbsolute = IsLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\';
  const bool share = folder[0] == '\\' && folder[1] == '\\';
  if (!driveAbsolute && !share) return false;
  if (lstrlenA(folder) >= kPathBufferSize) return false;
  return IsRemovablePath(folder);
}

Status RemoveReportedFolder(const char* folder) {
  if (!IsRemovableProductFolder(folder)) {
    LogError("Refusing to remove the folder reported by the system info module: \"",
             folder ? folder : "", "\"");
    return kStatusFailed;
  }
  return RemovePath(folder);
}
