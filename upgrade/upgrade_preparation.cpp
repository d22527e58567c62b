// Upgrade preparation: what an install pass does about the installation already on the
// machine before it copies anything.
#include "upgrade/upgrade_preparation.h"

#include <windows.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/status.h"
#include "install/installer.h"
#include "sys/path_tests.h"
#include "sys/registry.h"
#include "sys/runtime_toolbar_list.h"
#include "sys/string_list.h"
#include "uninstall/uninstaller.h"
#include "uninstall/earlier_generations.h"

namespace {

// Runtimes from here on, and the one build just below them, were shipped without regard to
// the toolbars sharing them; an older one of those goes even when other toolbars remain.
const DWORD kRuntimeSharingVersion = 0x03060000;
const char kCoInstalledRuntimeVersion[] = "3.8.0.29";
const char kEarlierToolbarArguments[] = "/u /s /safe";

}  // namespace

Status PrepareUpgrade(Installer* installer, bool* reregisterToolbars) {
  const DWORD previousRuntime = installer->m_previousRuntimeVersion;
  if (previousRuntime == 0 && installer->m_previousProductVersion == 0) {
    LogInfo("No previous runtime was detected so we'll skip trying to uninstall anything.");
    return kStatusOk;
  }
  if (installer->m_previousProductVersion > installer->m_productVersion) {
    if (!installer->m_silent) {
      MessageBoxA(nullptr, "Cannot Install older version of Toolbar on top of newer version",
                  "Latest Version Already Exists ", MB_OK | MB_TASKMODAL);
    }
    LogMessage(kLogInfo)
        .Text("Aborting upgrade preparation, version ")
        .Unsigned(installer->m_previousProductVersion)
        .Text(" already installed.");
    return kStatusNothingToDo;
  }
  // A run of this very version that was ended midway had finished its preparation before its
  // install sequence began: the sequence runs again in full, over what that run left.
  if (installer->m_previousInstallUnfinished && installer->m_previousProductVersion == installer->m_productVersion) {
    LogMessage(kLogInfo)
        .Text("The install of version ")
        .Unsigned(installer->m_previousProductVersion)
        .Text(" did not finish; installing it again.");
    return kStatusOk;
  }
  if (installer->InstallMissingFolders() == 0) {
    LogMessage(kLogInfo)
        .Text("No need to upgrade since product versions are the same")
        .Unsigned(installer->m_previousProductVersion)
        .Text(" already installed.");
    return kStatusNothingToDo;
  }

  if (IsMakerVendor(installer->m_vendor)) {
    LogInfo("Attempting to remove a previous Nimbrel version of the toolbar.");
    DWORD generationVersion = 0;
    Status status = FindToolbarDword("Version", &generationVersion);
    if (status < 0) {
      LogError("Failed to intialize removal of the previous version of our toolbar.");
      return status;
    }
    status = RemoveEarlierGenerations(generationVersion, false);
    if (status != 0) {
      LogError("Failed to remove the previous version of our toolbar.");
      return status;
    }
  }

  if (previousRuntime < kEarlierGenerationsVersion) return kStatusOk;

  LogInfo("Accessing TollixSystemInfo dll of previous bars.");
  StringList modulePaths;
  if (ListRegistryValues(HKEY_LOCAL_MACHINE, kToolbarRuntimeListKey, &modulePaths) < 0) {
    LogInfo("No toolbar registry values present, so returning with success.");
    return kStatusOk;
  }

  HeapString newClsid;
  if (!installer->m_systemInfo || installer->m_systemInfo->GetBrowserHelperClsid(&newClsid) < 0) {
    LogError("Failed to Get Browser Helper CLSID from the new system info module.");
    return kStatusFailed;
  }

  const bool removeOldRuntime = previousRuntime < installer->m_runtimeVersion;
  const bool force = (previousRuntime > kRuntimeSharingVersion || previousRuntime == kEarlierGenerationsVersion) &&
                     previousRuntime < installer->m_runtimeVersion;

  for (int i = 0; i < modulePaths.Count(); ++i) {
    const HeapString& modulePath = modulePaths.At(i);
    Uninstaller uninstaller;
    LogInfo("The prevous system info dll path is: ", modulePath.Text());
    if (modulePath.IsEmpty()) continue;
    // An uninstall ended midway removes the toolbar's files before its place on the list; such
    // an entry has nothing left to uninstall through, and failing on it would stop every later
    // install over this runtime.
    if (!IsExistingFile(modulePath.Text())) {
      LogInfo("The system info dll of that toolbar is gone; passing over it.");
      continue;
    }

    Status status = uninstaller.Initialize(modulePath.Text(), kEarlierToolbarArguments);
    if (status < 0) {
      LogError("Failed to intialize removal of the previous version of the toolbar.");
      return status;
    }
    uninstaller.m_forceRuntimeRemoval = force;

    HeapString oldClsid;
    bool oldClsidKnown = true;
    if (!uninstaller.m_systemInfo || uninstaller.m_systemInfo->GetBrowserHelperClsid(&oldClsid) < 0) {
      LogError("Failed to Get Browser Helper CLSID from the old system info module.");
      LogError("Failed to get previous CLSID.");
      oldClsid.Clear();
      oldClsidKnown = false;
    }

    // A toolbar whose identity cannot be read is never taken for this product: removing its
    // product files would destroy another vendor's installation.
    if (oldClsidKnown && strcmp(oldClsid.Text(), newClsid.Text()) == 0) {
      // The same product: its earlier version goes, its place on the runtime's list stays.
      UninstallOptions earlierVersion;
      earlierVersion.removeRuntime = removeOldRuntime;
      earlierVersion.removeProduct = true;
      earlierVersion.unregisterToolbar = true;
      earlierVersion.removeUninstallEntry = true;
      status = uninstaller.Uninstall(earlierVersion);
      if (status != 0) {
        LogError("Failed to remove the previous version of the toolbar.");
        return status;
      }
      continue;
    }

    status = uninstaller.ReplaceUninstaller();
    if (status != 0) {
      LogError("Failed to replace the uninstaller.");
      return status;
    }
    UninstallOptions otherToolbar;
    otherToolbar.removeRuntime = removeOldRuntime;
    status = uninstaller.Uninstall(otherToolbar);
    if (status != 0) {
      LogError("Failed to remove the previous version of the toolbar.");
      return status;
    }
    if (removeOldRuntime) {
      HeapString version(kCoInstalledRuntimeVersion);
      status = SetRuntimeVersionResource(modulePath.Text(), version);
      if (status < 0) {
        LogError("Failed to change the runtime version in", modulePath.Text());
        return status;
      }
    }
  }

  *reregisterToolbars = true;
  return kStatusOk;
}
