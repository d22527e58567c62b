// Takes the maker's earlier search bar generations off the machine when its toolbar is
// installed over them; the data folder part also runs in every uninstall.
#include "uninstall/earlier_generations.h"

#include <string.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/scoped.h"
#include "sys/file_removal.h"
#include "sys/path_guard.h"
#include "sys/registry.h"
#include "uninstall/uninstaller.h"

namespace {

const char* const kGenerationServers[] = {"{F8AD5AA5-D966-4667-9DAF-2561D68B2012}",
                                          "{A7327C09-B521-4EDB-8509-7D2660C9EC98}"};
const char* const kGenerationDataFolders[] = {"Nimbrel\\Tollix\\", "Nimbrel\\TollixV35\\"};

Status RemoveDataFolders(bool allUsers) {
  for (const char* relative : kGenerationDataFolders) {
    HeapString folder;
    Status status = GetAppDataFolder(allUsers, &folder);
    if (status < 0) return status;
    if (!folder.Append(relative)) return kStatusNoMemory;
    // A folder that cannot go now is scheduled; the generation is gone either way.
    RemovePath(folder.Text());
  }
  return kStatusOk;
}

}  // namespace

Status RemoveEarlierGenerations(DWORD version, bool deleteUserData) {
  if (version >= kEarlierGenerationsVersion) return kStatusOk;
  Status status = UnregisterEarlierGenerationServers();
  if (status < 0) return status;
  status = RemoveLegacyDataFolders(deleteUserData);
  if (status < 0) return status;
  // The program folders are named by values that the registry step deletes.
  status = RemoveLegacyProgramFolders();
  if (status < 0) return status;
  status = RemoveLegacyRegistryKeys();
  if (status < 0) return status;
  return kStatusOk;
}

Status UnregisterEarlierGenerationServers() {
  for (const char* clsid : kGenerationServers) {
    Status status = UnregisterServerByClsid(clsid);
    if (status < 0) return status;
  }
  return kStatusOk;
}

Status RemoveLegacyDataFolders(bool deleteUserData) {
  Status status = RemoveDataFolders(true);
  if (status < 0) return status;
  if (deleteUserData) {
    status = RemoveDataFolders(false);
    if (status < 0) return status;
  }
  return kStatusOk;
}

Status RemoveLegacyProgramFolders() {
  static const char* const kKeys[] = {kSearchBarV35Key, kSearchBarKey};
  for (const char* keyPath : kKeys) {
    char folder[kPathBufferSize];
    DWORD type = 0;
    LONG error;
    {
      ScopedRegKey key;
      error = key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
      if (error != ERROR_SUCCESS) continue;
      error = key.ReadText(nullptr, folder, sizeof folder, &type);
    }
    // Only a plain text names a folder; an unexpanded one would name the wrong place.
    if (error != ERROR_SUCCESS || type != REG_SZ || !folder[0]) continue;
    // A value that names no folder of the search bar's own (a root, a relative name, a system
    // folder) is refused and passed over: nothing of ours lies there, and the install goes on.
    if (!CheckRemovablePath(folder)) continue;
    Status status = RemovePath(folder);
    if (status < 0) {
      LogError("Failed to remove the earlier search bar folder ", folder);
      return status;
    }
  }
  return kStatusOk;
}

Status RemoveLegacyRegistryKeys() {
  ClearLegacyKey(true, kSearchBarKey);
  ClearLegacyKey(true, kSearchBarV35Key);
  ScopedRegKey uninstall;
  if (uninstall.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
    DeleteRegistryTree(uninstall.Get(), "NimbrelSearchBar");
    DeleteRegistryTree(uninstall.Get(), "NimbrelSearchBarV35");
  }
  return kStatusOk;
}

Status ClearLegacyKey(bool hklm, const char* keyPath) {
  ScopedRegKey key;
  if (key.Open(hklm ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, keyPath, KEY_ALL_ACCESS) != ERROR_SUCCESS)
    return kStatusOk;
  DeleteRegistryTree(key.Get(), "BasePaths");
  DWORD count = 0;
  if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    count = 0;
  for (DWORD index = count; index-- > 0;) {
    char name[kPathBufferSize];
    DWORD nameSize = sizeof name;
    if (RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    RegDeleteValueA(key.Get(), name);
  }
  StampUninstallDate(key);
  return kStatusOk;
}
