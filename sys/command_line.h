// Command lines of the programs the installer starts or registers: the program's full path in
// double quotes, then its arguments, so that no program at a shorter path, cut off at a blank
// ("C:\Program.exe" for "C:\Program Files\..."), is found and run in its place.
#pragma once

#include <windows.h>

#include "base/heap_string.h"

// Why a program path cannot lead a quoted command line, or null when it can. It must be a full
// path (drive or share): a partial one is completed from the current folder, which is usually
// the download folder. It may hold no double quote and may not end in a backslash: either
// would end the quoted part elsewhere.
const char* WhyProgramPathIsRefused(const char* program);

// The double-quoted program path followed by the arguments as given (null: none; a leading
// blank is the caller's). False, with command cleared, when the path is refused or the text
// could not be stored.
bool BuildQuotedCommand(const char* program, const char* arguments, HeapString* command);

// Starts the program with its path as the application name and the quoted command line; the
// process and thread handles are closed at once. A refused path is logged as an error naming
// it and the reason, and fails with ERROR_BAD_PATHNAME; an empty path fails quietly with
// ERROR_FILE_NOT_FOUND. On failure GetLastError() tells why.
bool StartProgram(const char* program, const char* arguments, DWORD creationFlags);
