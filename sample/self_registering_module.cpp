// Exports of a self-registering sample module; the class it registers comes from the module's
// own definition of kSelfRegisteringClass.
#include "sample/self_registering_module.h"

#include "base/heap_string.h"
#include "sample/class_registration.h"
#include "sample/edition_settings.h"
#include "sample/journal.h"

namespace {

HMODULE g_module = nullptr;

bool ClassId(HeapString* clsid) {
  if (kSelfRegisteringClass.clsid) return clsid->Assign(kSelfRegisteringClass.clsid);
  HeapString ini;
  return EditionIniPath(g_module, &ini) && ReadEditionValue(ini.Text(), "Edition", "BrowserHelperClsid", clsid) &&
         !clsid->IsEmpty();
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

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
  JournalText(kSelfRegisteringClass.moduleName, "DllRegisterServer", "null");
  HeapString clsid;
  if (!ClassId(&clsid)) return SELFREG_E_CLASS;
  return RegisterInprocClass(g_module, clsid.Text(), kSelfRegisteringClass.name, kSelfRegisteringClass.progId);
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
  JournalText(kSelfRegisteringClass.moduleName, "DllUnregisterServer", "null");
  HeapString clsid;
  if (!ClassId(&clsid)) return SELFREG_E_CLASS;
  return RemoveInprocClass(clsid.Text(), kSelfRegisteringClass.progId);
}

}  // extern "C"
