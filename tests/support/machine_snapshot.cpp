// A picture of what the product may touch on this machine, and the difference of two pictures
// in words (see machine_snapshot.h).
#include "support/machine_snapshot.h"

#include <shlobj.h>
#include <stdio.h>
#include <windows.h>

#include <vector>

#include "support/bench.h"
#include "support/edition.h"

namespace {

const char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// Small text files are shown whole in a difference; others by size and checksum.
const size_t kShownFileSize = 240;

// Values that hold the time of an install or uninstall.
bool IsTimeValue(const std::string& name) {
  return name == "InstallDate" || name == "UninstallDate" || name == "Updated";
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsHexDigit(char c) { return isxdigit(static_cast<unsigned char>(c)) != 0; }

// "del1A2B.tmp" anywhere in a path becomes "del*.tmp": the number is free choice of the system.
std::string WithoutTempNumbers(const std::string& path) {
  std::string out;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('\\', begin);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(begin, end - begin);
    const std::string lower = Lower(part);
    if (lower.size() > 7 && lower.compare(0, 3, "del") == 0 && lower.compare(lower.size() - 4, 4, ".tmp") == 0) {
      bool hex = true;
      for (size_t i = 3; i < lower.size() - 4; ++i) hex = hex && IsHexDigit(lower[i]);
      if (hex) part = "del*.tmp";
    }
    out += part;
    if (end < path.size()) out += '\\';
    begin = end + 1;
  }
  return out;
}

std::string WithoutSeparator(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The sample editions' folders: program files, all users' and the user's application data.
std::vector<std::string> SampleFolders() {
  std::vector<std::string> folders;
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_APPDATA, CSIDL_APPDATA})
    for (const char* vendor : {"Acme", "Nimbrel"}) folders.push_back(ShellFolder(csidl) + vendor);
  return folders;
}

bool IsBelow(const std::string& path, const std::string& folder) {
  const std::string p = Lower(path);
  const std::string f = Lower(WithoutSeparator(folder));
  return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '\\');
}

bool IsSampleFolderPath(const std::string& path) {
  for (const std::string& folder : SampleFolders())
    if (IsBelow(path, folder)) return true;
  return false;
}

// The long form of a path that exists (the scheduling code may use short names).
std::string LongPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer) : path;
}

struct ScheduledRename {
  std::string from;  // the "\??\" prefix removed
  std::string to;    // empty: a deletion
};

