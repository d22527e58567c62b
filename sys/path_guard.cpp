// The one check every deletion of files and folders passes. A folder named by an edition module
// or a registry value may be anything: the user's whole application data folder, Program Files
// or a drive root; the elevated installer must then refuse instead of deleting.
#include "sys/path_guard.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/scoped.h"
#include "base/status.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Names of the system's own folders. Both views of Program Files and Common Files are asked
// for: a 32-bit program on 64-bit Windows is told "Program Files (x86)", yet a path may name
// the native "Program Files" directly.
const int kShellFolderIds[] = {
    CSIDL_WINDOWS,
    CSIDL_SYSTEM,
    CSIDL_SYSTEMX86,
    CSIDL_FONTS,
    CSIDL_RESOURCES,
    CSIDL_PROGRAM_FILES,
    CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_COMMON_APPDATA,
    CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,
    CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY,
    CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,
    CSIDL_COMMON_DOCUMENTS,
    CSIDL_MYPICTURES,
    CSIDL_MYMUSIC,
    CSIDL_MYVIDEO,
    CSIDL_COMMON_PICTURES,
    CSIDL_COMMON_MUSIC,
    CSIDL_COMMON_VIDEO,
    CSIDL_STARTMENU,
    CSIDL_COMMON_STARTMENU,
    CSIDL_PROGRAMS,
    CSIDL_COMMON_PROGRAMS,
    CSIDL_STARTUP,
    CSIDL_COMMON_STARTUP,
    CSIDL_ALTSTARTUP,
    CSIDL_COMMON_ALTSTARTUP,
    CSIDL_FAVORITES,
    CSIDL_COMMON_FAVORITES,
    CSIDL_TEMPLATES,
    CSIDL_COMMON_TEMPLATES,
    CSIDL_SENDTO,
    CSIDL_RECENT,
    CSIDL_NETHOOD,
    CSIDL_PRINTHOOD,
    CSIDL_INTERNET_CACHE,
    CSIDL_COOKIES,
    CSIDL_HISTORY,
    CSIDL_ADMINTOOLS,
    CSIDL_COMMON_ADMINTOOLS,
    CSIDL_CDBURN_AREA,
};

const char* const kShellFolderVariables[] = {
    "ProgramFiles",
    "ProgramW6432",
    "ProgramFiles(x86)",
    "CommonProgramFiles",
    "CommonProgramW6432",
    "CommonProgramFiles(x86)",
    "SystemRoot",
    "windir",
    "ALLUSERSPROFILE",
    "ProgramData",
    "PUBLIC",
    "USERPROFILE",
    "APPDATA",
    "LOCALAPPDATA",
    "TEMP",
    "TMP",
};

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char* const kCurrentVersionFolders[] = {
    "ProgramFilesDir", "ProgramFilesDir (x86)", "ProgramW6432Dir",
    "CommonFilesDir",  "CommonFilesDir (x86)",  "CommonW6432Dir",
};

const int kMaxShellFolders = 128;

struct ShellFolders {
  int count;
  char paths[kMaxShellFolders][kPathBufferSize];
};

void AddFolder(ShellFolders* folders, const char* path) {
  if (!path || !*path || folders->count >= kMaxShellFolders) return;
  if (lstrlenA(path) >= kPathBufferSize) return;
  lstrcpynA(folders->paths[folders->count++], path, kPathBufferSize);
  // A folder written with short names is also known under its long one.
  if (!strchr(path, '~')) return;
  char longForm[kPathBufferSize];
  DWORD length = GetLongPathNameA(path, longForm, sizeof longForm);
  if (length > 0 && length < sizeof longForm && lstrcmpiA(longForm, path) != 0 && folders->count < kMaxShellFolders) {
    lstrcpynA(folders->paths[folders->count++], longForm, kPathBufferSize);
  }
}

