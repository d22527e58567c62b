// Finding the processes that hold toolbar modules on both Windows families, asking once and
// ending them, with real stand-in browsers and real clicks.
#include "sys/process_scanner.h"

#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "base/status.h"
#include "support/bench.h"
#include "support/ui.h"
#include "sys/busy_file_helpers.h"

using namespace sys_test;

namespace {

struct Seen {
  std::string process;
  std::string module;
  DWORD processId;
};

class RecordingHandler : public ProcessModuleHandler {
 public:
  bool OnProcessModule(const char* processName, const char* moduleName, DWORD processId) override {
    seen.push_back({processName ? processName : "", moduleName ? moduleName : "", processId});
    return true;
  }
  std::vector<std::string> ModulesOf(DWORD processId) const {
    std::vector<std::string> modules;
    for (const Seen& s : seen)
      if (s.processId == processId) modules.push_back(Lower(s.module));
    return modules;
  }
  std::vector<Seen> seen;
};

// The pass objects' behaviour: ask once, end every process holding a toolbar module.
class ClosingHandler : public ProcessModuleHandler {
 public:
  bool OnProcessModule(const char* processName, const char* moduleName, DWORD processId) override {
    (void)processName;
    return CloseBrowserHoldingToolbar(moduleName, processId, kInstallCloseBrowserQuestion, &m_mayCloseBrowser,
                                      &m_askedToCloseBrowser);
  }
  DWORD m_mayCloseBrowser = 1;
  bool m_askedToCloseBrowser = false;
};

bool HasModuleEnding(const std::vector<std::string>& modules, const std::string& ending) {
  for (const std::string& m : modules)
    if (m.size() >= ending.size() && m.compare(m.size() - ending.size(), ending.size(), Lower(ending)) == 0)
      return true;
  return false;
}

// Copies the debugger module under a toolbar module's name for a stand-in browser to load.
bool StartBrowser(ChildProcess* browser, const ScratchFolder& scratch, const std::string& folder,
                  const std::string& moduleName) {
  std::string path = scratch / folder;
  if (!MakeFolders(path)) return false;
  path += "\\" + moduleName;
  if (!CopyFileA(DebuggerModulePath().c_str(), path.c_str(), FALSE)) return false;
  return StartHolder(browser, "stand_in_browser", path);
}

TEST(ProcessScannerTest, NtFamilyReportsModulesButNotTheExecutable) {
  ScratchFolder scratch;
  ChildProcess first, second;
  ASSERT_TRUE(StartBrowser(&first, scratch, "one", "TOLLIX.DLL"));
  ASSERT_TRUE(StartBrowser(&second, scratch, "two caf\xE9", "ietollix.dll"));
  ProcessScanner scanner;
  EXPECT_NE(nullptr, scanner.Api().enumProcesses);
  EXPECT_EQ(nullptr, scanner.Api().createToolhelp32Snapshot);
  RecordingHandler handler;
  scanner.ScanProcesses(&handler);
  EXPECT_TRUE(HasModuleEnding(handler.ModulesOf(first.Id()), "\\one\\TOLLIX.DLL"));
  EXPECT_TRUE(HasModuleEnding(handler.ModulesOf(second.Id()), "\\ietollix.dll"));
  EXPECT_FALSE(HasModuleEnding(handler.ModulesOf(first.Id()), "stand_in_browser.exe"));
  for (const Seen& s : handler.seen) {
    if (s.processId != first.Id()) continue;
    EXPECT_NE(std::string::npos, Lower(s.process).find("stand_in_browser.exe"));
  }

  char name[kPathBufferSize];
  DWORD length = 0;
  ASSERT_TRUE(GetProcessImageName(scanner.Api(), first.Id(), name, sizeof(name), &length));
  EXPECT_EQ(strlen(name), length);
  EXPECT_NE(std::string::npos, Lower(name).find("stand_in_browser.exe"));
  char tiny[6];
  ASSERT_TRUE(GetProcessImageName(scanner.Api(), first.Id(), tiny, sizeof(tiny), nullptr));
  EXPECT_EQ(5u, strlen(tiny));
}

TEST(ProcessScannerTest, Windows95FamilyReportsTheExecutableToo) {
  if (!IsChildTestRun()) {
    EXPECT_EQ(0u, RunThisTestAs("win98"));
    return;
  }
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(GetVersionExA(&version));
  ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId);
  ScratchFolder scratch;
  ChildProcess browser;
  ASSERT_TRUE(StartBrowser(&browser, scratch, "nine", "TOLLIX.DLL"));
  ProcessScanner scanner;
  EXPECT_NE(nullptr, scanner.Api().createToolhelp32Snapshot);
  EXPECT_EQ(nullptr, scanner.Api().enumProcesses);
  RecordingHandler handler;
  scanner.ScanProcesses(&handler);
  EXPECT_TRUE(HasModuleEnding(handler.ModulesOf(browser.Id()), "\\nine\\TOLLIX.DLL"));
  EXPECT_TRUE(HasModuleEnding(handler.ModulesOf(browser.Id()), "stand_in_browser.exe"));
  char name[kPathBufferSize];
  DWORD length = 0;
  ASSERT_TRUE(GetProcessImageName(scanner.Api(), browser.Id(), name, sizeof(name), &length));
  EXPECT_NE(std::string::npos, Lower(name).find("stand_in_browser.exe"));
  EXPECT_FALSE(GetProcessImageName(scanner.Api(), 0xFFFFFFF0u, name, sizeof(name), &length));
}

