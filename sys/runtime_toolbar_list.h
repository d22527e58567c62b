// The runtime's toolbar list (HKLM "Software\Nimbrel\Toolbar Runtime"): one value per toolbar
// on the shared runtime, whose data is that toolbar's system info module; the toolbar module
// adds its own when it registers, and only a complete uninstallation removes it.
#pragma once

#include <windows.h>

#include "base/status.h"

extern const char kToolbarRuntimeListKey[];

// The list's "Version" value names no toolbar; every reader of the list asks this.
bool IsToolbarListVersionValue(const char* valueName);
// Sets count to the number of toolbars on the list, its "Version" value left out (-1 when there
// is no list); returns 0, or -1 when the list is there but cannot be read.
Status CountRuntimeToolbars(long* count);

struct RuntimeToolbarEntry {
  char valueName[kPathBufferSize];  // empty: no value names the module
};

// True when the list value's data names this module (its full or short path, any case).
bool IsSameModulePath(const char* listed, const char* modulePath, const char* moduleShortPath);
// Finds the value whose data names the loaded module.
bool FindRuntimeToolbarEntry(HMODULE module, RuntimeToolbarEntry* entry);
// Deletes the value found before; nothing when none was found.
void RemoveRuntimeToolbarEntry(const RuntimeToolbarEntry& entry);
