// Removing files and folders that may be in use: rename out of the way, delete what can go,
// and schedule the rest for deletion when Windows next starts (MoveFileExA or WININIT.INI).
#include "sys/file_removal.h"

#include <ctype.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "sys/path_guard.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// MoveFileExA is looked up once per run; the library stays loaded until the program ends.
class MoveFileExHolder {
 public:
  MoveFileExHolder() : m_library(nullptr), m_function(nullptr), m_lookedUp(false) {}
  ~MoveFileExHolder() {
    if (m_library) FreeLibrary(m_library);
  }
  MoveFileExHolder(const MoveFileExHolder&) = delete;
  MoveFileExHolder& operator=(const MoveFileExHolder&) = delete;

  MoveFileExAFunction Get() {
    if (m_lookedUp) return m_function;
    m_lookedUp = true;
    m_library = LoadSystemModule("kernel32.dll");
    if (m_library) {
      m_function =
          reinterpret_cast<MoveFileExAFunction>(reinterpret_cast<void*>(GetProcAddress(m_library, "MoveFileExA")));
    }
    if (!m_function && m_library) {
      FreeLibrary(m_library);
      m_library = nullptr;
    }
    return m_function;
  }

 private:
  HMODULE m_library;
  MoveFileExAFunction m_function;
  bool m_lookedUp;
};

MoveFileExHolder g_moveFileEx;
MoveFileExLookup g_moveFileExLookupForTesting = nullptr;

MoveFileExAFunction FindMoveFileEx() {
  if (g_moveFileExLookupForTesting) return g_moveFileExLookupForTesting();
  return g_moveFileEx.Get();
}

// Adds "NUL=" + shortPath to the [rename] section of the file ini through the profile
// functions, keeping the entries already there (they all share the key "NUL").
bool AddWininitEntry(const char* ini, const char* shortPath) {
  HANDLE file = CreateFileA(ini, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  if (size == INVALID_FILE_SIZE) size = 0;

  if (existed) {
    size_t shortLength = strlen(shortPath);
    DWORD room = size + static_cast<DWORD>(shortLength) + 8;
    HANDLE heap = GetProcessHeap();
    char* section = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, room));
    if (!section) {
      LogError("Out of memory reading the rename section of ", ini);
      return false;
    }
    DWORD length = GetPrivateProfileSectionA("rename", section, room, ini);
    bool written;
    if (length == 0) {
      written = WritePrivateProfileStringA("rename", "NUL", shortPath, ini) != FALSE;
    } else if (static_cast<size_t>(length) + 4 + shortLength + 2 > room) {
      // The file grew between the size check and the read: never write a cut section back.
      LogError("The rename section changed while it was read: ", ini);
      written = false;
    } else {
      char* end = section + length;
      memcpy(end, "NUL=", 4);
      memcpy(end + 4, shortPath, shortLength);
      end[4 + shortLength] = '\0';
      end[5 + shortLength] = '\0';
      written = WritePrivateProfileSectionA("rename", section, ini) != FALSE;
    }
    HeapFree(heap, 0, section);
    return written;
  }
  return WritePrivateProfileStringA("rename", "NUL", shortPath, ini) != FALSE;
}

Status DeleteTree(const char* path, bool recurse, bool scheduleOnFailure) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kStatusOk;
    attributes = 0;
  }
  bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A junction or link is removed itself; what it points to lies outside the named tree.
  bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;

  bool removed = false;
  if (folder && recurse && !link) {
    char pattern[kPathBufferSize];
    size_t length = strlen(path);
    if (length + 4 >= sizeof(pattern)) {
      LogError("Path too long to list: ", path);
      return kStatusFailed;
    }
    memcpy(pattern, path, length);
    memcpy(pattern + length, "\\*.*", 5);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return kStatusFailed;
    do {
      const char* name = entry.cFileName;
      if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
      size_t nameLength = strlen(name);
      char child[kPathBufferSize];
      if (length + 1 + nameLength >= sizeof(child)) {
        LogError("Path too long to delete: ", path, name);
        continue;
      }
      memcpy(child, path, length);
      child[length] = '\\';
      memcpy(child + length + 1, name, nameLength + 1);
      DeleteTree(child, recurse, scheduleOnFailure);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    removed = RemoveDirectoryA(path) != FALSE;
  }
  if (!removed) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    removed = folder ? RemoveDirectoryA(path) != FALSE : DeleteFileA(path) != FALSE;
  }
  if (removed) return kStatusOk;
  if (!scheduleOnFailure) return kStatusFailed;

  char renamed[kPathBufferSize];
  if (!folder && RenameToTempName(path, renamed) == kStatusOk)
    MarkForDeletionOnReboot(renamed);
  else
    MarkForDeletionOnReboot(path);
  return kStatusOk;
}

}  // namespace

