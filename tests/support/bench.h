// Test bench helpers: where the built programs are, starting them, files and registry state.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Folder of the build tree as a Windows path, with a trailing backslash.
std::string BuildDir();
// Path of a file of the build tree, for example BuildPath("fixtures\\stand_in_browser.exe").
std::string BuildPath(const std::string& relative);
std::string InstallerPath();       // TollixInstaller.exe
std::string DebuggerModulePath();  // KLP_DebuggerDLL.dll

// A started process that is ended (if still running) and closed when this goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts "program" args with the given current folder (null: the caller's).
  bool Start(const std::string& program, const std::string& args, const char* folder = nullptr);
  // Waits for the end; false on time-out. exitCode receives the Windows exit code.
  bool Wait(DWORD timeoutMs, DWORD* exitCode);
  bool IsRunning() const;
  // How many processes the program started, its children's children included (it runs in a
  // job of its own, which counts every process ever put in it).
  DWORD ProcessesStarted() const;
  DWORD Id() const { return m_info.dwProcessId; }
  HANDLE Handle() const { return m_info.hProcess; }
  void Kill();

 private:
  PROCESS_INFORMATION m_info = {};
  HANDLE m_job = nullptr;
};

// How many running processes have this executable name ("SnaporaDeviceConnect.exe"). A
// program that was started stays counted until it ends, so a count of 0 right after the code
// under test returns shows it started none (where the program does not end by itself).
int CountProcesses(const std::string& exeName);

// Runs a program to its end; returns its exit code, or 0xFFFFFFFF when it could not start or
// did not end within the time-out (it is then ended).
DWORD RunToEnd(const std::string& program, const std::string& args, DWORD timeoutMs = 60000,
               const char* folder = nullptr);

// A fresh folder under C:\tollix-tests\ named after the running test, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& Path() const { return m_path; }  // ends with a backslash
  std::string operator/(const std::string& name) const { return m_path + name; }

 private:
  std::string m_path;
};

bool WriteTextFile(const std::string& path, const std::string& text);
bool ReadTextFile(const std::string& path, std::string* text);
// The lines of a text file written with "\r\n" endings; none when it cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);
bool MakeFolders(const std::string& path);
bool RemoveTree(const std::string& path);
bool PathExists(const std::string& path);
// A shell folder (CSIDL_PROGRAM_FILES, CSIDL_APPDATA, ...) with a trailing backslash.
std::string ShellFolder(int csidl);

// Registry state: keys a test touches are deleted before and after it.
void DeleteKeyTree(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
bool ReadDword(HKEY root, const std::string& path, const std::string& name, DWORD* value);
bool ReadString(HKEY root, const std::string& path, const std::string& name, std::string* value);
bool SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
bool SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value,
               DWORD type = REG_SZ);

// Wine's per-program Windows version ("win98", "nt40", "win2k", "winxp", "vista", "win7",
// "win10"); an empty version removes the setting.
void SetProgramWindowsVersion(const std::string& exeName, const std::string& version);
// Wine fixes a process's Windows version when it starts. A test that needs another version
// runs its own body again in a child test process that reports it:
//   if (!IsChildTestRun()) { EXPECT_EQ(0u, RunThisTestAs("win98")); return; }
bool IsChildTestRun();
DWORD RunThisTestAs(const std::string& version, DWORD timeoutMs = 90000);
