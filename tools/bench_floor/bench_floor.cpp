// The floor of tools/bench.sh: only the file work an install and an uninstall cannot do without,
// done the way the program does it, so the benchmark can say what the program adds to it.
//   bench_floor.exe copy <from> <to> [<from> <to>]...   one silent shell copy of each tree
//   bench_floor.exe remove <folder>...                    rename each folder aside, then delete it
// Exit code 0 when every step succeeded, else the number of failed steps (120: usage).
#include <windows.h>

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include "sys/path_guard.h"

namespace {

const int kUsage = 120;
const DWORD kPathRoom = MAX_PATH + 2;  // a path and the two terminators SHFileOperation reads

// The program's copy step: "<from>\*.*" to <to> in one shell operation, with its flags.
bool ShellCopy(const char* from, const char* to) {
  char source[kPathRoom] = {};
  char target[kPathRoom] = {};
  if (_snprintf(source, MAX_PATH, "%s\\*.*", from) < 0 || _snprintf(target, MAX_PATH, "%s", to) < 0) {
    fprintf(stderr, "bench_floor: path too long: %s\n", from);
    return false;
  }
  SHFILEOPSTRUCTA operation = {};
  operation.wFunc = FO_COPY;
  operation.pFrom = source;
  operation.pTo = target;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  operation.lpszProgressTitle = "";
  const int result = SHFileOperationA(&operation);
  if (result != 0) fprintf(stderr, "bench_floor: copy of %s to %s failed with %d\n", from, to, result);
  return result == 0;
}

bool DeleteTree(const char* path) {
  char pattern[MAX_PATH];
  if (_snprintf(pattern, sizeof pattern, "%s\\*", path) < 0) return false;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  bool ok = true;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
      char child[MAX_PATH];
      if (_snprintf(child, sizeof child, "%s\\%s", path, entry.cFileName) < 0) {
        ok = false;
        continue;
      }
      const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
      if (folder) {
        ok = DeleteTree(child) && ok;
      } else {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
        ok = (DeleteFileA(child) != FALSE) && ok;
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  return (RemoveDirectoryA(path) != FALSE) && ok;
}

// The uninstall's removal of a tree: renamed aside in its own folder first (a file in use then
// no longer blocks a new install), then deleted.
bool RenameAndDelete(const char* folder) {
  if (!CheckRemovablePath(folder)) {
    fprintf(stderr, "bench_floor: refused to remove %s\n", folder);
    return false;
  }
  char aside[MAX_PATH];
  if (_snprintf(aside, sizeof aside, "%s.del%lu", folder, GetTickCount()) < 0) return false;
  const char* target = MoveFileA(folder, aside) ? aside : folder;
  if (!DeleteTree(target)) {
    fprintf(stderr, "bench_floor: could not remove all of %s\n", folder);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && strcmp(argv[1], "copy") == 0 && argc % 2 == 0) {
    int failed = 0;
    for (int i = 2; i + 1 < argc; i += 2) failed += ShellCopy(argv[i], argv[i + 1]) ? 0 : 1;
    return failed;
  }
  if (argc >= 3 && strcmp(argv[1], "remove") == 0) {
    int failed = 0;
    for (int i = 2; i < argc; ++i) failed += RenameAndDelete(argv[i]) ? 0 : 1;
    return failed;
  }
  fprintf(stderr, "usage: bench_floor.exe copy <from> <to>... | remove <folder>...\n");
  return kUsage;
}
