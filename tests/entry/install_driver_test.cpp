// Install driver pieces that run in-process: the minimum requirements, the Snapora test and
// the second pass's arguments.
#include "entry/install_driver.h"

#include <gtest/gtest.h>

#include <string>

#include "sys/options.h"
#include "entry/program.h"
#include "support/bench.h"

namespace {

const char kInternetExplorerKey[] = "Software\\Microsoft\\Internet Explorer";
const char kSnaporaKey[] = "CLSID\\{F8AD5AA5-D966-4667-9DAF-2561D68B2012}";

// Puts the machine's Internet Explorer version back after a test changed it.
class InternetExplorerVersion {
 public:
  InternetExplorerVersion() { m_had = ReadString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", &m_saved); }
  ~InternetExplorerVersion() {
    if (m_had)
      SetString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", m_saved);
    else
      Remove();
  }
  void Set(const std::string& version) { SetString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", version); }
  void Remove() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInternetExplorerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "Version");
      RegCloseKey(key);
    }
  }

 private:
  bool m_had;
  std::string m_saved;
};

TEST(InstallDriver, InternetExplorerVersionDecidesTheRequirements) {
  InternetExplorerVersion version;
  struct Case {
    const char* text;
    long expected;
  } cases[] = {{"5.5", -1}, {"5.50.4807.2300", -1},
               {"6.0", 0},  {"6.0.2900.2180", 0},
               {"10.0", 0}, {"", -1},
               {"abc", -1}, {" 7", 0},
               {"-8", -1}};
  for (const Case& c : cases) {
    version.Set(c.text);
    EXPECT_EQ(c.expected, CheckMinimumRequirements()) << '"' << c.text << '"';
  }
  version.Remove();
  EXPECT_EQ(-1, CheckMinimumRequirements());
}

// Wine fixes the reported Windows version at process start, so each runs in a child process.
TEST(InstallDriver, OldWindowsFailsTheRequirements) {
  struct Case {
    const char* windows;
    DWORD childFailures;
  } cases[] = {{"win98", 0}, {"nt40", 0}, {"win2k", 0}};
  if (IsChildTestRun()) {
    char version[16] = {};
    GetEnvironmentVariableA("TOLLIX_TEST_WINDOWS", version, sizeof version);
    InternetExplorerVersion ie;
    ie.Set("6.0");
    EXPECT_EQ(std::string(version) == "win2k" ? 0 : -1, CheckMinimumRequirements()) << version;
    return;
  }
  for (const Case& c : cases) {
    SetEnvironmentVariableA("TOLLIX_TEST_WINDOWS", c.windows);
    EXPECT_EQ(c.childFailures, RunThisTestAs(c.windows)) << c.windows;
  }
  SetEnvironmentVariableA("TOLLIX_TEST_WINDOWS", nullptr);
}

TEST(InstallDriver, SnaporaNeedsARegisteredExistingServer) {
  ScratchFolder scratch;
  const std::string server = scratch / "SnaporaBar.dll";
  ASSERT_TRUE(WriteTextFile(server, "x"));
  struct Case {
    const char* name;
    bool registered;
    std::string path;
    bool expected;
  } cases[] = {{"not registered", false, "", false},
               {"empty path", true, "", false},
               {"file gone", true, scratch / "Gone.dll", false},
               {"a folder", true, scratch.Path(), false},
               {"installed", true, server, true}};
  for (const Case& c : cases) {
    DeleteKeyTree(HKEY_CLASSES_ROOT, kSnaporaKey);
    if (c.registered) {
      ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, std::string(kSnaporaKey) + "\\InProcServer32", "", c.path));
    }
    EXPECT_EQ(c.expected, IsSnaporaInstalled()) << c.name;
  }
  DeleteKeyTree(HKEY_CLASSES_ROOT, kSnaporaKey);
}

TEST(InstallDriver, SecondPassArgumentsKeepTheCallersOptions) {
  const std::string fixed = std::string(kSecondPassOptions) + "\"" + kUninstallCompletedPage + "\"";
  EXPECT_EQ(std::string("http://www.nimbrel.com/pub/uninstallcompleted.html"), kUninstallCompletedPage);
  struct Case {
    const char* tail;
    std::string expected;
  } cases[] = {{"", fixed}, {"/S", "/S " + fixed}, {"/S ", "/S " + fixed}, {"/url x /S", "/url x /S " + fixed}};
  for (const Case& c : cases) {
    HeapString arguments;
    ASSERT_TRUE(BuildSecondPassArguments(c.tail, &arguments));
    EXPECT_EQ(c.expected, arguments.Text()) << c.tail;
    // What the second pass reads back from them.
    EXPECT_EQ(std::string(c.tail).find("/S") != std::string::npos, FindOption(arguments.Text(), "/S", false));
    EXPECT_FALSE(FindOption(arguments.Text(), "/i", true));
    EXPECT_FALSE(FindOption(arguments.Text(), "/fs", true));
    EXPECT_TRUE(FindOption(arguments.Text(), "/snapora", false));
    HeapString value;
    ASSERT_TRUE(GetOptionValue(arguments.Text(), "/bt", &value));
    EXPECT_STREQ("rel37", value.Text());
    ASSERT_TRUE(GetOptionValue(arguments.Text(), "/sk", &value));
    EXPECT_STREQ("ThemesV3\\XP\\XP.skin", value.Text());
    ASSERT_TRUE(GetOptionValue(arguments.Text(), "/uninsturl", &value));
    EXPECT_STREQ(kUninstallCompletedPage, value.Text());
  }
  // The install id given to the first pass does not reach the second.
  HeapString arguments;
  ASSERT_TRUE(BuildSecondPassArguments("/i ACME-7", &arguments));
  EXPECT_FALSE(FindOption(arguments.Text(), "/i", false));
}

}  // namespace

namespace {

std::string CurrentDirectory() {
  char path[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, path);
  return path;
}

// A package folder without "Private": the first pass fails, and the run leaves the current
// directory and the single-instance guard as it found them.
TEST(InstallDriver, FailedPassRestoresDirectoryAndReleasesTheGuard) {
  ScratchFolder scratch;
  const std::string before = CurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectoryA(scratch.Path().c_str()));
  const std::string package = CurrentDirectory();
  EXPECT_LT(InstallDriver("/S"), 0);
  EXPECT_EQ(package, CurrentDirectory());
  SetCurrentDirectoryA(before.c_str());
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "TollixInstaller");
  EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  if (mutex) CloseHandle(mutex);
}

}  // namespace
