// Sample edition helpers for tests (see edition.h).
#include "support/edition.h"

#include <shlobj.h>

#include <stdio.h>

#include "support/bench.h"

const char kRemoveEditionValue[] = "\x01remove\x01";

namespace {

const WORD kVersionBlock = 626;
const WORD kLanguage = 0x0409;
const int kVersionIndex = 10002 % 16;

}  // namespace

std::string SamplePackageDir() { return BuildPath("package\\"); }
std::string SamplePackagePath(const std::string& relative) { return SamplePackageDir() + relative; }

bool CopyTree(const std::string& from, const std::string& to) {
  std::string source = from;
  std::string target = to;
  if (source.empty() || target.empty()) return false;
  if (source.back() != '\\') source += '\\';
  if (target.back() != '\\') target += '\\';
  if (!MakeFolders(target)) return false;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((source + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = CopyTree(source + name, target + name) && ok;
    } else {
      ok = CopyFileA((source + name).c_str(), (target + name).c_str(), FALSE) && ok;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return ok;
}

bool CopySamplePackage(const std::string& destination) { return CopyTree(SamplePackageDir(), destination); }

EditionValues SampleEditionValues() {
  return {
      {"Edition",
       {{"Vendor", "Acme"},
        {"Product", "Acme Toolbar"},
        {"ProductVersionKey", "3.8"},
        {"ProductVersion", "3.8.1.5"},
        {"RuntimeVendorKey", "Nimbrel"},
        {"RuntimeKeyName", "Tollix Runtime"},
        {"RuntimeVersionKey", "3.8"},
        {"ToolbarClsid", "{5E3B1C71-2A4D-4C8E-9B16-7D0F3A61C201}"},
        {"ActiveXClsid", "{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201}"},
        {"BrowserHelperClsid", "{5E3B1C73-2A4D-4C8E-9B16-7D0F3A61C201}"},
        {"InstallId", "ACME-0001"}}},
      {"Folders",
       {{"RuntimeProgramFiles", "%ProgramFiles%\\Nimbrel\\Tollix Runtime"},
        {"PrivateProgramFiles", "%ProgramFiles%\\Acme\\Acme Toolbar"},
        {"RuntimeAllUsersData", "%CommonAppData%\\Nimbrel\\Tollix Runtime"},
        {"PrivateAllUsersData", "%CommonAppData%\\Acme\\Acme Toolbar"},
        {"RuntimeUserData", "%AppData%\\Nimbrel\\Tollix Runtime"},
        {"PrivateUserData", "%AppData%\\Acme\\Acme Toolbar"}}},
  };
}

bool WriteEditionIni(const std::string& path, const EditionValues& values) {
  std::string text;
  for (const auto& section : values) {
    text += "[" + section.first + "]\r\n";
    for (const auto& value : section.second) {
      if (value.second != kRemoveEditionValue) text += value.first + "=" + value.second + "\r\n";
    }
    text += "\r\n";
  }
  return WriteTextFile(path, text);
}

bool PatchEditionIni(const std::string& path, const EditionValues& values) {
  bool ok = true;
  for (const auto& section : values) {
    for (const auto& value : section.second) {
      const char* data = value.second == kRemoveEditionValue ? nullptr : value.second.c_str();
      ok = WritePrivateProfileStringA(section.first.c_str(), value.first.c_str(), data, path.c_str()) && ok;
    }
  }
  // The profile API caches files: flush so that a module loaded next reads the new text.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
  return ok;
}

bool ReadVersionBlock(const std::string& modulePath, std::vector<std::wstring>* entries) {
  entries->clear();
  HMODULE module = LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE);
  if (!module) return false;
  bool ok = false;
  HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(kVersionBlock), kLanguage);
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const WORD* entry = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
  if (entry) {
    const WORD* end = entry + SizeofResource(module, resource) / sizeof(WORD);
    ok = true;
    for (int index = 0; index < 16 && ok; ++index) {
      ok = entry < end && entry + 1 + *entry <= end;
      if (ok) {
        entries->push_back(std::wstring(reinterpret_cast<const wchar_t*>(entry + 1), *entry));
        entry += 1 + *entry;
      }
    }
  }
  FreeLibrary(module);
  return ok;
}

