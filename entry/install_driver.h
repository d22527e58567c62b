// Install mode: the single-instance guard, the minimum requirements and the two install passes.
#pragma once

#include "base/heap_string.h"
#include "base/status.h"

// The maker's page shown after its earlier toolbar is uninstalled (the second pass's "/uninsturl").
extern const char kUninstallCompletedPage[];
// The text the second pass appends to the command-line tail.
extern const char kSecondPassOptions[];

// The install mode's driver: 0 done, 1 nothing to do or another run is active, negative failure.
long InstallDriver(const char* commandLine);

// 0 the system can run the toolbar (Windows 2000 or later, Internet Explorer 6 or later), else -1.
Status CheckMinimumRequirements();
// Whether an earlier Snapora toolbar's in-process server is registered and its file is there.
bool IsSnaporaInstalled();
// The second pass's arguments: the tail, then the fixed options.
bool BuildSecondPassArguments(const char* commandTail, HeapString* out);
// The leading decimal number of an Internet Explorer version text (0 when there is none).
int InternetExplorerMajorVersion(const char* versionText);
