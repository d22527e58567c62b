// The product's entry in the Windows Add/Remove Programs list.
#pragma once

#include "base/heap_string.h"

struct UninstallEntry {
  const char* productName;    // the entry's key name and "DisplayName"
  const char* privateFolder;  // the product's program files folder, ending with a backslash
  const char* uninstallUrl;   // "/uninsturl" value; empty: no "/url" part
  const char* version;        // dotted product version
  const char* vendor;
};

// "\"<folder>Uninstaller.exe\" /u /k", then " /url \"<url>\"" when the url is not empty. The
// program path is quoted so that a path with blanks cannot start another program.
bool BuildUninstallCommand(const char* privateFolder, const char* uninstallUrl, HeapString* out);
// The uninstaller inside the folder ("<folder>Uninstaller.exe").
bool BuildUninstallerPath(const char* privateFolder, HeapString* out);
// Writes the key below HKLM "...\CurrentVersion\Uninstall"; false when it was not written (also
// for an empty product name or folder, which would give an entry that cannot uninstall).
bool WriteUninstallEntry(const UninstallEntry& entry);
