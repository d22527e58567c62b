// Re-registration of the other toolbars on the shared runtime after a new runtime was put in
// place: each registers itself again through the runtime's browser module.
#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "base/status.h"
#include "upgrade/upgrade_preparation.h"
#include "base/system_info.h"
#include "sys/registry.h"
#include "sys/runtime_toolbar_list.h"
#include "sys/string_list.h"

namespace {

Status ReregisterToolbar(const char* modulePath) {
  LogInfo("Initializing IETollix.dll using ", modulePath);
  ScopedModule systemInfoModule(LoadModuleFromPath(modulePath));
  if (!systemInfoModule.IsValid()) {
    LogError("Failed to load system info module ", modulePath);
    return kStatusFailed;
  }
  GetTollixSystemInfoProc getSystemInfo = systemInfoModule.Find<GetTollixSystemInfoProc>("GetTollixSystemInfo");
  if (!getSystemInfo) {
    LogError("Failed to obtain the system info module entry point.");
    return kStatusFailed;
  }
  // Declared after the module, so the object is released before its code is unloaded.
  ScopedComPtr<SystemInfo> systemInfo;
  if (getSystemInfo(systemInfo.Receive()) < 0) {
    LogError("Failed to obtain the system info object.");
    return kStatusFailed;
  }
  if (!systemInfo.Get()) return kStatusFailed;

  HeapString toolbarPath;
  Status status = systemInfo->GetProgramFilesFolder(kFolderRuntime, &toolbarPath);
  if (status < 0) return status;
  if (!toolbarPath.Append("IETollix.dll")) return kStatusFailed;

  ScopedModule toolbar(LoadModuleFromPath(toolbarPath.Text()));
  if (!toolbar.IsValid()) {
    LogError("Failed to load toolbar ", toolbarPath.Text());
    return kStatusFailed;
  }
  ToolbarRegistrationProc doRegister = toolbar.Find<ToolbarRegistrationProc>("DoRegister");
  if (!doRegister) {
    LogError("Failed to obtain the DoRegister entry point for the toolbar module.");
    return kStatusFailed;
  }
  LogInfo("Registering toolbar using ", toolbarPath.Text());
  long result = doRegister(systemInfo.Get());
  LogMessage(kLogInfo).Text("Call of toolbar DoRegister returned ").Signed(result);
  if (result < 0) return kStatusFailed;

  // The object goes first, then its module, then the browser module.
  systemInfo.Reset();
  systemInfoModule.Free();
  toolbar.Free();
  return kStatusOk;
}

}  // namespace

Status ReregisterToolbars() {
  LogInfo("Accessing TollixSystemInfo dll of previous bars.");
  StringList modulePaths;
  if (ListRegistryValues(HKEY_LOCAL_MACHINE, kToolbarRuntimeListKey, &modulePaths) < 0)
    LogInfo("Unable to enumerate registry values.");
  for (int i = 0; i < modulePaths.Count(); ++i) {
    if (modulePaths.At(i).IsEmpty()) continue;
    Status status = ReregisterToolbar(modulePaths.At(i).Text());
    if (status < 0) return status;
  }
  return kStatusOk;
}
