// Registry helpers: logged reads and writes, the key family look-ups, listing and deletion.
#include "sys/registry.h"

#include <string.h>
#include <time.h>

#include "base/debug_channel.h"
#include "base/scoped.h"
#include "sys/runtime_toolbar_list.h"

const char kSearchBarV35Key[] = "Software\\Nimbrel\\NimbrelSearchBarV35";
const char kSearchBarKey[] = "Software\\Nimbrel\\NimbrelSearchBar";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kUninstallDateValue[] = "UninstallDate";

namespace {

DWORD UninstallTime() { return static_cast<DWORD>(time(nullptr)); }

}  // namespace

LONG StampUninstallDate(const ScopedRegKey& key) { return key.SetDword(kUninstallDateValue, UninstallTime()); }

Status StampUninstallDate(HKEY root, const char* subkey) {
  return WriteRegistryDword(root, subkey, kUninstallDateValue, UninstallTime());
}

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool IsMiss(LONG error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Reads a text value into a buffer of kPathBufferSize bytes (see ScopedRegKey::ReadText).
LONG QueryText(HKEY root, const char* subkey, const char* name, char* out) {
  out[0] = '\0';
  ScopedRegKey key;
  LONG error = key.Open(root, subkey, KEY_QUERY_VALUE);
  if (error != ERROR_SUCCESS) return error;
  return key.ReadText(name, out, kPathBufferSize);
}

}  // namespace

Status ReadRegistryDword(HKEY root, const char* subkey, const char* name, DWORD* out) {
  LogMessage(kLogTrace).Text("Looking up [").Text(name).Text("] under [").Text(subkey).Text("] ...");
  ScopedRegKey key;
  LONG error = key.Open(root, subkey, KEY_QUERY_VALUE);
  if (error == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD size = sizeof(DWORD);
    error = RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
    if (error == ERROR_SUCCESS) {
      if (type == REG_DWORD) LogMessage(kLogTrace).Text("Found: ").Unsigned(*out);
      return kStatusOk;
    }
  }
  return IsMiss(error) ? kStatusOk : kStatusFailed;
}

Status ReadRegistryString(HKEY root, const char* subkey, const char* name, HeapString* out) {
  LogMessage(kLogTrace).Text("Looking up [").Text(name).Text("] under [").Text(subkey).Text("] ...");
  ScopedRegKey key;
  LONG error = key.Open(root, subkey, KEY_QUERY_VALUE);
  if (error == ERROR_SUCCESS) {
    out->Truncate(0);
    if (!out->Reserve(kPathBufferSize, false)) return kStatusFailed;
    DWORD type = 0;
    // Whatever the value's type, its bytes are read as a text.
    error = key.ReadText(name, out->Buffer(), kPathBufferSize, &type, ScopedRegKey::ValueTypes::kAny);
    if (error == ERROR_SUCCESS) {
      if (type == REG_SZ) LogMessage(kLogTrace).Text("Found: ").Text(out->Text());
      return kStatusOk;
    }
  }
  return IsMiss(error) ? kStatusOk : kStatusFailed;
}

Status WriteRegistryDword(HKEY root, const char* subkey, const char* name, DWORD value) {
  LogMessage(kLogTrace).Text("Setting [").Text(name).Text("] under [").Text(subkey).Text("] ...");
  ScopedRegKey key;
  if (key.Create(root, subkey, KEY_SET_VALUE) != ERROR_SUCCESS) return kStatusFailed;
  if (key.SetDword(name, value) != ERROR_SUCCESS) return kStatusFailed;
  LogMessage(kLogTrace).Text("Wrote: ").Unsigned(value);
  return kStatusOk;
}

Status WriteRegistryString(HKEY root, const char* subkey, const char* name, const char* text) {
  LogMessage(kLogTrace).Text("Setting [").Text(name).Text("] under [").Text(subkey).Text("] ...");
  if (!text) text = "";
  ScopedRegKey key;
  if (key.Create(root, subkey, KEY_SET_VALUE) != ERROR_SUCCESS) return kStatusFailed;
  if (key.SetText(name, text) != ERROR_SUCCESS) return kStatusFailed;
  LogMessage(kLogTrace).Text("Wrote: ").Text(text);
  return kStatusOk;
}

namespace {

Status FindDword(const char* const* keys, int count, const char* name, DWORD* out) {
  *out = 0;
  for (int i = 0; i < count; ++i) {
    Status status = ReadRegistryDword(HKEY_LOCAL_MACHINE, keys[i], name, out);
    if (status < 0) return status;
    if (*out != 0) return kStatusOk;
  }
  return kStatusOk;
}

}  // namespace

