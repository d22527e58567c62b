// Registering and removing the sample modules' classes under HKCR (see class_registration.h).
#include "sample/class_registration.h"

#include <olectl.h>
#include <string.h>

#include "base/heap_string.h"
#include "sample/edition_settings.h"

namespace {

bool SetText(HKEY root, const char* path, const char* name, const char* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  LONG error =
      RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
  return error == ERROR_SUCCESS;
}

bool DeleteTree(HKEY root, const char* path) {
  LONG error = RegDeleteTreeA(root, path);
  if (error == ERROR_SUCCESS) error = RegDeleteKeyA(root, path);
  return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

}  // namespace

HRESULT RegisterInprocClass(HMODULE module, const char* clsid, const char* name, const char* progId) {
  HeapString path;
  HeapString classKey;
  HeapString serverKey;
  if (!clsid || !*clsid || !ModulePath(module, &path) || !classKey.Format("CLSID\\%s", clsid) ||
      !serverKey.Format("CLSID\\%s\\InProcServer32", clsid)) {
    return SELFREG_E_CLASS;
  }
  bool ok = SetText(HKEY_CLASSES_ROOT, classKey.Text(), nullptr, name) &&
            SetText(HKEY_CLASSES_ROOT, serverKey.Text(), nullptr, path.Text()) &&
            SetText(HKEY_CLASSES_ROOT, serverKey.Text(), "ThreadingModel", "Apartment");
  if (ok && progId) {
    HeapString progKey;
    ok = progKey.Format("%s\\CLSID", progId) && SetText(HKEY_CLASSES_ROOT, progId, nullptr, name) &&
         SetText(HKEY_CLASSES_ROOT, progKey.Text(), nullptr, clsid) &&
         SetText(HKEY_CLASSES_ROOT, classKey.Text(), nullptr, name);
  }
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT RemoveInprocClass(const char* clsid, const char* progId) {
  HeapString classKey;
  if (!clsid || !*clsid || !classKey.Format("CLSID\\%s", clsid)) return SELFREG_E_CLASS;
  bool ok = DeleteTree(HKEY_CLASSES_ROOT, classKey.Text());
  if (progId) ok = DeleteTree(HKEY_CLASSES_ROOT, progId) && ok;
  return ok ? S_OK : SELFREG_E_CLASS;
}