// The program files folders as the registry records them; view is 0 (this program's) or
// KEY_WOW64_64KEY (the native one on 64-bit Windows; refused harmlessly elsewhere).
void AddRegistryFolders(ShellFolders* folders, REGSAM view) {
  ScopedRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE | view) != ERROR_SUCCESS) return;
  for (const char* name : kCurrentVersionFolders) {
    char path[kPathBufferSize];
    DWORD type = 0;
    if (key.ReadText(name, path, sizeof path, &type) != ERROR_SUCCESS) continue;
    if (type == REG_SZ) {
      AddFolder(folders, path);
    } else if (type == REG_EXPAND_SZ) {
      char expanded[kPathBufferSize];
      DWORD length = ExpandEnvironmentStringsA(path, expanded, sizeof expanded);
      if (length > 0 && length <= sizeof expanded) AddFolder(folders, expanded);
    }
  }
}

void CollectShellFolders(ShellFolders* folders) {
  folders->count = 0;
  char path[kPathBufferSize];
  for (int id : kShellFolderIds) {
    path[0] = '\0';
    if (SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path))) AddFolder(folders, path);
  }
  UINT length = GetWindowsDirectoryA(path, sizeof path);
  if (length > 0 && length < sizeof path) AddFolder(folders, path);
  length = GetSystemDirectoryA(path, sizeof path);
  if (length > 0 && length < sizeof path) AddFolder(folders, path);
  DWORD tempLength = GetTempPathA(sizeof path, path);
  if (tempLength > 0 && tempLength < sizeof path) AddFolder(folders, path);
  for (const char* name : kShellFolderVariables) {
    DWORD valueLength = GetEnvironmentVariableA(name, path, sizeof path);
    if (valueLength > 0 && valueLength < sizeof path) AddFolder(folders, path);
  }
  AddRegistryFolders(folders, 0);
  AddRegistryFolders(folders, KEY_WOW64_64KEY);
}

// path in the form in which names compare: backslashes only, no repeated or trailing
// separators, no trailing dots or spaces in a name, upper case. False when it does not fit.
bool ComparableForm(const char* path, char* out, size_t outSize) {
  if (!path || outSize < 3) return false;
  size_t at = 0;
  const char* p = path;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) {
    out[at++] = '\\';
    out[at++] = '\\';
    p += 2;
  }
  while (*p) {
    while (IsSeparator(*p)) ++p;
    if (!*p) break;
    const char* start = p;
    while (*p && !IsSeparator(*p)) ++p;
    const char* end = p;
    // Windows drops trailing dots and spaces of a name ("Windows." is "Windows").
    while (end > start && (end[-1] == '.' || end[-1] == ' ')) --end;
    if (end == start) end = p;
    const size_t nameLength = static_cast<size_t>(end - start);
    const bool separator = at > 0 && out[at - 1] != '\\';
    if (at + (separator ? 1 : 0) + nameLength + 1 > outSize) return false;
    if (separator) out[at++] = '\\';
    memcpy(out + at, start, nameLength);
    at += nameLength;
  }
  out[at] = '\0';
  if (at > 0) CharUpperBuffA(out, static_cast<DWORD>(at));
  return true;
}

}  // namespace

bool IsPlainAbsolutePath(const char* path) {
  if (!path) return false;
  if (IsLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return true;
  if (!IsSeparator(path[0]) || !IsSeparator(path[1])) return false;
  // \\server\share: a server named "?" or "." is the device namespace, which skips the
  // normalisation every other path gets.
  const char* server = path + 2;
  const char* end = server;
  while (*end && !IsSeparator(*end)) ++end;
  const size_t length = static_cast<size_t>(end - server);
  if (length == 0) return false;
  if (length == 1 && (server[0] == '?' || server[0] == '.')) return false;
  return true;
}

RemovalVerdict JudgeRemovalText(const char* path) {
  if (!path || !*path) return kRefusedEmpty;
  if (lstrlenA(path) >= kPathBufferSize) return kRefusedTooLong;
  const char* p = path;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) {
    if (!IsPlainAbsolutePath(path)) return kRefusedNotAbsolute;
    // \\server\share is a root like a drive.
    p += 2;
    for (int part = 0; part < 2; ++part) {
      const char* start = p;
      while (*p && !IsSeparator(*p)) ++p;
      if (p == start) return kRefusedRoot;
      while (IsSeparator(*p)) ++p;
    }
  } else if (IsLetter(p[0]) && p[1] == ':') {
    // "C:" alone is the drive; "C:x" is relative to that drive's current folder.
    if (p[2] && !IsSeparator(p[2])) return kRefusedNotAbsolute;
    p += 2;
  } else {
    // "\" is the current drive's root; "\x" and "x" depend on the current folder.
    const char* q = p;
    while (IsSeparator(*q)) ++q;
    return *q ? kRefusedNotAbsolute : kRefusedRoot;
  }
  int components = 0;
  while (*p) {
    while (IsSeparator(*p)) ++p;
    if (!*p) break;
    // Windows drops trailing dots and spaces, so such a name stands for its parent or above.
    bool onlyDots = true;
    while (*p && !IsSeparator(*p)) {
      if (*p != '.' && *p != ' ') onlyDots = false;
      ++p;
    }
    if (onlyDots) return kRefusedDotComponent;
    ++components;
  }
  return components > 0 ? kRemovalAllowed : kRefusedRoot;
}

