// The product's own value in the runtime's toolbar list (HKLM "Software\Nimbrel\Toolbar
// Runtime"), which the toolbar module adds when it registers and the uninstall pass removes.
#pragma once

#include <windows.h>

#include "base/status.h"

struct RuntimeToolbarEntry {
  char valueName[kPathBufferSize];  // empty: no value names the module
};

// True when the list value's data names this module (its full or short path, any case).
bool IsSameModulePath(const char* listed, const char* modulePath, const char* moduleShortPath);
// Finds the value whose data names the loaded module.
bool FindRuntimeToolbarEntry(HMODULE module, RuntimeToolbarEntry* entry);
// Deletes the value found before; nothing when none was found.
void RemoveRuntimeToolbarEntry(const RuntimeToolbarEntry& entry);
