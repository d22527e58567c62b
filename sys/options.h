// The command-line option scan that every option of the program is read through.
#pragma once

#include <windows.h>

#include "base/heap_string.h"

// An option counts as present where its name (any letter case) is followed by a blank, "+" or
// the end of the text, and as absent where it is followed by "-"; the last match decides.
// valueOffset receives the position just after the character that follows the name.
bool FindOption(const char* commandLine, const char* option, bool defaultValue, DWORD* valueOffset = nullptr);
// Whether the option is present; its value (quoted, or up to the next blank) goes to value.
bool GetOptionValue(const char* commandLine, const char* option, HeapString* value = nullptr);
// The command line with the program name and the blanks after it removed.
const char* SkipProgramName(const char* commandLine);
