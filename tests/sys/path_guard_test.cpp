// The removal guard: what a path's text says, how names compare, and the machine's own folders
// (and every folder above them) refused under any spelling.
#include "sys/path_guard.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "support/bench.h"

namespace {

std::string Environment(const char* name) {
  char value[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? value : "";
}

std::string Parent(std::string folder) {
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder.substr(0, folder.rfind('\\') + 1);
}

}  // namespace

TEST(PathGuardText, PathsThatMustNeverBeRemoved) {
  const struct {
    const char* path;
    RemovalVerdict verdict;
  } cases[] = {
      {nullptr, kRefusedEmpty},
      {"", kRefusedEmpty},
      {"C:", kRefusedRoot},
      {"C:\\", kRefusedRoot},
      {"c:/", kRefusedRoot},
      {"C:\\\\", kRefusedRoot},
      {"\\", kRefusedRoot},
      {"/", kRefusedRoot},
      {"\\\\server\\share", kRefusedRoot},
      {"\\\\server\\share\\", kRefusedRoot},
      {"\\\\?\\C:\\", kRefusedNotAbsolute},
      {"\\\\.\\C:\\Windows", kRefusedNotAbsolute},
      {"relative", kRefusedNotAbsolute},
      {"Tollix", kRefusedNotAbsolute},
      {"Acme\\Acme Toolbar\\", kRefusedNotAbsolute},
      {"C:x", kRefusedNotAbsolute},
      {"C:Acme\\", kRefusedNotAbsolute},
      {"\\Acme\\", kRefusedNotAbsolute},
      {"..\\x", kRefusedNotAbsolute},
      {"C:\\a\\..", kRefusedDotComponent},
      {"C:\\a\\..\\..\\", kRefusedDotComponent},
      {"C:\\a\\.", kRefusedDotComponent},
      {"C:\\a\\...", kRefusedDotComponent},
      {"C:\\a\\. \\b", kRefusedDotComponent},
      {"C:\\a/../b", kRefusedDotComponent},
      {"C:\\Program Files\\..\\", kRefusedDotComponent},
      {"C:\\a", kRemovalAllowed},
      {"c:\\x", kRemovalAllowed},
      {"C:\\a\\b.txt", kRemovalAllowed},
      {"C:\\a\\.hidden", kRemovalAllowed},
      {"C:\\a..b\\c", kRemovalAllowed},
      {"\\\\server\\share\\folder", kRemovalAllowed},
      {"\\\\server\\share\\folder\\", kRemovalAllowed},
      {"C:\\Program Files\\Acme\\Acme Toolbar\\", kRemovalAllowed},
      {"C:\\Program Files\\caf\xE9", kRemovalAllowed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.verdict, JudgeRemovalText(c.path)) << (c.path ? c.path : "(null)");
  }
  EXPECT_EQ(kRefusedTooLong, JudgeRemovalText(("C:\\" + std::string(300, 'a')).c_str()));
}

TEST(PathGuardText, SameOrAboveComparesAsWindowsNames) {
  const struct {
    const char* path;
    const char* folder;
    bool above;
  } cases[] = {
      {"C:\\Users\\me\\AppData\\Roaming\\", "C:\\Users\\me\\AppData\\Roaming", true},
      {"c:/users/ME/appdata/roaming", "C:\\Users\\me\\AppData\\Roaming", true},
      {"C:\\Users\\me\\AppData\\Roaming.\\", "C:\\Users\\me\\AppData\\Roaming", true},
      {"C:\\Users\\me\\AppData\\Roaming \\\\", "C:\\Users\\me\\AppData\\Roaming", true},
      {"C:\\Users\\\\me", "C:\\Users\\me\\AppData\\Roaming", true},
      {"C:\\Users\\", "C:\\Users\\me\\AppData\\Roaming", true},
      {"C:\\Program Files\\", "C:\\Program Files\\Common Files", true},
      {"C:\\Users\\me\\AppData\\Roaming\\Acme\\", "C:\\Users\\me\\AppData\\Roaming", false},
      {"C:\\Users\\m", "C:\\Users\\me", false},
      {"C:\\Program Files", "C:\\Program Files (x86)", false},
      {"D:\\Users\\me", "C:\\Users\\me", false},
      {"\\\\server\\profiles\\me", "\\\\server\\profiles\\me\\AppData", true},
      {"\\\\server\\profiles\\other", "\\\\server\\profiles\\me\\AppData", false},
      {"C:\\caf\xE9\\", "C:\\CAF\xC9\\Roaming", true},
      {"C:\\anything", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.above, IsSameOrAbove(c.path, c.folder)) << c.path << " / " << c.folder;
  }
}

// The machine's own folders, both Program Files views, the folders above them, and other
// spellings of them; a product folder below them stays removable.
TEST(PathGuard, SystemFoldersAndWhatHoldsThemAreRefused) {
  ScratchFolder scratch;
  const std::string appData = ShellFolder(CSIDL_APPDATA);
  std::string refused[] = {
      appData,
      ShellFolder(CSIDL_COMMON_APPDATA),
      ShellFolder(CSIDL_LOCAL_APPDATA),
      ShellFolder(CSIDL_PROGRAM_FILES),
      ShellFolder(CSIDL_PROGRAM_FILES_COMMON),
      ShellFolder(CSIDL_WINDOWS),
      ShellFolder(CSIDL_SYSTEM),
      ShellFolder(CSIDL_PROFILE),
      ShellFolder(CSIDL_PERSONAL),
      ShellFolder(CSIDL_DESKTOPDIRECTORY),
      ShellFolder(CSIDL_STARTMENU),
      ShellFolder(CSIDL_STARTUP),
      ShellFolder(CSIDL_COMMON_STARTMENU),
      Parent(ShellFolder(CSIDL_PROFILE)),  // the folder of all profiles
      Parent(appData),                     // AppData above Roaming
      appData.substr(0, appData.size() - 1) + ".",
      appData.substr(0, appData.size() - 1) + "\\\\",
      "c:/windows/",
  };
  for (const std::string& path : refused) {
    char folder[MAX_PATH] = {};
    EXPECT_EQ(kRefusedShellFolder, JudgeRemoval(path.c_str(), folder, sizeof folder)) << path;
    EXPECT_NE('\0', folder[0]) << path;
    EXPECT_TRUE(IsSameOrAbove(path.c_str(), folder)) << path << " / " << folder;
  }

  // A 32-bit program on 64-bit Windows is told "Program Files (x86)"; the native folder is
  // refused as well, and so is its short name.
  for (const char* name : {"ProgramW6432", "CommonProgramW6432"}) {
    const std::string native = Environment(name);
    if (native.empty()) continue;
    EXPECT_EQ(kRefusedShellFolder, JudgeRemoval(native.c_str())) << native;
    EXPECT_EQ(kRefusedShellFolder, JudgeRemoval((native + "\\").c_str())) << native;
    char shortName[MAX_PATH] = {};
    DWORD length = GetShortPathNameA(native.c_str(), shortName, sizeof shortName);
    ASSERT_GT(length, 0u) << native;
    EXPECT_EQ(kRefusedShellFolder, JudgeRemoval(shortName)) << shortName;
  }

  const std::string allowed[] = {
      appData + "Acme\\Acme Toolbar\\",
      ShellFolder(CSIDL_PROGRAM_FILES) + "Acme\\Acme Toolbar",
      scratch.Path(),
  };
  for (const std::string& path : allowed) EXPECT_EQ(kRemovalAllowed, JudgeRemoval(path.c_str())) << path;
  EXPECT_TRUE(CheckRemovablePath(scratch.Path().c_str()));
}
