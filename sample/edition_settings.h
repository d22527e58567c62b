// Reading a sample edition's identity from TollixSystemInfo.ini beside a module file.
#pragma once

#include <windows.h>

#include "base/heap_string.h"
#include "base/system_info.h"

// Path of the ini beside the given module ("<folder of module>TollixSystemInfo.ini").
bool EditionIniPath(HMODULE module, HeapString* path);

// Reads [section] key of the ini. False when the key is absent (an empty value is present).
bool ReadEditionValue(const char* iniPath, const char* section, const char* key, HeapString* out);

// The whole text of a file (an ini read once and answered from memory afterwards).
bool ReadWholeTextFile(const char* path, HeapString* text);

// Finds [section] key in an ini file's text, as GetPrivateProfileString reads it: names
// compare without regard to case, blanks around names and values do not count, and one pair
// of quotes around a value is dropped. False when the key is absent (an empty value is present).
bool FindIniValue(const char* text, const char* section, const char* key, HeapString* out);

// Parses "3.8.1.5" (one to four numeric parts of 0..255) into a packed version.
bool ParseDottedVersion(const char* text, DWORD* packed);

// Replaces %ProgramFiles%, %CommonAppData% and %AppData% and ends the folder with exactly one
// backslash.
bool ExpandEditionFolder(const char* text, HeapString* out);

// Full path of a module file.
bool ModulePath(HMODULE module, HeapString* path);

// The module that holds the given code or data address (no reference taken).
HMODULE ModuleOfAddress(const void* address);