void SetMoveFileExLookupForTesting(MoveFileExLookup lookup) { g_moveFileExLookupForTesting = lookup; }

const char* FindTextNoCase(const char* text, const char* pattern) {
  if (!text || !pattern) return nullptr;
  size_t patternLength = strlen(pattern);
  size_t remaining = strlen(text);
  for (const char* p = text; remaining >= patternLength; ++p, --remaining) {
    size_t i = 0;
    while (i < patternLength &&
           toupper(static_cast<unsigned char>(p[i])) == toupper(static_cast<unsigned char>(pattern[i])))
      ++i;
    if (i == patternLength) return p;
  }
  return nullptr;
}

char* JoinPath(const char* folder, const char* name, char* out, size_t outSize) {
  if (!out) return out;
  if (!folder) folder = "";
  if (!name) name = "";
  size_t folderLength = strlen(folder);
  size_t nameLength = strlen(name);
  bool separator = folderLength > 0 && !IsSeparator(folder[folderLength - 1]);
  size_t total = folderLength + (separator ? 1 : 0) + nameLength;
  if (outSize < 2 || total + 2 > outSize) {
    LogError("Path too long: ", folder, name);
    if (outSize >= 2) out[1] = '\0';
    if (outSize >= 1) out[0] = '\0';
    return out;
  }
  memmove(out, folder, folderLength);
  size_t at = folderLength;
  if (separator) out[at++] = '\\';
  memmove(out + at, name, nameLength);
  at += nameLength;
  out[at] = '\0';
  out[at + 1] = '\0';
  return out;
}

Status CutToParentFolder(char* path) {
  if (!path || !*path) return kStatusFailed;
  size_t length = strlen(path);
  char* last = strrchr(path, '\\');
  if (!last) return kStatusFailed;
  if (last == path + length - 1) {
    *last = '\0';
    last = strrchr(path, '\\');
    if (!last) {
      *(path + length - 1) = '\\';  // leave the text as it was
      return kStatusFailed;
    }
  }
  last[1] = '\0';
  return kStatusOk;
}

Status RenameToTempName(const char* path, char* out) {
  if (!path || !*path || !out) return kStatusFailed;
  char parent[kPathBufferSize];
  DWORD length = GetShortPathNameA(path, parent, sizeof(parent));
  if (length == 0 || length >= sizeof(parent)) return kStatusFailed;
  if (CutToParentFolder(parent) != kStatusOk) return kStatusFailed;
  char temp[kPathBufferSize];
  if (GetTempFileNameA(parent, "del", 0, temp) == 0) return kStatusFailed;
  DeleteFileA(temp);
  if (!MoveFileA(path, temp)) return kStatusFailed;
  DWORD attributes = GetFileAttributesA(temp);
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(temp, attributes | FILE_ATTRIBUTE_HIDDEN);
  memcpy(out, temp, strlen(temp) + 1);
  return kStatusOk;
}

Status MarkForDeletionOnReboot(const char* path) {
  if (!path || !*path) return kStatusFailed;
  LogInfo("Marking file for deletion on reboot: ", path);
  bool marked;
  MoveFileExAFunction moveFileEx = FindMoveFileEx();
  if (moveFileEx) {
    marked = moveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  } else {
    char shortPath[kPathBufferSize];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof(shortPath));
    if (length == 0 || length >= sizeof(shortPath)) return kStatusFailed;
    char ini[kPathBufferSize];
    length = GetWindowsDirectoryA(ini, sizeof(ini));
    if (length == 0 || length >= sizeof(ini)) return kStatusFailed;
    static const char kName[] = "\\wininit.ini";
    if (length + sizeof(kName) > sizeof(ini)) return kStatusFailed;
    memcpy(ini + length, kName, sizeof(kName));
    marked = AddWininitEntry(ini, shortPath);
  }
  if (marked) return kStatusOk;
  LogInfo("\tFailed to mark file for deletion on reboot: ", path);
  return kStatusFailed;
}

Status DeletePathTree(const char* path, bool recurse, bool scheduleOnFailure) {
  if (!path) return kStatusMissingArgument;
  if (!CheckRemovablePath(path)) return kStatusFailed;
  return DeleteTree(path, recurse, scheduleOnFailure);
}

Status RemovePath(const char* path) {
  if (!CheckRemovablePath(path)) return kStatusFailed;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kStatusOk : kStatusFailed;
  }
  char renamed[kPathBufferSize];
  if (RenameToTempName(path, renamed) == kStatusOk) return DeleteTree(renamed, true, true);
  return DeleteTree(path, true, true);
}
