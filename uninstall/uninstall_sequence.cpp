// The uninstall pass: ping, unregistration, photo extras, private and runtime parts, the
// Add/Remove Programs entry, and the product's place in the runtime's toolbar list.
#include "base/debug_channel.h"
#include "base/scoped.h"
#include "install/installer.h"
#include "sys/registry.h"
#include "sys/registry_names.h"
#include "sys/runtime_toolbar_list.h"
#include "uninstall/status_ping.h"
#include "uninstall/uninstaller.h"

namespace {

void LogFlag(const char* label, bool value) { LogMessage(kLogInfo).Text(label).Unsigned(value ? 1 : 0); }

void LogStepResult(Status status) { LogInfo(status < 0 ? "Failed!" : "Success!"); }

}  // namespace

Status Uninstaller::CountOtherToolbars(long* count) {
  // The list still holds this product's own value here; a "Version" value is no toolbar.
  long toolbars = -1;
  const Status status = CountRuntimeToolbars(&toolbars);
  if (count) *count = toolbars < 0 ? -1 : toolbars - 1;
  return status;
}

Status Uninstaller::IsRuntimeShared() {
  if (m_forceRuntimeRemoval) return 0;
  long count = -1;
  const Status status = CountOtherToolbars(&count);
  if (status < 0) return status;
  return count == 0 ? 0 : 1;
}

Status Uninstaller::Uninstall(const UninstallOptions& options) {
  if (!m_systemInfo) return kStatusFailed;
  const bool removeRuntime = options.removeRuntime;
  const bool removeProduct = options.removeProduct;
  const bool deleteUserData = options.deleteUserData;

  LogInfo("Uninstalling...");
  LogFlag("--- Remove Runtime: ", removeRuntime);
  LogFlag("--- Remove Product: ", removeProduct);
  LogFlag("--- Delete User Data: ", deleteUserData);
  LogFlag("--- Sending Ping: ", options.sendPing);
  LogFlag("--- Force Runtime Removal: ", m_forceRuntimeRemoval);
  LogFlag("--- Unregister toolbar: ", options.unregisterToolbar);

  // The list entry is found while the module's file still exists, so its short name can be
  // compared too; it goes only at the end, after every shared-runtime decision.
  RuntimeToolbarEntry listEntry;
  if (options.removeFromRuntimeList) FindRuntimeToolbarEntry(m_module, &listEntry);

  if (options.sendPing) {
    HeapString installId;
    HeapString toolbarId;
    DWORD version = 0;
    DWORD selected = 1;
    m_systemInfo->GetInstallId(&installId);
    m_systemInfo->QueryRegString(kKeyPrivateRead, HKEY_LOCAL_MACHINE, 0, "TollixID", &toolbarId);
    if (m_systemInfo->GetProductVersion(&version) < 0) version = 0;
    if (m_systemInfo->QueryRegDword(kKeyProductRead, HKEY_CURRENT_USER, 0, "ToolbarSelectedInBrowser", &selected) < 0) {
      selected = 1;
    }
    if (installId.IsEmpty() && toolbarId.IsEmpty()) {
      LogInfo("InstallID and/or TollixID weren't set, so not sending uninstall ping.");
    } else {
      SendStatusPing(installId.Text(), toolbarId.Text(), static_cast<long>(version), selected != 0, "uninstalled");
    }
  }

  if (options.unregisterToolbar) {
    LogInfo("Unregistering the toolbar ...");
    LogStepResult(UnregisterToolbar());
  }

  if (removeRuntime) {
    Uninstaller extras;
    LogInfo("Initializing the Snapora extras uninstaller ...");
    const Status set = extras.SetSystemInfo(m_systemInfo);
    if (set < 0) return set;
    LogInfo("Uninstalling the Snapora extras ...");
    const Status removed = extras.RemovePhotoExtras(removeRuntime, removeProduct, deleteUserData);
    if (removed != 0) return removed;
  }

  if (removeProduct) {
    LogInfo("Removing the private program files folder ...");
    LogStepResult(RemovePrivateProgramFiles());
    LogInfo("Removing the private application data files and folders ...");
    LogStepResult(RemovePrivateAppData(deleteUserData));
    LogInfo("Removing the private registry keys ...");
    LogStepResult(RemovePrivateRegistryKeys());
  }

  if (removeRuntime) {
    LogInfo("Removing the runtime program files folder ...");
    LogStepResult(RemoveRuntimeProgramFiles());
    LogInfo("Removing the runtime application data files and folders ...");
    LogStepResult(RemoveRuntimeAppData(deleteUserData));
    LogInfo("Removing the runtime registry keys ...");
    LogStepResult(RemoveRuntimeRegistryKeys());
  }

  if (options.removeUninstallEntry) {
    HeapString product;
    if (m_systemInfo->GetProductName(&product) < 0) {
      LogInfo("Failed to obtain product name from system info object.");
    } else {
      bool removed = false;
      ScopedRegKey uninstallKey;
      // Only one key name: an empty one or one with a backslash would reach beyond the entry.
      if (CheckKeyName("product name", product.Text()) &&
          uninstallKey.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        removed = RegDeleteKeyA(uninstallKey.Get(), product.Text()) == ERROR_SUCCESS;
      }
      LogInfo(removed ? "Removed Add/Remove Programs entry." : "Failed to remove Add/Remove Programs entry.");
    }
    ScopedRegKey privateKey;
    if (m_systemInfo->OpenRegKey(kKeyPrivate, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, privateKey.Receive()) >= 0 &&
        privateKey.IsValid()) {
      StampUninstallDate(privateKey);
    }
  }

  if (options.removeFromRuntimeList) RemoveRuntimeToolbarEntry(listEntry);

  m_systemInfo->Release();
  m_systemInfo = nullptr;
  if (m_module) FreeLibrary(m_module);
  m_module = nullptr;
  return kStatusOk;
}