TEST(ProcessScannerTest, ScanStopsWhenTheHandlerSaysSo) {
  struct StopAtFirst : ProcessModuleHandler {
    bool OnProcessModule(const char*, const char*, DWORD) override {
      ++calls;
      return false;
    }
    int calls = 0;
  } handler;
  ProcessScanner scanner;
  scanner.ScanProcesses(&handler);
  EXPECT_EQ(1, handler.calls);
  scanner.ScanProcesses(nullptr);
}

TEST(CloseBrowserTest, OneYesEndsBothBrowsers) {
  ScratchFolder scratch;
  ChildProcess first, second, bystander;
  ASSERT_TRUE(StartBrowser(&first, scratch, "one", "TOLLIX.DLL"));
  ASSERT_TRUE(StartBrowser(&second, scratch, "two", "ietollix.dll"));
  ASSERT_TRUE(StartBrowser(&bystander, scratch, "three", "other.dll"));
  ClosingHandler handler;
  DialogAnswerer answer(ThisProcess(), kCloseBrowserCaption, {IDYES});
  ProcessScanner scanner;
  scanner.ScanProcesses(&handler);
  EXPECT_TRUE(answer.Answered());
  EXPECT_NE(std::string::npos, answer.Text().find("close all of your Internet Explorer windows")) << answer.Text();
  EXPECT_TRUE(handler.m_askedToCloseBrowser);
  EXPECT_EQ(1u, handler.m_mayCloseBrowser);
  EXPECT_FALSE(first.IsRunning());
  EXPECT_FALSE(second.IsRunning());
  EXPECT_TRUE(bystander.IsRunning());
}

TEST(CloseBrowserTest, NoEndsNone) {
  ScratchFolder scratch;
  ChildProcess first, second;
  ASSERT_TRUE(StartBrowser(&first, scratch, "one", "TollixBHO.dll"));
  ASSERT_TRUE(StartBrowser(&second, scratch, "two", "tollix__.dll"));
  ClosingHandler handler;
  DialogAnswerer answer(ThisProcess(), kCloseBrowserCaption, {IDNO});
  ProcessScanner scanner;
  scanner.ScanProcesses(&handler);
  EXPECT_TRUE(answer.Answered());
  EXPECT_TRUE(handler.m_askedToCloseBrowser);
  EXPECT_EQ(0u, handler.m_mayCloseBrowser);
  EXPECT_TRUE(first.IsRunning());
  EXPECT_TRUE(second.IsRunning());
}

TEST(CloseBrowserTest, OtherModulesAndTheInstallerItselfAreLeftAlone) {
  DWORD mayClose = 1;
  bool asked = false;
  DialogAnswerer answer(ThisProcess(), kCloseBrowserCaption, {IDYES});
  EXPECT_TRUE(CloseBrowserHoldingToolbar("C:\\x\\tollixsysteminfo.dll", 1234, kUninstallCloseBrowserQuestion, &mayClose,
                                         &asked));
  EXPECT_TRUE(CloseBrowserHoldingToolbar(nullptr, 1234, kUninstallCloseBrowserQuestion, &mayClose, &asked));
  EXPECT_TRUE(CloseBrowserHoldingToolbar("C:\\x\\Tollix.dll", GetCurrentProcessId(), kUninstallCloseBrowserQuestion,
                                         &mayClose, &asked));
  EXPECT_FALSE(answer.Answered());
  EXPECT_FALSE(asked);
  EXPECT_EQ(1u, mayClose);
}

TEST(CloseBrowserTest, CloseProcessResults) {
  EXPECT_EQ(kCloseProcessNotOpened, CloseProcess(0xFFFFFFF0u, 100));
  ScratchFolder scratch;
  ChildProcess browser;
  ASSERT_TRUE(StartBrowser(&browser, scratch, "one", "TOLLIX.DLL"));
  EXPECT_EQ(kCloseProcessTerminated, CloseProcess(browser.Id(), 10000));
  EXPECT_FALSE(browser.IsRunning());
}

}  // namespace
