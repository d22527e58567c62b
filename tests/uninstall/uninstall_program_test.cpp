// The real program in uninstall mode: dialog 118 answered by clicks, the mutexes that keep
// runs apart, and a missing system info module.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "install/installer.h"
#include "upgrade/upgrade_preparation.h"
#include "support/bench.h"
#include "support/edition.h"
#include "support/ui.h"

namespace {

const char kDialogTitle[] = "Toolbar Uninstallation";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Toolbar";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Splits "\"<program>\" <arguments>" as the recorded uninstall command has it.
bool SplitCommand(const std::string& command, std::string* program, std::string* arguments) {
  if (command.size() < 2 || command[0] != '"') return false;
  const size_t close = command.find('"', 1);
  if (close == std::string::npos) return false;
  *program = command.substr(1, close - 1);
  *arguments = close + 2 <= command.size() ? command.substr(close + 2) : "";
  return true;
}

class UninstallProgram : public ::testing::Test {
 protected:
  void SetUp() override { ForgetSampleInstalls(); }
  void TearDown() override { ForgetSampleInstalls(); }

  // Installs the sample package with an install pass in this process (as the install driver
  // runs it) and returns the recorded command.
  bool InstallSample(std::string* program, std::string* arguments) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA((SamplePackageDir() + "Private").c_str());
    Status status;
    {
      Installer installer;
      status = installer.Initialize("Vendor\\ProgFiles\\TollixSystemInfo.dll", "/S");
      bool reregister = false;
      if (status == 0) status = PrepareUpgrade(&installer, &reregister);
      if (status == 0) status = installer.Install();
    }
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(0, status);
    // Without ids the uninstall pass sends no ping, so the program never reaches the real host.
    EXPECT_TRUE(
        PatchEditionIni(acmeFolder + "TollixSystemInfo.ini", {{"Edition", {{"InstallId", kRemoveEditionValue}}}}));
    std::string command;
    return ReadString(HKEY_LOCAL_MACHINE, kEntryKey, "UninstallString", &command) &&
           SplitCommand(command, program, arguments);
  }

  std::string acmeFolder = ShellFolder(CSIDL_PROGRAM_FILES) + "Acme\\Acme Toolbar\\";
};

}  // namespace

TEST_F(UninstallProgram, RecordedCommandUninstallsWithTheDialogsChoice) {
  const struct {
    int radio;
    bool userDataStays;
  } cases[] = {{1018, true}, {1019, false}};
  for (const auto& c : cases) {
    ForgetSampleInstalls();
    std::string program;
    std::string arguments;
    ASSERT_TRUE(InstallSample(&program, &arguments));
    EXPECT_EQ(acmeFolder + "Uninstaller.exe", program);
    EXPECT_EQ("/u /k", arguments);
    ASSERT_TRUE(MakeFolders(ShellFolder(CSIDL_APPDATA) + "Acme\\Acme Toolbar"));
    ASSERT_TRUE(WriteTextFile(ShellFolder(CSIDL_APPDATA) + "Acme\\Acme Toolbar\\bookmarks.txt", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRunOnceKey, "TollixUninstaller", "x"));
    // The debugger module beside the uninstaller logs the run (to %TEMP%\KLP_Debugger.log): the
    // switch value "1" opts the program's own folder in.
    CopyFileA(DebuggerModulePath().c_str(), (acmeFolder + "KLP_DebuggerDLL.dll").c_str(), FALSE);
    SetString(HKEY_CURRENT_USER, "Software\\Nimbrel\\Content Debugger", "Tollix Installer", "1");

    const AnsweredRun run = RunAnswering(program, "/u /k /S", acmeFolder.c_str(), {{kDialogTitle, {c.radio, IDOK}}});
    ASSERT_EQ(1u, run.dialogs.size());
    EXPECT_TRUE(run.dialogs[0].answered);
    EXPECT_EQ(0u, run.exitCode) << c.radio;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) << c.radio;
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, "TollixUninstaller"));
    EXPECT_FALSE(PathExists(acmeFolder + "TollixBHO.dll"));
    EXPECT_FALSE(PathExists(ShellFolder(CSIDL_PROGRAM_FILES) + "Nimbrel\\Tollix Runtime"));
    EXPECT_FALSE(PathExists(ShellFolder(CSIDL_COMMON_APPDATA) + "Acme\\Acme Toolbar"));
    EXPECT_EQ(c.userDataStays, PathExists(ShellFolder(CSIDL_APPDATA) + "Acme\\Acme Toolbar\\bookmarks.txt")) << c.radio;
  }
}

TEST_F(UninstallProgram, CancelChangesNothing) {
  std::string program;
  std::string arguments;
  ASSERT_TRUE(InstallSample(&program, &arguments));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRunOnceKey, "TollixUninstaller", "x"));
  const AnsweredRun run = RunAnswering(program, "/u /k /S", acmeFolder.c_str(), {{kDialogTitle, {IDCANCEL}}});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(run.Showed(kDialogTitle));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kEntryKey));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, "TollixUninstaller"));
  EXPECT_TRUE(PathExists(acmeFolder + "TollixSystemInfo.dll"));
  EXPECT_TRUE(PathExists(acmeFolder + "TollixBHO.dll"));
}

TEST_F(UninstallProgram, MissingSystemInfoModuleFailsAfterTheRunOnceCleanUp) {
  ScratchFolder scratch;
  const std::string program = scratch / "Uninstaller.exe";
  ASSERT_TRUE(CopyFileA(InstallerPath().c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRunOnceKey, "txrunon.exe", "x"));
  const AnsweredRun run = RunAnswering(program, "/S", scratch.Path().c_str(), {{kDialogTitle, {IDOK}}});
  EXPECT_EQ(1u, run.exitCode);
  EXPECT_TRUE(run.Showed(kDialogTitle));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, "txrunon.exe"));
}

TEST_F(UninstallProgram, SecondUninstallerLeavesAtOnce) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "TollixUninstaller");
  ASSERT_NE(nullptr, mutex);
  const DWORD start = GetTickCount();
  const AnsweredRun run = RunAnswering(InstallerPath(), "/u /S", nullptr, {}, 60000);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_TRUE(run.dialogs.empty());
  CloseHandle(mutex);
}

TEST_F(UninstallProgram, WaitsForARunningInstaller) {
  // Held for about 2 s: the uninstaller waits, then asks.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "TollixInstaller");
  ASSERT_NE(nullptr, mutex);
  ChildProcess uninstaller;
  ASSERT_TRUE(uninstaller.Start(InstallerPath(), "/u /S"));
  DialogAnswerer answer(uninstaller.Id(), kDialogTitle, {IDCANCEL});
  Sleep(2000);
  const DWORD released = GetTickCount();
  ReleaseMutex(mutex);
  DWORD code = 0xFFFFFFFF;
  ASSERT_TRUE(uninstaller.Wait(60000, &code));
  EXPECT_TRUE(answer.Answered());
  // Asked only once the installer was gone.
  EXPECT_GE(static_cast<LONG>(answer.FoundAt() - released), 0);
  EXPECT_EQ(0u, code);
  CloseHandle(mutex);
}

TEST_F(UninstallProgram, GivesUpOnAnInstallerThatKeepsRunning) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "TollixInstaller");
  ASSERT_NE(nullptr, mutex);
  const DWORD start = GetTickCount();
  const AnsweredRun run = RunAnswering(InstallerPath(), "/u /S", nullptr, {}, 60000);
  EXPECT_EQ(0u, run.exitCode);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 7000u);
  EXPECT_TRUE(run.dialogs.empty());
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}
