// The removal steps of an uninstall pass: program files, application data and registry keys of
// the product and of the shared runtime, and the photo extras.
#include <initializer_list>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/debug_channel.h"
#include "base/scoped.h"
#include "extras/extras.h"
#include "install/installer.h"
#include "sys/os_version.h"
#include "sys/path_tests.h"
#include "sys/file_removal.h"
#include "sys/path_guard.h"
#include "sys/registry.h"
#include "sys/registry_names.h"
#include "uninstall/uninstaller.h"
#include "uninstall/earlier_generations.h"

namespace {

const char kSearchScopesKey[] = "Software\\Microsoft\\Internet Explorer\\SearchScopes";

// Removes one folder the module reports, then its empty parents.
Status RemoveFolderAndEmptyParents(const HeapString& folder) {
  const Status status = RemovePath(folder.Text());
  if (status < 0) return status;
  char path[kPathBufferSize];
  lstrcpynA(path, folder.Text(), kPathBufferSize);
  Uninstaller::RemoveEmptyParents(path);
  return kStatusOk;
}

// "Software\<a>\<b>\<c>"; false when a text could not be stored.
bool BuildKeyPath(const HeapString& a, const HeapString& b, const HeapString& c, HeapString* out) {
  return out->Assign("Software\\") && out->Append(a) && out->Append("\\") && out->Append(b) && out->Append("\\") &&
         out->Append(c);
}

// Removes a folder only when it is empty and the removal guard lets it go: an empty parent may
// be a root or one of the system's own folders, which stay whatever is in them.
bool RemoveIfEmpty(const char* folder) {
  if (JudgeRemoval(folder) != kRemovalAllowed) return false;
  return RemoveDirectoryA(folder) != FALSE;
}

}  // namespace

void Uninstaller::RemoveEmptyParents(char* folderPath) {
  if (!folderPath || CutToParentFolder(folderPath) < 0) return;
  if (!RemoveIfEmpty(folderPath)) return;
  if (CutToParentFolder(folderPath) < 0) return;
  RemoveIfEmpty(folderPath);
}

Status Uninstaller::RemovePhotoExtras(bool removeRuntime, bool /*removeProduct*/, bool /*deleteUserData*/) {
  if (!IsWindows2000OrLater() || !removeRuntime) return kStatusOk;
  const Status shared = IsRuntimeShared();
  if (shared < 0) return shared;
  if (shared == 1) {
    LogInfo("Not removing the runtime snapora extras.");
    return kStatusOk;
  }
  if (!m_systemInfo) return kStatusFailed;
  HeapString runtimeFolder;
  HeapString userFolder;
  if (m_systemInfo->GetProgramFilesFolder(kFolderRuntime, &runtimeFolder) < 0 ||
      m_systemInfo->GetUserDataFolder(kFolderPrivate, &userFolder) < 0) {
    LogError("Failed to obtain the runtime program files and current user folders ...");
    return kStatusFailed;
  }
  return RemoveExtras(runtimeFolder.IsEmpty() ? nullptr : runtimeFolder.Text(), false) ? kStatusOk : kStatusFailed;
}

Status Uninstaller::RemovePrivateProgramFiles() {
  if (!m_systemInfo) return kStatusFailed;
  HeapString folder;
  const Status status = m_systemInfo->GetProgramFilesFolder(kFolderPrivate, &folder);
  if (status < 0) return status;
  return RemoveFolderAndEmptyParents(folder);
}

Status Uninstaller::RemoveRuntimeProgramFiles() {
  if (!m_systemInfo) return kStatusFailed;
  const Status shared = IsRuntimeShared();
  if (shared < 0) return shared;
  if (shared == 1) {
    LogInfo("Not removing the runtime program files.");
    return kStatusOk;
  }
  HeapString folder;
  const Status status = m_systemInfo->GetProgramFilesFolder(kFolderRuntime, &folder);
  if (status < 0) return status;
  return RemoveFolderAndEmptyParents(folder);
}

namespace {

Status RemoveDataFolders(SystemInfo* systemInfo, int kind, bool deleteUserData) {
  HeapString folder;
  Status status = systemInfo->GetAllUsersDataFolder(kind, &folder);
  if (status < 0) return status;
  status = RemoveFolderAndEmptyParents(folder);
  if (status < 0) return status;
  if (!deleteUserData) return kStatusOk;
  status = systemInfo->GetUserDataFolder(kind, &folder);
  if (status < 0) return status;
  return RemoveFolderAndEmptyParents(folder);
}

}  // namespace

Status Uninstaller::RemovePrivateAppData(bool deleteUserData) {
  if (!m_systemInfo) return kStatusFailed;
  return RemoveDataFolders(m_systemInfo, kFolderPrivate, deleteUserData);
}