Status FindToolbarDword(const char* name, DWORD* out) {
  static const char* const kKeys[] = {"Software\\Nimbrel\\Nimbrel Toolbar", "Software\\Nimbrel\\Snapora Toolbar",
                                      kSearchBarV35Key, kSearchBarKey};
  return FindDword(kKeys, 4, name, out);
}

Status FindSearchBarDword(const char* name, DWORD* out) {
  static const char* const kKeys[] = {kSearchBarV35Key, kSearchBarKey};
  return FindDword(kKeys, 2, name, out);
}

Status FindToolbarString(const char* name, HeapString* out) {
  static const char* const kKeys[] = {"Software\\Nimbrel\\Nimbrel Toolbar\\3.7.0",
                                      "Software\\Nimbrel\\Nimbrel Toolbar\\3.6.0", kSearchBarV35Key, kSearchBarKey};
  out->Truncate(0);
  for (const char* key : kKeys) {
    Status status = ReadRegistryString(HKEY_LOCAL_MACHINE, key, name, out);
    if (status < 0) return status;
    if (!out->IsEmpty()) return kStatusOk;
  }
  return kStatusOk;
}

Status ListRegistryValues(HKEY root, const char* subkey, StringList* list) {
  ScopedRegKey key;
  LONG error = key.Open(root, subkey, KEY_ALL_ACCESS);
  if (error != ERROR_SUCCESS) return error == ERROR_FILE_NOT_FOUND ? kStatusOk : kStatusFailed;
  for (DWORD index = 0;; ++index) {
    char name[kPathBufferSize];
    char data[kPathBufferSize + 1];
    DWORD nameSize = kPathBufferSize;
    DWORD dataSize = kPathBufferSize;
    if (RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataSize) !=
        ERROR_SUCCESS)
      break;
    data[dataSize] = '\0';
    // Out of memory: stop and keep what was collected.
    if (!list->Grow()) break;
    if (!IsToolbarListVersionValue(name)) list->At(list->Count() - 1).Assign(data);
  }
  return kStatusOk;
}

Status DeleteRegistryTree(HKEY root, const char* subkey) {
  ScopedRegKey key;
  LONG error = key.Open(root, subkey, KEY_ALL_ACCESS);
  if (error != ERROR_SUCCESS) return error == ERROR_FILE_NOT_FOUND ? kStatusOk : kStatusFailed;
  Status childStatus = kStatusOk;
  char previous[kPathBufferSize] = {};
  for (;;) {
    char child[kPathBufferSize];
    DWORD size = sizeof child;
    if (RegEnumKeyExA(key.Get(), 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    // A subkey reported deleted that is still there would be enumerated for ever.
    if (previous[0] && strcmp(previous, child) == 0) {
      childStatus = kStatusFailed;
      break;
    }
    childStatus = DeleteRegistryTree(key.Get(), child);
    if (childStatus < 0) break;
    memcpy(previous, child, sizeof child);
  }
  key.Close();
  if (childStatus < 0) return childStatus;
  return RegDeleteKeyA(root, subkey) == ERROR_SUCCESS ? kStatusOk : kStatusFailed;
}

Status DeleteRegistryValue(HKEY root, const char* subkey, const char* name) {
  ScopedRegKey key;
  LONG error = key.Open(root, subkey, KEY_ALL_ACCESS);
  if (error != ERROR_SUCCESS) return error == ERROR_FILE_NOT_FOUND ? kStatusOk : kStatusFailed;
  RegDeleteValueA(key.Get(), name);
  return kStatusOk;
}

Status GetAppDataFolder(bool allUsers, HeapString* out) {
  char path[kPathBufferSize] = {};
  // An empty value names no folder (it would turn into the root of the drive): treat it as missing.
  LONG error = allUsers ? QueryText(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", path) : ERROR_FILE_NOT_FOUND;
  if (error != ERROR_SUCCESS || path[0] == '\0') {
    if (QueryText(HKEY_CURRENT_USER, kShellFolders, "AppData", path) != ERROR_SUCCESS || path[0] == '\0')
      return kStatusFailed;
  }
  // Exactly one trailing backslash, also when the stored path carries several.
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '\\' && path[length - 2] == '\\') path[--length] = '\0';
  if (path[length - 1] != '\\') {
    if (length + 1 >= static_cast<size_t>(kPathBufferSize)) return kStatusFailed;  // no room for the backslash
    path[length] = '\\';
    path[length + 1] = '\0';
  }
  return out->Assign(path) ? kStatusOk : kStatusFailed;
}

LONG GetDesktopFolder(char* out) {
  LONG error = QueryText(HKEY_LOCAL_MACHINE, kShellFolders, "Common Desktop", out);
  if (error != ERROR_SUCCESS) error = QueryText(HKEY_CURRENT_USER, kShellFolders, "Desktop", out);
  return error;
}
