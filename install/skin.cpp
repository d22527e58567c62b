// Skin selection: keeping a user's earlier skin choice across upgrades through the options file.
#include <shlobj.h>
#include <string.h>

#include "base/debug_channel.h"
#include "sys/options.h"
#include "install/installer.h"
#include "sys/path_tests.h"
#include "sys/registry.h"

namespace {

const char kOptionsFileName[] = "GeneralOptions.ini";
const char kSkinFolderMarker[] = "\\ThemesV3\\";

// Reads [Skin] Path of one options file; a skin path below a "ThemesV3" folder becomes the
// previous skin, relative to the skin root.
void TryOptionsFile(const char* path, HeapString* previousSkin) {
  LogInfo("Trying ", path);
  char value[kPathBufferSize] = {};
  GetPrivateProfileStringA("Skin", "Path", "", value, sizeof value, path);
  value[sizeof value - 1] = '\0';
  const char* marker = strstr(value, kSkinFolderMarker);
  if (!marker) return;
  previousSkin->Assign(marker + 1);
}

// Tries "<application data folder>" + relative, when the application data folder exists.
Status TryAppDataOptionsFile(const char* relative, HeapString* previousSkin) {
  HeapString folder;
  Status status = GetAppDataFolder(false, &folder);
  if (status < 0) return status;
  if (!IsExistingDirectory(folder.Text())) return kStatusOk;
  HeapString path;
  if (!path.Assign(folder.Text()) || !path.Append(relative)) return kStatusNoMemory;
  TryOptionsFile(path.Text(), previousSkin);
  return kStatusOk;
}

}  // namespace

Status Installer::FindPreviousSkin() {
  LogInfo("Looking up the previously selected skin ...");
  if (!m_systemInfo) return kStatusFailed;
  HeapString folder;
  long status = m_systemInfo->GetUserDataFolder(kFolderPrivate, &folder);
  if (status < 0) {
    LogError("Failed to obtain the version independent private current user data folder.");
    return status;
  }
  if (IsExistingDirectory(folder.Text())) {
    HeapString path;
    if (!path.Assign(folder.Text()) || !path.Append("\\Nimbrel\\TollixV35\\GeneralOptions.ini")) return kStatusNoMemory;
    TryOptionsFile(path.Text(), &m_previousSkin);
  }
  if (m_previousSkin.IsEmpty() && IsMakerVendor(m_vendor)) {
    status = TryAppDataOptionsFile("\\Nimbrel\\TollixV35\\GeneralOptions.ini", &m_previousSkin);
    if (status < 0) return status;
    if (m_previousSkin.IsEmpty()) {
      status = TryAppDataOptionsFile("\\Nimbrel\\Tollix\\GeneralOptions.ini", &m_previousSkin);
      if (status < 0) return status;
    }
  }
  return kStatusOk;
}

Status Installer::SelectSkin() {
  if (!m_systemInfo) return kStatusFailed;
  HeapString optionsFile;
  if (m_systemInfo->GetUserDataFolder(kFolderPrivateCopy, &optionsFile) < 0 || !optionsFile.Append(kOptionsFileName)) {
    LogError("Failed to obtain the private current user data folder from the system info module.");
    return kStatusFailed;
  }
  HeapString skinRoot;
  if (m_systemInfo->GetAllUsersDataFolder(kFolderPrivateCopy, &skinRoot) < 0) {
    LogError("Failed to obtain the private current user data folder from the system info module.");
    return kStatusFailed;
  }

  HeapString selected;
  if (!GetOptionValue(m_arguments.Text(), "/fs") && !m_previousSkin.IsEmpty()) {
    HeapString previous;
    if (!previous.Assign(skinRoot.Text()) || !previous.Append(m_previousSkin)) return kStatusFailed;
    LogInfo("Checking if previous skin exists: ", previous.Text());
    if (IsExistingFile(previous.Text()) && !selected.Swap(previous)) return kStatusFailed;
  }
  if (selected.IsEmpty()) {
    if (!selected.Assign(skinRoot.Text()) || !selected.Append(m_skin)) return kStatusFailed;
  }

  // The partner edition must not show its helper's first-run notice again after an upgrade.
  if (strstr(m_installId.Text(), kArvoInstallId) &&
      GetPrivateProfileIntA("BHO", "Shown", -1, optionsFile.Text()) == 1) {
    WritePrivateProfileStringA("BHO", "Shown", "-1", optionsFile.Text());
  }

  LogInfo("Selecting skin: ", selected.Text());
  // On a first install the toolbar has not made its user data folder yet.
  HeapString folder;
  if (m_systemInfo->GetUserDataFolder(kFolderPrivateCopy, &folder) >= 0 && !folder.IsEmpty() &&
      !IsExistingDirectory(folder.Text()))
    SHCreateDirectoryExA(nullptr, folder.Text(), nullptr);
  if (!WritePrivateProfileStringA("Skin", "Path", selected.Text(), optionsFile.Text())) {
    LogMessage(kLogError)
        .Text("Failed to write the skin to ")
        .Text(optionsFile)
        .Text(" (Windows error ")
        .Unsigned(GetLastError())
        .Text(")");
    return kStatusFailed;
  }
  return kStatusOk;
}
