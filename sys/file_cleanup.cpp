// Deleting files by pattern for the extras' clean-up, with deletion at the next start of
// Windows for files still in use (MoveFileExA, else a line in WININIT.INI's [rename] section).
#include "sys/file_cleanup.h"

#include <ctype.h>
#include <shellapi.h>
#include <string.h>

#include "base/debug_channel.h"
#include "sys/file_list.h"
#include "sys/file_removal.h"
#include "sys/path_guard.h"
#include "sys/raw_file.h"

namespace {

const char kRenameHeader[] = "[rename]";
const char kNewRenameSection[] = "\r\n[rename]\r\n";
const FILEOP_FLAGS kSilentDelete = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;

ScheduleMoveFileExFunction g_moveFileExForTesting = nullptr;

// Like FindTextNoCase, but over a counted text that may hold NUL bytes; returns the offset or
// length when there is no match.
size_t FindCountedNoCase(const char* text, size_t length, size_t start, const char* pattern) {
  size_t patternLength = strlen(pattern);
  for (size_t at = start; at + patternLength <= length; ++at) {
    size_t i = 0;
    while (i < patternLength &&
           toupper(static_cast<unsigned char>(text[at + i])) == toupper(static_cast<unsigned char>(pattern[i])))
      ++i;
    if (i == patternLength) return at;
  }
  return length;
}

int ShellDelete(const char* from) {
  SHFILEOPSTRUCTA operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from;
  operation.fFlags = kSilentDelete;
  return SHFileOperationA(&operation);
}

// The folder must pass the removal guard, and the pattern must not climb out of it.
bool IsSafeFolder(const char* folder, const char* pattern) {
  if (!CheckRemovablePath(folder)) return false;
  char joined[kPathBufferSize];
  JoinPath(folder, pattern ? pattern : "", joined, sizeof(joined));
  if (JudgeRemovalText(joined) == kRemovalAllowed) return true;
  LogError("Refusing to delete files matching a pattern that leaves the folder: ", folder, pattern ? pattern : "");
  return false;
}

}  // namespace

void SetScheduleMoveFileExForTesting(ScheduleMoveFileExFunction function) { g_moveFileExForTesting = function; }

size_t RenameEntryRoom(size_t oldLength, const char* shortPath) {
  // the old text, a line end it may lack, a new section header, "NUL=" + path + "\r\n", a NUL
  return oldLength + 2 + (sizeof(kNewRenameSection) - 1) + 4 + (shortPath ? strlen(shortPath) : 0) + 2 + 1;
}

bool AddRenameEntry(const char* oldText, size_t oldLength, const char* shortPath, char* out, size_t outSize,
                    size_t* outLength) {
  if (!shortPath || !out || (!oldText && oldLength > 0)) return false;
  if (outSize < RenameEntryRoom(oldLength, shortPath)) return false;
  size_t insertAt = oldLength;  // where the new line goes; the rest follows it
  bool addSection = false;
  size_t header = FindCountedNoCase(oldText, oldLength, 0, kRenameHeader);
  if (header < oldLength) {
    size_t next = FindCountedNoCase(oldText, oldLength, header + sizeof(kRenameHeader) - 1, "\n[");
    if (next < oldLength) insertAt = next + 1;
  } else {
    addSection = true;
  }
  size_t at = 0;
  memcpy(out, oldText, insertAt);
  at += insertAt;
  if (addSection) {
    memcpy(out + at, kNewRenameSection, sizeof(kNewRenameSection) - 1);
    at += sizeof(kNewRenameSection) - 1;
  } else if (insertAt > 0 && out[insertAt - 1] != '\n') {
    // The last line has no line end: the new entry must not be glued to it.
    memcpy(out + at, "\r\n", 2);
    at += 2;
  }
  size_t shortLength = strlen(shortPath);
  memcpy(out + at, "NUL=", 4);
  at += 4;
  memcpy(out + at, shortPath, shortLength);
  at += shortLength;
  memcpy(out + at, "\r\n", 2);
  at += 2;
  memcpy(out + at, oldText + insertAt, oldLength - insertAt);
  at += oldLength - insertAt;
  out[at] = '\0';
  if (outLength) *outLength = at;
  return true;
}

