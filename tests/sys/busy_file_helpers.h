// Shared by the file removal and process tests: processes that hold files, and the machine's
// records of deletions at the next start, saved and restored around a test.
#pragma once

#include <windows.h>

#include <ctype.h>

#include <string>
#include <vector>

#include "support/bench.h"

namespace sys_test {

const char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

inline std::string WininitPath() {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, sizeof(folder));
  return std::string(folder) + "\\wininit.ini";
}

inline bool ReadWholeFile(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  bytes->assign(size, '\0');
  DWORD read = 0;
  bool ok = size == 0 || (ReadFile(file, &(*bytes)[0], size, &read, nullptr) && read == size);
  CloseHandle(file);
  return ok;
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                              written == bytes.size());
  CloseHandle(file);
  return ok;
}

// The pending renames as one lower-case text (REG_MULTI_SZ strings joined with '|').
inline std::string PendingRenames() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return std::string();
  DWORD size = 0;
  std::string data;
  if (RegQueryValueExA(key, kPendingValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    data.assign(size, '\0');
    RegQueryValueExA(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size);
    data.resize(size);
  }
  RegCloseKey(key);
  for (char& c : data) c = c == '\0' ? '|' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return data;
}

inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

inline std::string ShortName(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

// Saves WININIT.INI and the pending renames when constructed, puts them back when destroyed.
class RebootRecords {
 public:
  RebootRecords() {
    m_hadIni = ReadWholeFile(WininitPath(), &m_ini);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      DWORD size = 0;
      if (RegQueryValueExA(key, kPendingValue, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
        m_pending.assign(size, '\0');
        m_hadPending = RegQueryValueExA(key, kPendingValue, nullptr, &m_type, reinterpret_cast<BYTE*>(&m_pending[0]),
                                        &size) == ERROR_SUCCESS;
        m_pending.resize(size);
      }
      RegCloseKey(key);
    }
  }
  ~RebootRecords() {
    if (m_hadIni)
      WriteWholeFile(WininitPath(), m_ini);
    else
      DeleteFileA(WininitPath().c_str());
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      if (m_hadPending)
        RegSetValueExA(key, kPendingValue, 0, m_type, reinterpret_cast<const BYTE*>(m_pending.data()),
                       static_cast<DWORD>(m_pending.size()));
      else
        RegDeleteValueA(key, kPendingValue);
      RegCloseKey(key);
    }
  }
  RebootRecords(const RebootRecords&) = delete;
  RebootRecords& operator=(const RebootRecords&) = delete;

  // Starts each test from no WININIT.INI and no pending renames.
  void Clear() {
    DeleteFileA(WininitPath().c_str());
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, kPendingValue);
      RegCloseKey(key);
    }
  }

 private:
  bool m_hadIni = false;
  std::string m_ini;
  bool m_hadPending = false;
  DWORD m_type = REG_MULTI_SZ;
  std::string m_pending;
};

// Starts a fixture that holds "path" (stand_in_browser loads it, file_holder opens it with
// share mode 0) and waits until it says it holds it.
inline bool StartHolder(ChildProcess* child, const std::string& fixture, const std::string& path) {
  static LONG counter = 0;
  char event[64];
  wsprintfA(event, "tollix-sys-ready-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event);
  if (!ready) return false;
  bool started = child->Start(BuildPath("fixtures\\" + fixture + ".exe"), "\"" + path + "\" " + event);
  HANDLE waits[2] = {ready, child->Handle()};
  bool held = started && WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
  CloseHandle(ready);
  return held;
}

// Names in a folder matching a wildcard pattern, with their attributes.
inline std::vector<std::pair<std::string, DWORD>> ListFolder(const std::string& folder, const char* pattern = "*") {
  std::vector<std::pair<std::string, DWORD>> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(std::make_pair(name, entry.dwFileAttributes));
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

}  // namespace sys_test
