// Install mode: one installer at a time, the minimum requirements, the vendor's pass from
// "Private" and, over a Snapora installation, the maker's update pass from "NimbrelUpdate".
#include "entry/install_driver.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/scoped.h"
#include "entry/program.h"
#include "install/installer.h"
#include "sys/os_version.h"
#include "sys/path_tests.h"
#include "sys/registry.h"
#include "upgrade/upgrade_preparation.h"

const char kUninstallCompletedPage[] = "http://www.nimbrel.com/pub/uninstallcompleted.html";
const char kSecondPassOptions[] = "/i- /bt rel37 /fs- /snapora /sk \"ThemesV3\\XP\\XP.skin\" /uninsturl ";

namespace {

const char kInstallerMutex[] = "TollixInstaller";
const char kSystemInfoModule[] = "Vendor\\ProgFiles\\TollixSystemInfo.dll";
const char kSnaporaServerKey[] = "CLSID\\{F8AD5AA5-D966-4667-9DAF-2561D68B2012}\\InProcServer32";
const char kInternetExplorerKey[] = "Software\\Microsoft\\Internet Explorer";
const DWORD kSearchBarStampVersion = 0x030501FF;
const int kMinimumInternetExplorer = 6;

// Holds the single-instance mutex; releases it (when this process owns it) and closes it.
class InstallerGuard {
 public:
  InstallerGuard() : m_owned(false) {}
  ~InstallerGuard() {
    if (m_owned) ReleaseMutex(m_mutex.Get());
  }
  // False when another installer or uninstaller holds the name.
  bool Take() {
    m_mutex.Reset(CreateMutexA(nullptr, TRUE, kInstallerMutex));
    if (!m_mutex.IsValid()) return true;  // no guard to be had: go on without one
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      m_mutex.Close();
      return false;
    }
    m_owned = true;
    return true;
  }

 private:
  ScopedHandle m_mutex;
  bool m_owned;
};

// Saves the current directory and puts it back on every way out of a pass.
class CurrentDirectoryKeeper {
 public:
  CurrentDirectoryKeeper() {
    DWORD length = GetCurrentDirectoryA(kPathBufferSize, m_saved);
    m_valid = length > 0 && length < static_cast<DWORD>(kPathBufferSize);
    if (!m_valid) m_saved[0] = '\0';
  }
  ~CurrentDirectoryKeeper() {
    if (m_valid) SetCurrentDirectoryA(m_saved);
  }
  CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
  CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;
  bool IsValid() const { return m_valid; }

 private:
  char m_saved[kPathBufferSize];
  bool m_valid;
};

// Deletes the unfinished-install mark of a pass whose install sequence ran: the run's last step.
void ClearUnfinishedInstallMark(const ScopedRegKey& key) {
  if (key.IsValid()) RegDeleteValueA(key.Get(), kUnfinishedInstallValue);
}

// Each pass hands back the key of its product's unfinished-install mark (not opened when the
// pass installed nothing), for the run to clear once everything after the passes is done too.
Status RunVendorPass(const char* commandTail, ScopedRegKey* unfinishedMark) {
  // Declared first, so the directory comes back after the Installer is gone.
  CurrentDirectoryKeeper directory;
  if (!directory.IsValid()) {
    LogMessage(kLogError).Text("Unable to read the current directory. (").Unsigned(GetLastError()).Text(")");
    return kStatusPathTooLong;
  }
  SetCurrentDirectoryA("Private");

  Installer installer;
  Status status = installer.Initialize(kSystemInfoModule, commandTail);
  if (status == kStatusCancelled) {
    LogError("User cancelled the installation.");
    return kStatusCancelled;
  }
  if (status < 0) {
    LogError("Installer failed to initialize.");
    return status;
  }

  LogInfo("Preparing for an upgrade of vendor's toolbar if needed ...");
  bool reregisterToolbars = false;
  status = PrepareUpgrade(&installer, &reregisterToolbars);
  if (status < 0) {
    LogError("Failed to obtain information about the existing installation of vendor's toolbar.");
    return status;
  }

  status = installer.Install();
  if (status < 0) {
    LogError("Failed to install vendor's toolbar.");
    return status;
  }
  if (status == kStatusCancelled) return kStatusCancelled;

  if (reregisterToolbars) ReregisterToolbars();
  installer.OpenUnfinishedInstallMark(unfinishedMark);
  return kStatusOk;
}

