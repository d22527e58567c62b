// The check every folder reported by an edition's system info module passes before the
// uninstall pass removes it.
#pragma once

#include "base/status.h"

// True for an absolute folder below a drive or share root ("C:\x\", "\\server\share\x\");
// false for empty, relative or root paths and anything no removal may touch.
bool IsRemovableProductFolder(const char* folder);
// Removes a folder the module reported, refusing (with a message, -1) one that fails the check.
Status RemoveReportedFolder(const char* folder);
