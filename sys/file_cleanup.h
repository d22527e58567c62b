// Deleting files by pattern for the extras' clean-up, with deletion at the next start of
// Windows for files still in use (MoveFileExA, else a line in WININIT.INI's [rename] section).
#pragma once

#include <windows.h>

#include <stddef.h>
#include "base/status.h"
#include "sys/path_name.h"

// Deletes folder\pattern through the shell, silently and without the recycle bin; with retry
// once more after an access or sharing failure. Nothing for a null or empty folder.
void ShellDeleteFiles(const char* folder, const char* pattern, bool retry);
// Deletes every file matching pattern (null: "*.*") in folder, scheduling busy ones; with
// removeFolder the folder goes too (scheduled when it cannot).
void DeleteMatchingFiles(const char* folder, const char* pattern, bool removeFolder);
// 0 when deleted; otherwise -44, or with schedule the result of ScheduleDeleteOnReboot.
Status DeleteFileOrSchedule(const PathName& file, bool schedule);
// Always 0: a failure to schedule is not reported.
Status ScheduleDeleteOnReboot(const PathName& file);

// The text of WININIT.INI with "NUL=" + shortPath added as the last line of its [rename]
// section (the section is appended when missing). Nothing of the old text is lost, NUL bytes
// included. out needs RenameEntryRoom bytes; false when it has fewer.
size_t RenameEntryRoom(size_t oldLength, const char* shortPath);
bool AddRenameEntry(const char* oldText, size_t oldLength, const char* shortPath, char* out, size_t outSize,
                    size_t* outLength);

// Tests only: replaces MoveFileExA for ScheduleDeleteOnReboot (null restores it).
typedef BOOL(WINAPI* ScheduleMoveFileExFunction)(LPCSTR, LPCSTR, DWORD);
void SetScheduleMoveFileExForTesting(ScheduleMoveFileExFunction function);
