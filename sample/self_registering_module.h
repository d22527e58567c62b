// The self-registering sample modules (DllRegisterServer / DllUnregisterServer): each one is
// this file compiled with its own class, so registration shows under HKCR.
#pragma once

#include <windows.h>

// What one module registers. A null clsid means: the edition's BrowserHelperClsid, read from
// TollixSystemInfo.ini beside the module.
struct SelfRegisteringClass {
  const char* moduleName;
  const char* clsid;
  const char* name;
  const char* progId;
};

extern const SelfRegisteringClass kSelfRegisteringClass;
