// Removal steps of the uninstall pass around the folders an edition's module reports: a folder
// the removal guard refuses stays, empty parents go up to two levels, and the runtime's list.
#include <gtest/gtest.h>

#include "sys/file_removal.h"
#include "sys/runtime_toolbar_list.h"
#include "uninstall/uninstaller.h"
#include "support/bench.h"

TEST(FolderGuard, RefusedFolderIsNotTouched) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteTextFile(scratch / "keep.txt", "x"));
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  SetCurrentDirectoryA(scratch.Path().c_str());
  const Status status = RemovePath(".\\");
  SetCurrentDirectoryA(current);
  EXPECT_EQ(-1, status);
  EXPECT_TRUE(PathExists(scratch / "keep.txt"));
}

TEST(FolderGuard, EmptyParentsGoUpToTwoLevels) {
  ScratchFolder scratch;
  ASSERT_TRUE(MakeFolders(scratch / "a\\b\\c\\z"));
  ASSERT_TRUE(RemoveTree(scratch / "a\\b\\c\\z"));
  char path[kPathBufferSize];
  lstrcpynA(path, (scratch / "a\\b\\c\\z\\").c_str(), kPathBufferSize);
  Uninstaller::RemoveEmptyParents(path);
  EXPECT_FALSE(PathExists(scratch / "a\\b\\c"));
  EXPECT_FALSE(PathExists(scratch / "a\\b"));
  EXPECT_TRUE(PathExists(scratch / "a"));

  ASSERT_TRUE(MakeFolders(scratch / "p\\q"));
  ASSERT_TRUE(WriteTextFile(scratch / "p\\other.txt", "x"));
  lstrcpynA(path, (scratch / "p\\q\\z").c_str(), kPathBufferSize);
  Uninstaller::RemoveEmptyParents(path);
  EXPECT_FALSE(PathExists(scratch / "p\\q"));
  EXPECT_TRUE(PathExists(scratch / "p\\other.txt"));
}

TEST(RuntimeToolbarList, ValueDataNamesTheModule) {
  const struct {
    const char* listed;
    bool same;
  } cases[] = {
      {"C:\\Program Files\\Acme\\Acme Toolbar\\TollixSystemInfo.dll", true},
      {"c:\\program files\\acme\\acme toolbar\\tollixsysteminfo.dll", true},
      {"C:\\PROGRA~1\\Acme\\ACMETO~1\\TollixSystemInfo.dll", true},
      {"C:\\Program Files\\Other\\TollixSystemInfo.dll", false},
      {"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.same, IsSameModulePath(c.listed, "C:\\Program Files\\Acme\\Acme Toolbar\\TollixSystemInfo.dll",
                                       "C:\\PROGRA~1\\Acme\\ACMETO~1\\TollixSystemInfo.dll"))
        << (c.listed ? c.listed : "(null)");
  }
}
