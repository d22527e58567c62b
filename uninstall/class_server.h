// The in-process server of a class as the machine registered it, read before the elevated
// uninstaller loads that module to unregister it.
#pragma once

#include "base/status.h"

// Reads HKLM "Software\Classes\CLSID\<clsid>\InProcServer32" (not HKEY_CLASSES_ROOT, where
// the user's own registration wins over the machine's) into out (260 bytes), expanding
// REG_EXPAND_SZ. 0 with the full path in out, or with out empty when the class has no readable
// registration; -1, logged, when the class id is not a GUID in braces or the path is not a
// full path or does not fit.
Status ReadMachineInProcServer(const char* clsid, char* out);