Status Uninstaller::RemoveRuntimeAppData(bool deleteUserData) {
  if (!m_systemInfo) return kStatusFailed;
  const Status shared = IsRuntimeShared();
  if (shared < 0) return shared;
  if (shared == 1) {
    LogInfo("Not removing the runtime application data.");
    return kStatusOk;
  }
  const Status status = RemoveDataFolders(m_systemInfo, kFolderRuntime, deleteUserData);
  if (status < 0) return status;

  RemoveLegacyDataFolders(deleteUserData);

  // Another Nimbrel toolbar kit still uses the personalization data.
  char programFiles[MAX_PATH] = {0};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles))) {
    programFiles[0] = '\0';
  }
  HeapString sdkFolder;
  if (sdkFolder.Assign(programFiles) && sdkFolder.Append("\\Nimbrel\\Toolbar SDK\\") &&
      IsExistingDirectory(sdkFolder.Text())) {
    return kStatusOk;
  }

  const struct {
    bool allUsers;
    const char* failure;
  } kPersonalization[] = {
      {true, "Could not remove Personalization all user app data."},
      {false, "Could not remove Personalization current user app data."},
  };
  for (const auto& entry : kPersonalization) {
    HeapString folder;
    if (GetAppDataFolder(entry.allUsers, &folder) < 0 || folder.IsEmpty()) continue;
    if (!folder.Append("Nimbrel\\Personalization\\") || RemovePath(folder.Text()) < 0) {
      LogInfo(entry.failure);
    }
  }
  return kStatusOk;
}

Status Uninstaller::RemovePrivateRegistryKeys() {
  if (!m_systemInfo) return kStatusFailed;
  HeapString vendor;
  HeapString product;
  HeapString versionKey;
  Status status = m_systemInfo->GetVendorName(&vendor);
  if (status < 0) return status;
  status = m_systemInfo->GetProductName(&product);
  if (status < 0) return status;
  status = m_systemInfo->GetProductVersionKey(&versionKey);
  if (status < 0) return status;
  // Each answer must be one key name: an empty one, or one with a backslash, makes the path
  // name a key above the product's own or beside it (repeated backslashes are read as one).
  if (!CheckKeyName("vendor name", vendor.Text()) || !CheckKeyName("product name", product.Text()) ||
      !CheckKeyName("product version key", versionKey.Text())) {
    return kStatusFailed;
  }
  HeapString keyPath;
  if (!BuildKeyPath(vendor, product, versionKey, &keyPath)) return kStatusNoMemory;
  status = DeleteRegistryTree(HKEY_CURRENT_USER, keyPath.Text());
  if (status < 0) return status;
  status = DeleteRegistryTree(HKEY_LOCAL_MACHINE, keyPath.Text());
  if (status < 0) return status;

  ScopedRegKey key;
  if (m_systemInfo->OpenRegKey(kKeyPrivate, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, key.Receive()) >= 0 &&
      key.IsValid()) {
    StampUninstallDate(key);
  }
  key.Close();
  if (m_systemInfo->OpenRegKey(kKeyProductRead, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, key.Receive()) >= 0 &&
      key.IsValid()) {
    RegDeleteValueA(key.Get(), "Version");
    RegDeleteValueA(key.Get(), "ToolbarSelectedInBrowser");
    // An install ended midway marks its version unfinished; the mark goes with the version.
    RegDeleteValueA(key.Get(), kUnfinishedInstallValue);
  }
  key.Close();
  if (m_systemInfo->OpenRegKey(kKeyProductRead, HKEY_CURRENT_USER, 0, kProductKeyAccess, key.Receive()) >= 0 &&
      key.IsValid()) {
    RegDeleteValueA(key.Get(), "ToolbarSelectedInBrowser");
  }
  return kStatusOk;
}

Status Uninstaller::RemoveRuntimeRegistryKeys() {
  if (!m_systemInfo) return kStatusFailed;
  const Status shared = IsRuntimeShared();
  if (shared < 0) return shared;
  if (shared == 1) {
    LogInfo("Not removing the runtime registry keys.");
    return kStatusOk;
  }
  HeapString vendorKey;
  HeapString keyName;
  HeapString versionKey;
  Status status = m_systemInfo->GetRuntimeVendorKey(&vendorKey);
  if (status < 0) return status;
  status = m_systemInfo->GetRuntimeKeyName(&keyName);
  if (status < 0) return status;
  status = m_systemInfo->GetRuntimeVersionKey(&versionKey);
  if (status < 0) return status;
  if (!CheckKeyName("runtime vendor key", vendorKey.Text()) || !CheckKeyName("runtime key name", keyName.Text()) ||
      !CheckKeyName("runtime version key", versionKey.Text())) {
    return kStatusFailed;
  }
  HeapString keyPath;
  if (!BuildKeyPath(vendorKey, keyName, versionKey, &keyPath)) return kStatusNoMemory;
  status = DeleteRegistryTree(HKEY_CURRENT_USER, keyPath.Text());
  if (status < 0) return status;
  status = DeleteRegistryTree(HKEY_LOCAL_MACHINE, keyPath.Text());
  if (status < 0) return status;

  for (const char* legacy : {kSearchBarV35Key, kSearchBarKey}) {
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, legacy);
    DeleteRegistryTree(HKEY_CURRENT_USER, legacy);
  }
  StampUninstallDate(HKEY_LOCAL_MACHINE, kSearchBarV35Key);
  StampUninstallDate(HKEY_LOCAL_MACHINE, kSearchBarKey);

  ScopedRegKey key;
  if (m_systemInfo->OpenRegKey(kKeyRuntimeVersioned, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, key.Receive()) >= 0 &&
      key.IsValid()) {
    StampUninstallDate(key);
  }
  key.Close();
  if (m_systemInfo->OpenRegKey(kKeyRuntimeRead, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, key.Receive()) >= 0 &&
      key.IsValid()) {
    RegDeleteValueA(key.Get(), "Version");
  }
  key.Close();
  if (key.Open(HKEY_CURRENT_USER, kSearchScopesKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
    SHDeleteKeyA(key.Get(), "NMBL");
  }
  return kStatusOk;
}