std::vector<ScheduledRename> ReadScheduledRenames() {
  std::vector<ScheduledRename> renames;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return renames;
  DWORD size = 0;
  DWORD type = 0;
  std::vector<char> data;
  if (RegQueryValueExA(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    data.assign(size + 2, '\0');
    if (RegQueryValueExA(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
      data.clear();
  }
  RegCloseKey(key);
  // Pairs of texts: the path, then its new name or an empty text for a deletion.
  size_t at = 0;
  auto next = [&](std::string* text) {
    if (at >= data.size() || at >= size) return false;
    *text = std::string(data.data() + at);
    at += text->size() + 1;
    return true;
  };
  for (;;) {
    ScheduledRename rename;
    if (!next(&rename.from) || rename.from.empty()) break;
    if (!next(&rename.to)) rename.to.clear();
    if (rename.from.compare(0, 4, "\\??\\") == 0) rename.from.erase(0, 4);
    if (rename.to.compare(0, 4, "\\??\\") == 0) rename.to.erase(0, 4);
    renames.push_back(rename);
  }
  return renames;
}

unsigned long long Checksum(const std::string& bytes) {
  unsigned long long hash = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

bool IsPrintable(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 && c != '\r' && c != '\n' && c != '\t') return false;
  return true;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

std::string FileState(const std::string& path) {
  std::string bytes;
  if (!ReadTextFile(path, &bytes)) return "unreadable (Windows error " + std::to_string(GetLastError()) + ")";
  if (bytes.size() <= kShownFileSize && IsPrintable(bytes)) return "\"" + Escaped(bytes) + "\"";
  char text[80];
  snprintf(text, sizeof text, "%lu bytes, checksum %016llx", static_cast<unsigned long>(bytes.size()), Checksum(bytes));
  return text;
}

void ListFolder(const std::string& folder, const std::vector<std::string>& scheduled,
                std::map<std::string, std::string>* items) {
  for (const std::string& deletion : scheduled)
    if (IsBelow(folder, deletion)) return;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  // A removal's hidden "del*.tmp" folder holds what was in use and is scheduled for the next
  // start; which files were in use is the moment's chance, so what is below it is not compared.
  if (WithoutTempNumbers(folder) != folder) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    (*items)["file " + folder] = FileState(folder);
    return;
  }
  (*items)["folder " + WithoutTempNumbers(folder)] = "";
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") ListFolder(folder + "\\" + name, scheduled, items);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

std::string ValueState(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  char text[64];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::string value(reinterpret_cast<const char*>(data.data()), data.size());
      value = value.c_str();
      return std::string(type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ") + " \"" + value + "\"";
    }
    case REG_DWORD:
      if (IsTimeValue(name)) return "REG_DWORD (a time)";
      if (data.size() != sizeof(DWORD)) return "REG_DWORD of " + std::to_string(data.size()) + " bytes";
      snprintf(text, sizeof text, "REG_DWORD 0x%08lX", *reinterpret_cast<const unsigned long*>(data.data()));
      return text;
    case REG_MULTI_SZ: {
      std::string out = "REG_MULTI_SZ";
      for (size_t i = 0; i < data.size() && data[i];) {
        std::string part(reinterpret_cast<const char*>(data.data()) + i);
        out += " \"" + part + "\"";
        i += part.size() + 1;
      }
      return out;
    }
    default: {
      std::string out = "type " + std::to_string(type) + ",";
      for (BYTE b : data) {
        snprintf(text, sizeof text, " %02X", b);
        out += text;
      }
      return out;
    }
  }
}

// Keys the tests write themselves to reach the program's diagnostics.
bool IsTestSetting(const std::string& keyPath, const std::string& valueName) {
  const std::string key = Lower(keyPath);
  if (key == "software\\nimbrel" && Lower(valueName) == "contentdebuggerdll") return true;
  return false;
}
bool IsTestSettingKey(const std::string& keyPath) {
  const std::string key = Lower(keyPath);
  return key == "software\\nimbrel\\content debugger" || key == "software\\nimbrel\\klp debugger";
}

void ListKey(HKEY root, const char* rootName, const std::string& path, std::map<std::string, std::string>* items) {
  if (IsTestSettingKey(path)) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  const std::string prefix = std::string(rootName) + "\\" + path;
  (*items)["key " + prefix] = "";
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    DWORD dataSize = 0;
    if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(dataSize + 2, 0);
    nameSize = sizeof name;
    if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
    data.resize(dataSize);
    if (IsTestSetting(path, name)) continue;
    (*items)["value " + prefix + " [" + (name[0] ? name : "(default)") + "]"] = ValueState(name, type, data);
  }
  std::vector<std::string> children;
  for (DWORD index = 0;; ++index) {
    char name[MAX_PATH];
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.push_back(name);
  }
  RegCloseKey(key);
  for (const std::string& child : children) ListKey(root, rootName, path + "\\" + child, items);
}

// The class ids and prog ids the sample modules register.
std::vector<std::string> SampleClassKeys() {
  std::vector<std::string> keys;
  EditionValues acme = SampleEditionValues();
  for (const char* name : {"ToolbarClsid", "ActiveXClsid", "BrowserHelperClsid"})
    keys.push_back("CLSID\\" + acme["Edition"][name]);
  for (const char* clsid : {"{8A2F4D91-6B3E-4F0A-A57C-19E2B4C0D301}", "{8A2F4D92-6B3E-4F0A-A57C-19E2B4C0D301}",
                            "{8A2F4D93-6B3E-4F0A-A57C-19E2B4C0D301}", "{3C9E7A15-0D42-4B6F-8E21-5A7B9C3D1E41}",
                            "{6D1F0B24-7C35-4A89-B3E2-4F8A0C5D2E51}", "{9B4C2E37-1A58-4D6C-A0F3-8E2D6B7C3F61}",
                            "{F8AD5AA5-D966-4667-9DAF-2561D68B2012}"})
    keys.push_back(std::string("CLSID\\") + clsid);
  for (const char* progId : {"Tollix.ProfileExt", "Snapora.ShellExt", "NimbrelPhotos.OutlookAddin"})
    keys.push_back(progId);
  return keys;
}

}  // namespace

MachineSnapshot MachineSnapshot::Take() {
  MachineSnapshot snapshot;
  std::map<std::string, std::string>& items = snapshot.m_items;

  std::vector<std::string> scheduledDeletions;
  for (const ScheduledRename& rename : ReadScheduledRenames()) {
    const std::string from = LongPath(rename.from);
    if (!IsSampleFolderPath(from)) continue;
    if (rename.to.empty()) scheduledDeletions.push_back(from);
    items["scheduled " + WithoutTempNumbers(from)] =
        rename.to.empty() ? "deletion at the next start"
                          : "rename at the next start to " + WithoutTempNumbers(rename.to);
  }
  for (const std::string& folder : SampleFolders()) ListFolder(WithoutSeparator(folder), scheduledDeletions, &items);

  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const char* rootName = root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
    for (const char* path : {"Software\\Acme", "Software\\Nimbrel", "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"})
      ListKey(root, rootName, path, &items);
  }
  for (const char* entry : {"Acme Toolbar", "Nimbrel Toolbar", "NimbrelSearchBar", "NimbrelSearchBarV35"})
    ListKey(HKEY_LOCAL_MACHINE, "HKLM", std::string(kUninstallKey) + entry, &items);
  ListKey(HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Internet Explorer\\SearchScopes\\NMBL", &items);
  for (const std::string& key : SampleClassKeys()) ListKey(HKEY_CLASSES_ROOT, "HKCR", key, &items);
  return snapshot;
}

std::string MachineSnapshot::DifferenceFrom(const MachineSnapshot& expected, const std::string& expectedName,
                                            const std::string& actualName) const {
  std::string out;
  auto e = expected.m_items.begin();
  auto a = m_items.begin();
  while (e != expected.m_items.end() || a != m_items.end()) {
    if (a == m_items.end() || (e != expected.m_items.end() && e->first < a->first)) {
      out += "  only " + expectedName + ": " + e->first + (e->second.empty() ? "" : " = " + e->second) + "\n";
      ++e;
    } else if (e == expected.m_items.end() || a->first < e->first) {
      out += "  only " + actualName + ": " + a->first + (a->second.empty() ? "" : " = " + a->second) + "\n";
      ++a;
    } else {
      if (e->second != a->second)
        out += "  " + e->first + ": " + e->second + " " + expectedName + ", " + a->second + " " + actualName + "\n";
      ++e;
      ++a;
    }
  }
  return out;
}

void ForgetSampleClassRegistrations() {
  for (const std::string& key : SampleClassKeys()) DeleteKeyTree(HKEY_CLASSES_ROOT, key);
}

void ForgetScheduledSampleDeletions() {
  const std::vector<ScheduledRename> renames = ReadScheduledRenames();
  std::vector<char> kept;
  bool dropped = false;
  for (const ScheduledRename& rename : renames) {
    if (IsSampleFolderPath(LongPath(rename.from))) {
      dropped = true;
      continue;
    }
    for (const std::string& text : {"\\??\\" + rename.from, rename.to.empty() ? std::string() : "\\??\\" + rename.to}) {
      kept.insert(kept.end(), text.begin(), text.end());
      kept.push_back('\0');
    }
  }
  if (!dropped) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  if (kept.empty()) {
    RegDeleteValueA(key, kPendingRenames);
  } else {
    kept.push_back('\0');
    RegSetValueExA(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                   static_cast<DWORD>(kept.size()));
  }
  RegCloseKey(key);
}