bool ReadModuleString(const std::string& modulePath, UINT id, std::string* text) {
  std::vector<std::wstring> entries;
  if (id / 16 + 1 != kVersionBlock || !ReadVersionBlock(modulePath, &entries)) return false;
  const std::wstring& wide = entries[id % 16];
  text->clear();
  for (wchar_t c : wide) text->push_back(static_cast<char>(c));
  return true;
}

bool SetModuleRuntimeVersion(const std::string& modulePath, const std::string& version) {
  std::vector<std::wstring> entries;
  if (!ReadVersionBlock(modulePath, &entries)) return false;
  entries[kVersionIndex] = std::wstring(version.begin(), version.end());
  std::vector<WORD> block;
  for (const std::wstring& entry : entries) {
    block.push_back(static_cast<WORD>(entry.size()));
    for (wchar_t c : entry) block.push_back(static_cast<WORD>(c));
  }
  HANDLE update = BeginUpdateResourceA(modulePath.c_str(), FALSE);
  if (!update) return false;
  BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(kVersionBlock), kLanguage, block.data(),
                            static_cast<DWORD>(block.size() * sizeof(WORD)));
  return EndUpdateResourceA(update, !ok) && ok;
}

bool RemoveVersionBlock(const std::string& modulePath) {
  // Wine ignores the removal of a single resource: drop the file's resources as a whole (the
  // sample modules hold nothing else).
  HANDLE update = BeginUpdateResourceA(modulePath.c_str(), TRUE);
  if (!update) return false;
  return EndUpdateResourceA(update, FALSE) != FALSE;
}

std::string SampleJournalPath() {
  char path[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("TOLLIX_SAMPLE_JOURNAL", path, sizeof(path));
  if (length > 0 && length < sizeof(path)) return path;
  // One journal per test process: tests of several processes may run at once.
  MakeFolders("C:\\tollix-tests\\");
  char name[MAX_PATH];
  snprintf(name, sizeof(name), "C:\\tollix-tests\\sample-journal-%lu.txt",
           static_cast<unsigned long>(GetCurrentProcessId()));
  SetEnvironmentVariableA("TOLLIX_SAMPLE_JOURNAL", name);
  return name;
}

void ClearSampleJournal() { DeleteFileA(SampleJournalPath().c_str()); }

std::vector<std::string> ReadSampleJournal() {
  std::vector<std::string> lines;
  std::string text;
  if (!ReadTextFile(SampleJournalPath(), &text)) return lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

LoadedEdition::LoadedEdition(const std::string& modulePath) {
  m_module = LoadLibraryA(modulePath.c_str());
  if (!m_module) return;
  GetTollixSystemInfoProc factory =
      reinterpret_cast<GetTollixSystemInfoProc>(GetProcAddress(m_module, "GetTollixSystemInfo"));
  if (!factory) return;
  SystemInfo* info = nullptr;
  m_factoryStatus = factory(&info);
  if (m_factoryStatus >= 0) m_info = info;
}

LoadedEdition::~LoadedEdition() {
  if (m_info) m_info->Release();
  if (m_module) FreeLibrary(m_module);
}

void ForgetSampleInstalls() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    DeleteKeyTree(root, "Software\\Acme");
    DeleteKeyTree(root, "Software\\nimbrel\\Nimbrel Toolbar");
    DeleteKeyTree(root, "Software\\Nimbrel");
  }
  const std::string uninstallRoot = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  DeleteKeyTree(HKEY_LOCAL_MACHINE, uninstallRoot + "Acme Toolbar");
  DeleteKeyTree(HKEY_LOCAL_MACHINE, uninstallRoot + "Nimbrel Toolbar");
  DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_APPDATA, CSIDL_APPDATA}) {
    RemoveTree(ShellFolder(csidl) + "Acme");
    RemoveTree(ShellFolder(csidl) + "Nimbrel");
  }
}