Status RunMakerUpdatePass(const char* commandTail, ScopedRegKey* unfinishedMark) {
  HeapString arguments;
  if (!BuildSecondPassArguments(commandTail, &arguments)) return kStatusNoMemory;

  CurrentDirectoryKeeper directory;
  if (!directory.IsValid()) {
    LogMessage(kLogError).Text("Unable to read the current directory. (").Unsigned(GetLastError()).Text(")");
    return kStatusPathTooLong;
  }
  SetCurrentDirectoryA("NimbrelUpdate");

  Installer installer;
  Status status = installer.Initialize(kSystemInfoModule, arguments.Text());
  if (status == kStatusCancelled) {
    LogError("User cancelled the installation.");
    return kStatusCancelled;
  }
  if (status < 0) {
    LogError("Failed to remove the our old toolbar.");
    return status;
  }

  LogInfo("Preparing for an upgrade of our toolbar if needed ...");
  bool reregisterToolbars = false;
  status = PrepareUpgrade(&installer, &reregisterToolbars);
  if (status < 0) {
    LogError("Failed to obtain information about the existing installation of our toolbar.");
    return status;
  }

  status = installer.Install();
  if (status < 0) {
    LogError("Failed to update the existing install of our old toolbar.");
    return status;
  }
  if (status == kStatusOk) installer.OpenUnfinishedInstallMark(unfinishedMark);
  return kStatusOk;
}

bool HasMakerUpdatePackage() {
  char folder[kPathBufferSize] = {};
  DWORD length = GetCurrentDirectoryA(kPathBufferSize, folder);
  static const char kFolderName[] = "\\NimbrelUpdate";
  if (length == 0 || length + sizeof kFolderName > static_cast<DWORD>(kPathBufferSize)) return false;
  memcpy(folder + length, kFolderName, sizeof kFolderName);
  return IsExistingDirectory(folder);
}

}  // namespace

bool BuildSecondPassArguments(const char* commandTail, HeapString* out) {
  if (!out->Assign(commandTail ? commandTail : "")) return false;
  // Without a blank, an option at the end of the tail would run into the first fixed one and
  // no longer be recognised (a silent run would ask questions in the second pass).
  int length = out->Length();
  if (length > 0 && out->Text()[length - 1] != ' ' && !out->Append(" ")) return false;
  return out->Append(kSecondPassOptions) && out->Append("\"") && out->Append(kUninstallCompletedPage) &&
         out->Append("\"");
}

int InternetExplorerMajorVersion(const char* versionText) { return versionText ? atoi(versionText) : 0; }

Status CheckMinimumRequirements() {
  if (!IsWindows2000OrLater()) return kStatusFailed;
  ScopedRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kInternetExplorerKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) return kStatusFailed;
  char version[kPathBufferSize];
  if (key.ReadText("Version", version, sizeof version) != ERROR_SUCCESS) return kStatusFailed;
  return InternetExplorerMajorVersion(version) >= kMinimumInternetExplorer ? kStatusOk : kStatusFailed;
}

bool IsSnaporaInstalled() {
  ScopedRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, kSnaporaServerKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) return false;
  char path[kPathBufferSize];
  if (key.ReadText(nullptr, path, sizeof path) != ERROR_SUCCESS) return false;
  return path[0] != '\0' && IsExistingFile(path);
}

long InstallDriver(const char* commandLine) {
  InstallerGuard guard;
  if (!guard.Take()) {
    LogInfo("There is already an installer/uninstaller running. Exiting.");
    return kStatusAlreadyRunning;
  }

  LogInfo("Checking minimum requirements ...");
  if (CheckMinimumRequirements() != kStatusOk) {
    LogError("System failed the minimum system requirements check.");
    ShowNotification(
        "Unable to install this toolbar because you fail to meet minimum requirements. Toolbar will install only "
        "on Operating Systems with 2K or higher, and IE versions with 6.0 and higher.",
        "Insufficient requirements", true);
    return kStatusFailed;
  }

  const bool snapora = IsSnaporaInstalled();
  if (snapora) LogInfo("Found a Nimbrel/Snapora installation.");

  ScopedRegKey vendorMark;
  Status status = RunVendorPass(commandLine, &vendorMark);
  if (status != kStatusOk) return status;

  ScopedRegKey makerMark;
  if (snapora && HasMakerUpdatePackage()) {
    status = RunMakerUpdatePass(commandLine, &makerMark);
    if (status != kStatusOk) return status;
  }

  WriteRegistryDword(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "Version", kSearchBarStampVersion);
  WriteRegistryDword(HKEY_LOCAL_MACHINE, kSearchBarKey, "Version", kSearchBarStampVersion);
  ClearUnfinishedInstallMark(makerMark);
  ClearUnfinishedInstallMark(vendorMark);
  return kStatusOk;
}
