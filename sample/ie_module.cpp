// IETollix.dll of the sample edition: DoRegister registers the toolbar's browser control class.
#include "base/status.h"
#include "base/system_info.h"
#include "sample/class_registration.h"
#include "sample/journal.h"

namespace {
HMODULE g_module = nullptr;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

__declspec(dllexport) long __stdcall DoRegister(SystemInfo* systemInfo) {
  JournalCall("IETollix.dll", "DoRegister", systemInfo);
  if (!systemInfo) return kStatusMissingArgument;
  HeapString product;
  HeapString clsid;
  if (systemInfo->GetProductName(&product) < 0 || systemInfo->GetActiveXClsid(&clsid) < 0) {
    return kStatusFailed;
  }
  HeapString name;
  if (!name.Format("%s Control", product.Text())) return kStatusNoMemory;
  return SUCCEEDED(RegisterInprocClass(g_module, clsid.Text(), name.Text(), nullptr)) ? kStatusOk : kStatusFailed;
}

}  // extern "C"
