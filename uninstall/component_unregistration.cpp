// Taking the toolbar's components out of the system's registration before any file goes: the
// system info module, the browser helper, the runtime's type library, control and menu entry,
// the personalization helper and the toolbar module.
#include <initializer_list>

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "sys/registry_names.h"
#include "uninstall/class_server.h"
#include "uninstall/uninstaller.h"

namespace {

const char kTypeLibKey[] = "TypeLib\\{E060D9D9-E979-4C2F-A840-BE5150F84AC5}";
const char kMenuExtKey[] = "Software\\Microsoft\\Internet Explorer\\MenuExt\\&Nimbrel Search";

// False when the key could not be deleted (one already gone counts as a failure).
bool DeleteKey(HKEY root, const HeapString& base, const char* suffix) {
  HeapString path;
  if (!path.Assign(base.Text()) || !path.Append(suffix)) return false;
  return RegDeleteKeyA(root, path.Text()) == ERROR_SUCCESS;
}

}  // namespace

Status UnregisterServerByClsid(const char* clsid) {
  LogInfo("Unregistering ", clsid ? clsid : "");
  // The machine's registration only: the user's own one would name a module of their choosing.
  char serverPath[kPathBufferSize] = {0};
  const Status found = ReadMachineInProcServer(clsid, serverPath);
  if (found < 0) return found;
  if (!serverPath[0]) return kStatusOk;

  ScopedModule module(LoadModuleFromPath(serverPath));
  if (!module.IsValid()) {
    LogError("Failed to load ", serverPath);
    return kStatusFailed;
  }
  DllRegistrationProc unregister = module.Find<DllRegistrationProc>("DllUnregisterServer");
  if (!unregister) {
    LogError("Failed to obtain the DllUnregisterServer entry point.");
    return kStatusFailed;
  }
  const HRESULT result = unregister();
  LogMessage(kLogInfo).Text("Call of DllUnregisterServer returned ").Signed(result);
  return result < 0 ? kStatusFailed : kStatusOk;
}

Status Uninstaller::UnregisterToolbar() {
  if (!m_systemInfo) return kStatusFailed;

  DllRegistrationProc unregisterInfo = m_module ? reinterpret_cast<DllRegistrationProc>(reinterpret_cast<void*>(
                                                      GetProcAddress(m_module, "DllUnregisterServer")))
                                                : nullptr;
  if (unregisterInfo) {
    const HRESULT result = unregisterInfo();
    LogMessage(kLogInfo).Text("Call of system info module's DllUnregisterServer returned ").Signed(result);
  } else {
    LogInfo("Failed to obtain the DllUnregisterServer entry point for the system info module.");
  }

  HeapString helperClsid;
  m_systemInfo->GetBrowserHelperClsid(&helperClsid);
  if (UnregisterServerByClsid(helperClsid.Text()) < 0) LogInfo("Failed to unregister the BHO.");

  RemoveComponentRegistration();

  HeapString toolbarPath;
  const Status folderStatus = m_systemInfo->GetProgramFilesFolder(kFolderRuntime, &toolbarPath);
  if (folderStatus < 0) return folderStatus;
  if (!toolbarPath.Append("Tollix.dll")) return kStatusFailed;

  ScopedModule toolbar(LoadModuleFromPath(toolbarPath.Text()));
  if (!toolbar.IsValid()) {
    LogInfo("Failed to load ", toolbarPath.Text());
    return kStatusFailed;
  }
  ToolbarRegistrationProc doUnregister = toolbar.Find<ToolbarRegistrationProc>("DoUnregister");
  if (!doUnregister) {
    LogInfo("Failed to obtain the DoUnregister entry point for the toolbar module.");
    return kStatusFailed;
  }
  const long result = doUnregister(m_systemInfo);
  LogMessage(kLogInfo).Text("Call of toolbar DoUnregister returned ").Signed(result);
  return result < 0 ? kStatusFailed : kStatusOk;
}

Status Uninstaller::RemoveComponentRegistration() {
  const Status shared = IsRuntimeShared();
  if (shared < 0) return shared;
  if (shared == 1) {
    LogInfo("Not removing the runtime snapora extras.");
    return kStatusOk;
  }

  const HeapString typeLib(kTypeLibKey);
  bool allDeleted = true;
  for (const char* suffix : {"\\1.0\\0\\win32", "\\1.0\\0", "\\1.0\\HELPDIR", "\\1.0\\FLAGS", "\\1.0", ""}) {
    allDeleted = DeleteKey(HKEY_CLASSES_ROOT, typeLib, suffix) && allDeleted;
  }
  if (!allDeleted) LogInfo("Could not delete Type Library registry keys.");

  if (!m_systemInfo) return kStatusFailed;
  HeapString clsid;
  const Status clsidStatus = m_systemInfo->GetActiveXClsid(&clsid);
  if (clsidStatus != 0) return clsidStatus;
  // "CLSID\" alone, or with more names behind it, would take other classes with it.
  if (!CheckClassId("control class id", clsid.Text())) return kStatusFailed;
  HeapString base;
  if (!base.Assign("CLSID\\") || !base.Append(clsid)) return kStatusFailed;
  allDeleted = true;
  for (const char* suffix : {"\\MiscStatus\\1", "\\MiscStatus", "\\TypeLib", "\\VersionIndependentProgID",
                             "\\Programmable", "\\ProgID", "\\InProcServer32", ""}) {
    allDeleted = DeleteKey(HKEY_CLASSES_ROOT, base, suffix) && allDeleted;
  }
  if (!allDeleted) LogInfo("Could not delete ActiveX palette registry keys.");

  RegDeleteKeyA(HKEY_CURRENT_USER, kMenuExtKey);

  HeapString helperPath;
  if (m_systemInfo->GetProgramFilesFolder(kFolderRuntime, &helperPath) < 0) {
    LogInfo("Failed to get runtime folder path for Personalization Component.");
    return kStatusOk;
  }
  if (!helperPath.Append("TollixProfileExt.dll")) return kStatusOk;
  ScopedModule helper(LoadModuleFromPath(helperPath.Text()));
  if (!helper.IsValid()) {
    LogError("Failed to load Personalization BHO ", helperPath.Text());
    return kStatusOk;
  }
  DllRegistrationProc unregister = helper.Find<DllRegistrationProc>("DllUnregisterServer");
  if (unregister) {
    const HRESULT result = unregister();
    LogMessage(kLogInfo).Text("Call of Personalization BHO's DllUnregisterServer returned ").Signed(result);
  } else {
    LogInfo("Failed to obtain the DllUnregisterServer entry point for the Personalization BHO.");
  }
  return kStatusOk;
}