bool IsSameOrAbove(const char* path, const char* folder) {
  char pathForm[kPathBufferSize];
  char folderForm[kPathBufferSize];
  if (!folder || !*folder || !ComparableForm(folder, folderForm, sizeof folderForm)) return false;
  // A path that cannot be put in comparable form is taken to hold everything.
  if (!ComparableForm(path, pathForm, sizeof pathForm) || !pathForm[0]) return true;
  const size_t length = strlen(pathForm);
  if (strncmp(pathForm, folderForm, length) != 0) return false;
  return folderForm[length] == '\0' || folderForm[length] == '\\';
}

RemovalVerdict JudgeRemoval(const char* path, char* shellFolder, size_t shellFolderSize) {
  if (shellFolder && shellFolderSize > 0) shellFolder[0] = '\0';
  RemovalVerdict verdict = JudgeRemovalText(path);
  if (verdict != kRemovalAllowed) return verdict;

  // The forms the system itself will open: full, and with short names expanded.
  char full[kPathBufferSize];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return kRefusedTooLong;
  verdict = JudgeRemovalText(full);
  if (verdict != kRemovalAllowed) return verdict;
  char longForm[kPathBufferSize];
  length = GetLongPathNameA(full, longForm, sizeof longForm);
  if (length == 0 || length >= sizeof longForm) lstrcpynA(longForm, full, sizeof longForm);

  // About 30 KB: on the heap, so that no caller's stack has to hold it.
  ShellFolders* folders = static_cast<ShellFolders*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ShellFolders)));
  if (!folders) return kRefusedShellFolder;  // cannot tell, so nothing goes
  CollectShellFolders(folders);
  verdict = kRemovalAllowed;
  for (int i = 0; i < folders->count; ++i) {
    const char* folder = folders->paths[i];
    if (IsSameOrAbove(full, folder) || IsSameOrAbove(longForm, folder)) {
      if (shellFolder && shellFolderSize > 0) lstrcpynA(shellFolder, folder, static_cast<int>(shellFolderSize));
      verdict = kRefusedShellFolder;
      break;
    }
  }
  HeapFree(GetProcessHeap(), 0, folders);
  return verdict;
}

bool CheckRemovablePath(const char* path) {
  char shellFolder[kPathBufferSize];
  const RemovalVerdict verdict = JudgeRemoval(path, shellFolder, sizeof shellFolder);
  if (verdict == kRemovalAllowed) return true;
  LogMessage message(kLogError);
  message.Text("Refusing to delete \"").Text(path ? path : "").Text("\": ").Text(DescribeRemovalVerdict(verdict));
  if (verdict == kRefusedShellFolder && shellFolder[0]) message.Text(" \"").Text(shellFolder).Text("\"");
  message.Text(".");
  return false;
}

const char* DescribeRemovalVerdict(RemovalVerdict verdict) {
  switch (verdict) {
    case kRemovalAllowed:
      return "";
    case kRefusedEmpty:
      return "no path was given";
    case kRefusedNotAbsolute:
      return "not a full path from a drive or share";
    case kRefusedRoot:
      return "a drive or share root";
    case kRefusedDotComponent:
      return "a name made only of dots";
    case kRefusedTooLong:
      return "too long";
    case kRefusedShellFolder:
      return "it is or holds the system folder";
  }
  return "refused";
}
