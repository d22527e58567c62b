// The install sequence: every install step of one pass in its fixed order, ending with the
// product's Add/Remove Programs entry.
#include "base/debug_channel.h"
#include "base/scoped.h"
#include "sys/options.h"
#include "extras/extras.h"
#include "install/installer.h"
#include "sys/os_version.h"
#include "install/uninstall_entry.h"
#include "sys/file_removal.h"

namespace {

void LogStepResult(Status status) { LogInfo(status < 0 ? "Failed!" : "Success!"); }

// The mark goes before the first step writes anything and is deleted only by the run's last
// step, so a run ended in between leaves it for the next run to see.
void WriteUnfinishedInstallMark(SystemInfo* systemInfo, DWORD version) {
  ScopedRegKey key;
  if (systemInfo->OpenRegKey(kKeyProduct, HKEY_LOCAL_MACHINE, 0, KEY_SET_VALUE, key.Receive()) < 0 || !key.IsValid())
    return;
  key.SetDword(kUnfinishedInstallValue, version);
}

}  // namespace

Status Installer::OpenUnfinishedInstallMark(ScopedRegKey* key) {
  if (!m_systemInfo) return kStatusFailed;
  const long status = m_systemInfo->OpenRegKey(kKeyProduct, HKEY_LOCAL_MACHINE, 0, KEY_SET_VALUE, key->Receive());
  if (status < 0 || !key->IsValid()) return status < 0 ? status : kStatusFailed;
  return kStatusOk;
}

Status Installer::Install() {
  if (!m_systemInfo) return kStatusFailed;
  // The same version is done again only when the run that installed it was ended midway.
  const bool repairUnfinished = m_previousInstallUnfinished && m_previousProductVersion == m_productVersion;
  if (m_previousProductVersion >= m_productVersion && !repairUnfinished) {
    LogMessage(kLogInfo)
        .Text("Aborting installation, version ")
        .Unsigned(m_previousProductVersion)
        .Text(" already installed.");
    return kStatusNothingToDo;
  }
  WriteUnfinishedInstallMark(m_systemInfo, m_productVersion);

  HeapString productName;
  if (m_systemInfo->GetProductName(&productName) < 0) {
    LogInfo("Failed to obtain product name from system info object.");
    productName.Clear();
  }
  HeapString privateFolder;
  if (m_systemInfo->GetProgramFilesFolder(kFolderPrivate, &privateFolder) < 0) {
    LogInfo("Failed to obtain private program files folder from system info object.");
    privateFolder.Clear();
  }

  if (m_previousRuntimeVersion < m_runtimeVersion) {
    LogInfo("Installing the runtime application data files and folders ...");
    LogStepResult(CopyRuntimeAllUsersData());
    LogInfo("Installing the runtime program files folder ...");
    const Status copied = CopyRuntimeProgramFiles();
    LogStepResult(copied);
    if (copied != kStatusPackageFolderMissing) {
      LogInfo("Installing the runtime registry keys ...");
      LogStepResult(WriteRuntimeRegistryRecords());
    }
  } else {
    LogInfo("The existing runtime is of an equal or newer version, skipping installation of runtime.");
  }

  LogInfo("Installing the private application data files and folders ...");
  LogStepResult(InstallPrivateAllUsersData());
  LogInfo("Installing the private program files folder ...");
  const Status privateCopied = CopyPrivateProgramFiles();
  LogStepResult(privateCopied);
  if (privateCopied != kStatusPackageFolderMissing) {
    LogInfo("Installing the private registry keys ...");
    LogStepResult(WritePrivateRegistryRecords());
  }
  LogInfo("Registering the toolbar ...");
  LogStepResult(RegisterComponents());
  LogInfo("Setting the skin ...");
  LogStepResult(SelectSkin());

  if (IsWindowsVistaOrLater()) {
    if (m_previousRuntimeVersion == 0 && m_previousProductVersion == 0) {
      LogInfo("New Vista install, removing snapora feature...");
      HeapString featureFolder;
      if (m_systemInfo->GetAllUsersDataFolder(kFolderRuntime, &featureFolder) < 0 || featureFolder.IsEmpty()) {
        LogInfo("Failed!");
      } else {
        // The folder text ends with a backslash; one separator is enough.
        if (featureFolder.Text()[featureFolder.Length() - 1] == '\\')
          featureFolder.Truncate(featureFolder.Length() - 1);
        const bool built = featureFolder.Append("\\SkinEngine\\features\\photoviewVista");
        LogStepResult(built ? RemovePath(featureFolder.Text()) : kStatusNoMemory);
      }
    }
  } else if (GetOptionValue(m_arguments.Text(), "/snapora")) {
    ProductSession extras;
    const Status loaded = extras.LoadSystemInfo(m_modulePath.Text(), m_arguments.Text());
    m_disableAutoplay = false;
    if (loaded < 0) return loaded;
    if (m_noAutoplay) {
      m_disableAutoplay = true;
      LogInfo("Disable Autoplay set to TRUE");
    } else {
      LogInfo("Disable Autoplay set to FALSE");
    }
    InstallExtras(extras.m_systemInfo, m_disableAutoplay);
  }

  HeapString uninstallUrl;
  GetOptionValue(m_arguments.Text(), "/uninsturl", &uninstallUrl);
  HeapString vendor;
  if (m_systemInfo->GetVendorName(&vendor) < 0) vendor.Clear();
  HeapString version;
  if (!FormatDottedVersion(m_productVersion, &version)) version.Clear();
  const UninstallEntry entry = {productName.Text(), privateFolder.Text(), uninstallUrl.Text(), version.Text(),
                                vendor.Text()};
  LogInfo(WriteUninstallEntry(entry) ? "Installed Add/Remove Programs entry."
                                     : "Failed to install Add/Remove Programs entry.");
  return kStatusOk;
}
