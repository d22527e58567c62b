// Tollix.dll of the sample edition: DoRegister enters its product in the runtime's toolbar list
// (unless the edition says it keeps its entry itself) and registers the toolbar class;
// DoUnregister removes the class again.
#include <string.h>

#include "base/status.h"
#include "base/system_info.h"
#include "sample/class_registration.h"
#include "sample/edition_settings.h"
#include "sample/journal.h"

namespace {

HMODULE g_module = nullptr;
const char kModuleName[] = "Tollix.dll";
// Every toolbar on the shared runtime has one value here: its product name = the path of its
// system info module. The installer reads the list to tell whether the runtime is still used.
const char kToolbarListKey[] = "Software\\Nimbrel\\Toolbar Runtime";

long AddToToolbarList(SystemInfo* systemInfo, const char* product) {
  // The object's class lives in the product's system info module: its path is the list's data.
  HMODULE infoModule = ModuleOfAddress(*reinterpret_cast<void**>(systemInfo));
  HeapString infoPath;
  if (!infoModule || !ModulePath(infoModule, &infoPath)) return kStatusFailed;
  // [Sample] ListsItself=0: an edition whose own set-up keeps its list entry, outside the
  // installer, as the list's other writers do.
  HeapString ini;
  HeapString listsItself;
  if (EditionIniPath(infoModule, &ini) && ReadEditionValue(ini.Text(), "Sample", "ListsItself", &listsItself) &&
      strcmp(listsItself.Text(), "0") == 0) {
    return kStatusOk;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kToolbarListKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return kStatusFailed;
  }
  LONG error = RegSetValueExA(key, product, 0, REG_SZ, reinterpret_cast<const BYTE*>(infoPath.Text()),
                              static_cast<DWORD>(infoPath.Length() + 1));
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? kStatusOk : kStatusFailed;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

__declspec(dllexport) long __stdcall DoRegister(SystemInfo* systemInfo) {
  JournalCall(kModuleName, "DoRegister", systemInfo);
  if (!systemInfo) return kStatusMissingArgument;
  HeapString product;
  HeapString clsid;
  if (systemInfo->GetProductName(&product) < 0 || product.IsEmpty() || systemInfo->GetToolbarClsid(&clsid) < 0) {
    return kStatusFailed;
  }
  long status = AddToToolbarList(systemInfo, product.Text());
  if (status < 0) return status;
  return SUCCEEDED(RegisterInprocClass(g_module, clsid.Text(), product.Text(), nullptr)) ? kStatusOk : kStatusFailed;
}

__declspec(dllexport) long __stdcall DoUnregister(SystemInfo* systemInfo) {
  JournalCall(kModuleName, "DoUnregister", systemInfo);
  if (!systemInfo) return kStatusMissingArgument;
  HeapString clsid;
  if (systemInfo->GetToolbarClsid(&clsid) < 0) return kStatusFailed;
  return SUCCEEDED(RemoveInprocClass(clsid.Text(), nullptr)) ? kStatusOk : kStatusFailed;
}

}  // extern "C"
