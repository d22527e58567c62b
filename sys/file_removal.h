// Removing files and folders that may be in use: rename out of the way, delete what can go,
// and schedule the rest for deletion when Windows next starts (MoveFileExA or WININIT.INI).
#pragma once

#include <stddef.h>
#include <windows.h>

#include "base/status.h"

// Removes a file or a whole folder. 0 when it is gone, was never there, or what remains is
// scheduled for deletion at the next start; -1 when it could not be examined or the removal
// guard refuses it (sys/path_guard.h: roots, relative paths, the system's own folders).
Status RemovePath(const char* path);
// Deletes a file or folder (with recurse: its whole contents). With scheduleOnFailure what
// cannot be deleted is renamed and scheduled, and the result is 0. -50 for a null path.
Status DeletePathTree(const char* path, bool recurse, bool scheduleOnFailure);
// Renames a file or folder to a free hidden "del*.tmp" name in its parent folder; out (260
// bytes) receives the new short name.
Status RenameToTempName(const char* path, char* out);
// C:\a\b\ becomes C:\a\ and C:\a\f.txt becomes C:\a\ (edited in place); -1 without a backslash.
Status CutToParentFolder(char* path);
// Schedules a file or folder for deletion at the next start of Windows.
Status MarkForDeletionOnReboot(const char* path);

// Writes folder, a backslash when needed, and name into out, followed by two NUL bytes (a list
// of one name for SHFileOperationA). A result that would not fit in outSize bytes leaves out
// empty (two NULs) and is logged. Returns out.
char* JoinPath(const char* folder, const char* name, char* out, size_t outSize = kPathBufferSize);
// First case-insensitive occurrence of pattern in text, or null (also for null arguments).
const char* FindTextNoCase(const char* text, const char* pattern);
inline char* FindTextNoCase(char* text, const char* pattern) {
  return const_cast<char*>(FindTextNoCase(static_cast<const char*>(text), pattern));
}

// Tests only: replaces the look-up of MoveFileExA (a lookup returning null behaves as a system
// without it, so the WININIT.INI route runs). Null restores the real look-up.
typedef BOOL(WINAPI* MoveFileExAFunction)(LPCSTR, LPCSTR, DWORD);
typedef MoveFileExAFunction (*MoveFileExLookup)();
void SetMoveFileExLookupForTesting(MoveFileExLookup lookup);