Status ScheduleDeleteOnReboot(const PathName& file) {
  if (!CheckRemovablePath(file.Text())) return kStatusOk;
  BOOL moved = g_moveFileExForTesting ? g_moveFileExForTesting(file.Text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
                                      : MoveFileExA(file.Text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (moved & 0xFF) return kStatusOk;

  char shortPath[kPathBufferSize];
  DWORD length = GetShortPathNameA(file.Text(), shortPath, sizeof(shortPath));
  if (length == 0 || length >= sizeof(shortPath)) return kStatusOk;
  char windows[kPathBufferSize];
  length = GetWindowsDirectoryA(windows, sizeof(windows));
  if (length == 0 || length >= sizeof(windows)) return kStatusOk;
  PathName iniName;
  iniName.Assign(windows);
  if (iniName.AppendComponent("WININIT.INI") != kStatusOk) return kStatusOk;
  FilePath iniPath;
  if (!iniPath.Resolve(iniName.Text())) return kStatusOk;

  RawFile ini(iniPath);
  if (!ini.Open(ini.Exists() ? RawFile::kReadWriteExisting : RawFile::kReadWriteCreate)) {
    LogError("Cannot open ", iniPath.Text());
    return kStatusOk;
  }
  // The whole file is read and written back: a cut-off read would lose its tail.
  DWORD size = ini.Size();
  if (size == INVALID_FILE_SIZE || size > 0x7FFFFFF) {
    LogError("Cannot read ", iniPath.Text());
    return kStatusOk;
  }
  HANDLE heap = GetProcessHeap();
  char* oldText = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, size + 1));
  size_t room = RenameEntryRoom(size, shortPath);
  char* newText = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, room));
  DWORD read = 0;
  size_t newLength = 0;
  if (!oldText || !newText) {
    LogError("Out of memory editing ", iniPath.Text());
  } else if (!ini.Read(oldText, size, &read) || read != size) {
    LogError("Cannot read ", iniPath.Text());
  } else if (AddRenameEntry(oldText, read, shortPath, newText, room, &newLength)) {
    DWORD written = 0;
    if (!ini.Seek(0, 0) || !ini.Write(newText, static_cast<DWORD>(newLength), &written) || written != newLength) {
      LogMessage(kLogError).Text("Cannot write ").Text(iniPath.Text()).Text(", error ").Unsigned(GetLastError());
    }
  }
  if (oldText) HeapFree(heap, 0, oldText);
  if (newText) HeapFree(heap, 0, newText);
  ini.Close();
  return kStatusOk;
}

Status DeleteFileOrSchedule(const PathName& file, bool schedule) {
  if (!CheckRemovablePath(file.Text())) return kStatusFileNotDeleted;
  SetFileAttributesA(file.Text(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileA(file.Text())) return kStatusOk;
  if (!schedule) return kStatusFileNotDeleted;
  return ScheduleDeleteOnReboot(file);
}

void ShellDeleteFiles(const char* folder, const char* pattern, bool retry) {
  if (!folder || !*folder) return;
  if (!IsSafeFolder(folder, pattern)) return;
  char from[kPathBufferSize];
  JoinPath(folder, pattern, from, sizeof(from));
  if (!from[0]) return;
  int result = ShellDelete(from);
  if (retry && (result == ERROR_ACCESS_DENIED || result == ERROR_SHARING_VIOLATION)) ShellDelete(from);
}

void DeleteMatchingFiles(const char* folder, const char* pattern, bool removeFolder) {
  if (!folder || !*folder) return;
  if (!IsSafeFolder(folder, pattern)) return;
  PathName start;
  start.Assign(folder);
  start.AddTrailingBackslashIfFolder();
  {
    FileList files;
    files.Search(start.Text(), pattern, true);
    while (!files.IsEmpty()) {
      const PathName& file = files.First()->path;
      OutputDebugStringA(file.Text());
      OutputDebugStringA("\n");
      DeleteFileOrSchedule(file, true);
      files.RemoveFirst();
    }
  }
  if (!removeFolder) return;
  char all[kPathBufferSize];
  JoinPath(folder, "*.*", all, sizeof(all));
  if (all[0]) ShellDelete(all);
  RemoveDirectoryA(folder);
  PathName rest;
  rest.Assign(folder);
  rest.AddTrailingBackslashIfFolder();
  if (rest.Exists()) ScheduleDeleteOnReboot(rest);
}
