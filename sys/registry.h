// Registry helpers shared by the install, upgrade and uninstall steps. A missing key or value is
// a normal result (0 with nothing read); any other registry error gives -1.
#pragma once

#include <windows.h>

#include "base/heap_string.h"
#include "base/status.h"
#include "sys/string_list.h"

Status ReadRegistryDword(HKEY root, const char* subkey, const char* name, DWORD* out);
Status ReadRegistryString(HKEY root, const char* subkey, const char* name, HeapString* out);
Status WriteRegistryDword(HKEY root, const char* subkey, const char* name, DWORD value);
Status WriteRegistryString(HKEY root, const char* subkey, const char* name, const char* text);

// Look-ups across the toolbar's key family under HKLM; the earliest non-zero (non-empty) wins.
Status FindToolbarDword(const char* name, DWORD* out);
Status FindSearchBarDword(const char* name, DWORD* out);
Status FindToolbarString(const char* name, HeapString* out);

// One element per value in enumeration order; the value named "Version" leaves an empty element.
Status ListRegistryValues(HKEY root, const char* subkey, StringList* list);
Status DeleteRegistryTree(HKEY root, const char* subkey);
Status DeleteRegistryValue(HKEY root, const char* subkey, const char* name);

// The shell's application data folder (all users, else the current user's), ending with one
// backslash.
Status GetAppDataFolder(bool allUsers, HeapString* out);
// The all-users desktop folder, else the user's, into 260 bytes; the Windows error (0 = found).
LONG GetDesktopFolder(char* out);

// The earlier generations' keys under HKLM.
extern const char kSearchBarV35Key[];  // "Software\Nimbrel\NimbrelSearchBarV35"
extern const char kSearchBarKey[];     // "Software\Nimbrel\NimbrelSearchBar"
// HKLM's Add/Remove Programs entries, one subkey per product.
extern const char kUninstallKey[];  // "Software\Microsoft\Windows\CurrentVersion\Uninstall"

// "UninstallDate": when a product or generation was uninstalled, in seconds since 1970. The
// install takes the value away again; these two write it, on an open key or through
// WriteRegistryDword (which creates the key and logs).
extern const char kUninstallDateValue[];
LONG StampUninstallDate(const class ScopedRegKey& key);
Status StampUninstallDate(HKEY root, const char* subkey);
