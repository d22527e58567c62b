// Registering and removing the sample modules' classes under HKCR, so that registration is
// visible to whoever looks at the registry afterwards.
#pragma once

#include <windows.h>
#include <olectl.h>

// HKCR CLSID\<clsid> (default = name) with InProcServer32 = the module's path and
// ThreadingModel "Apartment"; with a prog id also HKCR <progId>\CLSID = clsid.
HRESULT RegisterInprocClass(HMODULE module, const char* clsid, const char* name, const char* progId);
// Removes what RegisterInprocClass wrote; a class that is not there counts as removed.
HRESULT RemoveInprocClass(const char* clsid, const char* progId);
