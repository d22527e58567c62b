// Test bench helpers on the real Win32 platform (under Wine).
#include "support/bench.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <vector>

std::string BuildDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path);
  // The test program lives in <build>\tests\.
  for (int i = 0; i < 2; ++i) {
    size_t cut = text.find_last_of('\\');
    if (cut != std::string::npos) text.erase(cut);
  }
  return text + "\\";
}

std::string BuildPath(const std::string& relative) { return BuildDir() + relative; }
std::string InstallerPath() { return BuildPath("TollixInstaller.exe"); }
std::string DebuggerModulePath() { return BuildPath("debugger\\KLP_DebuggerDLL.dll"); }

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Start(const std::string& program, const std::string& args, const char* folder) {
  Kill();
  std::string commandLine = "\"" + program + "\"";
  if (!args.empty()) commandLine += " " + args;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  // Under Wine the first process that needs the desktop starts its window process: let this test
  // be that one, so the job counts only what the program itself starts.
  GetDesktopWindow();
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  // Started suspended, so the job holds the program before it can start anything.
  if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, folder,
                      &startup, &m_info))
    return false;
  m_job = CreateJobObjectA(nullptr, nullptr);
  if (!m_job || !AssignProcessToJobObject(m_job, m_info.hProcess)) {
    ADD_FAILURE() << "the test job could not take " << program << " (Windows error " << GetLastError() << ")";
    if (m_job) CloseHandle(m_job);
    m_job = nullptr;
  }
  ResumeThread(m_info.hThread);
  return true;
}

DWORD ChildProcess::ProcessesStarted() const {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  if (!m_job ||
      !QueryInformationJobObject(m_job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr)) {
    ADD_FAILURE() << "the test job cannot count its processes";
    return 0xFFFFFFFF;
  }
  return accounting.TotalProcesses - 1;
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD* exitCode) {
  if (!m_info.hProcess) return false;
  if (WaitForSingleObject(m_info.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(m_info.hProcess, exitCode);
  return true;
}

bool ChildProcess::IsRunning() const {
  return m_info.hProcess && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
  if (m_info.hProcess) {
    if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(m_info.hProcess, 99);
      WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hProcess);
  }
  if (m_info.hThread) CloseHandle(m_info.hThread);
  if (m_job) CloseHandle(m_job);
  m_job = nullptr;
  m_info = PROCESS_INFORMATION();
}

int CountProcesses(const std::string& exeName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "no process snapshot (Windows error " << GetLastError() << ")";
    return -1;
  }
  int count = 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (_stricmp(entry.szExeFile, exeName.c_str()) == 0) ++count;
  CloseHandle(snapshot);
  return count;
}

DWORD RunToEnd(const std::string& program, const std::string& args, DWORD timeoutMs, const char* folder) {
  ChildProcess child;
  if (!child.Start(program, args, folder)) return 0xFFFFFFFF;
  DWORD exitCode = 0xFFFFFFFF;
  if (!child.Wait(timeoutMs, &exitCode)) return 0xFFFFFFFF;
  return exitCode;
}

ScratchFolder::ScratchFolder() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':') c = '_';
  m_path = "C:\\tollix-tests\\" + name + "\\";
  RemoveTree(m_path);
  MakeFolders(m_path);
}

ScratchFolder::~ScratchFolder() { RemoveTree(m_path); }

bool WriteTextFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

bool ReadTextFile(const std::string& path, std::string* text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  text->clear();
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text->append(buffer, read);
  CloseHandle(file);
  return true;
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string text;
  std::vector<std::string> lines;
  if (!ReadTextFile(path, &text)) return lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 2;
  }
  return lines;
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i < path.size(); ++i) {
    partial += path[i];
    if ((path[i] == '\\' || i + 1 == path.size()) && partial.size() > 3) CreateDirectoryA(partial.c_str(), nullptr);
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveTree(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(folder.c_str()) != FALSE;
  }
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name != "." && name != "..") RemoveTree(folder + "\\" + name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryA(folder.c_str()) != FALSE;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return std::string(path) + "\\";
}

void DeleteKeyTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char child[MAX_PATH];
  for (;;) {
    DWORD size = sizeof child;
    if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    size_t before = 0;
    (void)before;
    DeleteKeyTree(key, child);
    HKEY probe = nullptr;
    if (RegOpenKeyExA(key, child, 0, KEY_READ, &probe) == ERROR_SUCCESS) {  // could not delete: stop
      RegCloseKey(probe);
      break;
    }
  }
  RegCloseKey(key);
  RegDeleteKeyA(root, path.c_str());
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  LONG error = RegQueryValueExA(key, name.empty() ? nullptr : name.c_str(), nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return error == ERROR_SUCCESS;
}

bool ReadDword(HKEY root, const std::string& path, const std::string& name, DWORD* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = sizeof *value;
  LONG error = RegQueryValueExA(key, name.empty() ? nullptr : name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return error == ERROR_SUCCESS && type == REG_DWORD;
}

bool ReadString(HKEY root, const std::string& path, const std::string& name, std::string* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  const char* valueName = name.empty() ? nullptr : name.c_str();
  LONG error = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
  std::vector<char> buffer(size + 1, '\0');
  if (error == ERROR_SUCCESS)
    error = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return false;
  *value = std::string(buffer.data());
  return true;
}

bool SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG error = RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return error == ERROR_SUCCESS;
}

bool SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value, DWORD type) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG error = RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                              reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return error == ERROR_SUCCESS;
}

void SetProgramWindowsVersion(const std::string& exeName, const std::string& version) {
  const std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
  if (version.empty())
    DeleteKeyTree(HKEY_CURRENT_USER, key);
  else
    SetString(HKEY_CURRENT_USER, key, "Version", version);
}

namespace {
std::string TestExePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}
}  // namespace

bool IsChildTestRun() {
  char value[8] = {};
  return GetEnvironmentVariableA("TOLLIX_CHILD_TEST", value, sizeof value) > 0;
}

DWORD RunThisTestAs(const std::string& version, DWORD timeoutMs) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string exe = TestExePath();
  const std::string name = exe.substr(exe.find_last_of('\\') + 1);
  SetProgramWindowsVersion(name, version);
  SetEnvironmentVariableA("TOLLIX_CHILD_TEST", "1");
  DWORD exitCode =
      RunToEnd(exe, std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name(), timeoutMs);
  SetEnvironmentVariableA("TOLLIX_CHILD_TEST", nullptr);
  SetProgramWindowsVersion(name, "");
  return exitCode;
}
