// The runtime's toolbar list: one value per toolbar on the shared runtime, and a "Version"
// value that names no toolbar. The uninstalled product's own value must go with it: left
// behind, it would keep the runtime counted as shared for good and make every later install
// over the runtime try to upgrade a toolbar that is gone.
#include "sys/runtime_toolbar_list.h"

#include "base/debug_channel.h"
#include "base/scoped.h"

const char kToolbarRuntimeListKey[] = "Software\\Nimbrel\\Toolbar Runtime";

// Registry value names compare without regard to case, so this one does too.
bool IsToolbarListVersionValue(const char* valueName) { return valueName && lstrcmpiA(valueName, "Version") == 0; }

Status CountRuntimeToolbars(long* count) {
  if (count) *count = -1;
  ScopedRegKey list;
  if (list.Open(HKEY_LOCAL_MACHINE, kToolbarRuntimeListKey, KEY_READ) != ERROR_SUCCESS) return kStatusOk;
  long toolbars = 0;
  for (DWORD index = 0;; ++index) {
    char name[kPathBufferSize];
    DWORD nameSize = sizeof(name);
    const LONG error = RegEnumValueA(list.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) break;
    // A name too long for the buffer is still a value on the list.
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return kStatusFailed;
    if (error == ERROR_MORE_DATA || !IsToolbarListVersionValue(name)) ++toolbars;
  }
  if (count) *count = toolbars;
  return kStatusOk;
}

bool IsSameModulePath(const char* listed, const char* modulePath, const char* moduleShortPath) {
  if (!listed || !*listed) return false;
  if (modulePath && *modulePath && lstrcmpiA(listed, modulePath) == 0) return true;
  if (moduleShortPath && *moduleShortPath && lstrcmpiA(listed, moduleShortPath) == 0) return true;
  return false;
}

bool FindRuntimeToolbarEntry(HMODULE module, RuntimeToolbarEntry* entry) {
  if (!entry) return false;
  entry->valueName[0] = '\0';
  if (!module) return false;
  char modulePath[kPathBufferSize] = {0};
  const DWORD length = GetModuleFileNameA(module, modulePath, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return false;
  char shortPath[kPathBufferSize] = {0};
  const DWORD shortLength = GetShortPathNameA(modulePath, shortPath, kPathBufferSize);
  if (shortLength == 0 || shortLength >= kPathBufferSize) shortPath[0] = '\0';

  ScopedRegKey list;
  if (list.Open(HKEY_LOCAL_MACHINE, kToolbarRuntimeListKey, KEY_READ) != ERROR_SUCCESS) return false;
  for (DWORD index = 0;; ++index) {
    char name[kPathBufferSize];
    DWORD nameSize = sizeof(name);
    char data[kPathBufferSize + 1];
    DWORD dataSize = kPathBufferSize;
    DWORD type = 0;
    const LONG error =
        RegEnumValueA(list.Get(), index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
    if (error == ERROR_NO_MORE_ITEMS) break;
    if (error != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize < kPathBufferSize ? dataSize : kPathBufferSize] = '\0';
    if (IsToolbarListVersionValue(name)) continue;
    char dataShort[kPathBufferSize] = {0};
    const DWORD dataShortLength = GetShortPathNameA(data, dataShort, kPathBufferSize);
    if (dataShortLength == 0 || dataShortLength >= kPathBufferSize) dataShort[0] = '\0';
    if (IsSameModulePath(data, modulePath, shortPath) ||
        (dataShort[0] && IsSameModulePath(dataShort, modulePath, shortPath))) {
      lstrcpynA(entry->valueName, name, kPathBufferSize);
      return true;
    }
  }
  return false;
}

void RemoveRuntimeToolbarEntry(const RuntimeToolbarEntry& entry) {
  if (!entry.valueName[0]) return;
  ScopedRegKey list;
  if (list.Open(HKEY_LOCAL_MACHINE, kToolbarRuntimeListKey, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  const LONG error = RegDeleteValueA(list.Get(), entry.valueName);
  if (error == ERROR_SUCCESS) {
    LogInfo("Removed the toolbar from the runtime's toolbar list: ", entry.valueName);
  } else if (error != ERROR_FILE_NOT_FOUND) {
    LogMessage(kLogError).Text("Could not remove the toolbar from the runtime's toolbar list, error ").Unsigned(error);
  }
}
