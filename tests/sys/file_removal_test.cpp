// Removal of files and folders in use: renaming out of the way, scheduling the rest, and the
// paths that must never be removed.
#include "sys/file_removal.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <string.h>

#include "base/debug_channel.h"
#include "support/bench.h"
#include "support/recording_channel.h"
#include "sys/busy_file_helpers.h"

using namespace sys_test;

namespace {

class FileRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override { m_records.Clear(); }
  void TearDown() override { SetMoveFileExLookupForTesting(nullptr); }

  RebootRecords m_records;
  ScratchFolder m_scratch;
};

MoveFileExAFunction NoMoveFileEx() { return nullptr; }

// The hidden "del*.tmp" names a removal left in a folder.
std::vector<std::pair<std::string, DWORD>> DelNames(const std::string& folder) {
  return ListFolder(folder, "del*.tmp");
}

TEST(FileRemovalText, CutToParentFolder) {
  struct Case {
    const char* path;
    Status result;
    const char* expected;
  } cases[] = {
      {"C:\\a\\b\\", kStatusOk, "C:\\a\\"}, {"C:\\a\\f.txt", kStatusOk, "C:\\a\\"}, {"C:\\a", kStatusOk, "C:\\"},
      {"name", kStatusFailed, "name"},      {"C:\\", kStatusFailed, "C:\\"},        {"", kStatusFailed, ""},
  };
  for (const Case& c : cases) {
    char buffer[kPathBufferSize];
    strcpy(buffer, c.path);
    EXPECT_EQ(c.result, CutToParentFolder(buffer)) << c.path;
    EXPECT_STREQ(c.expected, buffer) << c.path;
  }
  EXPECT_EQ(kStatusFailed, CutToParentFolder(nullptr));
}

TEST(FileRemovalText, JoinPathEndsWithTwoNuls) {
  struct Case {
    const char* folder;
    const char* name;
    const char* expected;
  } cases[] = {
      {"C:\\a", "*.*", "C:\\a\\*.*"}, {"C:\\a\\", "b c.txt", "C:\\a\\b c.txt"}, {"", "b", "b"}, {nullptr, "b", "b"},
      {"C:\\a", nullptr, "C:\\a\\"},
  };
  for (const Case& c : cases) {
    char out[kPathBufferSize];
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(out, JoinPath(c.folder, c.name, out));
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ('\0', out[strlen(c.expected) + 1]);
  }
  // 257 + backslash + name cannot fit with two NULs in 260 bytes: nothing is written but NULs.
  std::string folder(257, 'a');
  char out[kPathBufferSize + 8];
  memset(out, 'x', sizeof(out));
  JoinPath(folder.c_str(), "b", out);
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ('\0', out[1]);
  EXPECT_EQ('x', out[kPathBufferSize]);
  // 256 + backslash + 1 + two NULs is exactly 260.
  JoinPath(std::string(256, 'a').c_str(), "b", out);
  EXPECT_EQ(258u, strlen(out));
}

TEST(FileRemovalText, FindTextNoCase) {
  const char text[] = "[boot]\r\n[RENAME]\r\nNUL=x";
  EXPECT_EQ(text + 8, FindTextNoCase(text, "[rename]"));
  EXPECT_EQ(nullptr, FindTextNoCase(text, "[other]"));
  EXPECT_EQ(nullptr, FindTextNoCase("abc", "abcd"));
  EXPECT_EQ(nullptr, FindTextNoCase(static_cast<const char*>(nullptr), "a"));
  EXPECT_EQ(nullptr, FindTextNoCase("a", nullptr));
  EXPECT_STREQ("TOLLIX.DLL", FindTextNoCase("C:\\X\\TOLLIX.DLL", "tollix.dll"));
  EXPECT_STREQ("tollix.dll", FindTextNoCase("C:\\X\\ietollix.dll", "tollix.dll"));
}

TEST_F(FileRemovalTest, BadPathsAreRefusedAndTouchNothing) {
  ASSERT_TRUE(WriteTextFile(m_scratch / "keep.txt", "keep"));
  EXPECT_EQ(kStatusFailed, RemovePath(nullptr));
  EXPECT_EQ(kStatusFailed, RemovePath(""));
  EXPECT_EQ(kStatusMissingArgument, DeletePathTree(nullptr, true, true));
  // The scratch folder reached through "..": refused, though it exists.
  std::string climbing = m_scratch / "sub\\..";
  ASSERT_TRUE(MakeFolders(m_scratch / "sub"));
  EXPECT_EQ(kStatusFailed, RemovePath(climbing.c_str()));
  EXPECT_EQ(kStatusFailed, DeletePathTree(climbing.c_str(), true, true));
  EXPECT_EQ(kStatusFailed, RemovePath("C:\\"));
  EXPECT_EQ(kStatusFailed, DeletePathTree("C:", true, true));
  EXPECT_TRUE(PathExists(m_scratch / "keep.txt"));
  EXPECT_TRUE(PathExists(m_scratch / "sub"));
  EXPECT_EQ("", PendingRenames());
}

// System folders (both Program Files views), and relative paths that the current folder would
// resolve: each refused with a message naming it, while another program's files in it stay.
TEST_F(FileRemovalTest, SystemFoldersAndRelativePathsAreRefused) {
  char native[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("ProgramW6432", native, sizeof native);
  const std::string nativeProgramFiles = length > 0 && length < sizeof native ? std::string(native) + "\\" : "";
  const struct {
    std::string path;
    std::string canary;  // a file of another program that must survive
  } cases[] = {
      {ShellFolder(CSIDL_APPDATA), ShellFolder(CSIDL_APPDATA) + "Other Program\\keep.txt"},
      {ShellFolder(CSIDL_COMMON_APPDATA), ShellFolder(CSIDL_COMMON_APPDATA) + "Other Program\\keep.txt"},
      {ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_PROGRAM_FILES) + "Other Program\\keep.txt"},
      {nativeProgramFiles, nativeProgramFiles + "Other Program\\keep.txt"},
      {"Tollix", m_scratch / "Tollix\\keep.txt"},
      {"C:x", m_scratch / "x\\keep.txt"},
  };
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  SetCurrentDirectoryA(m_scratch.Path().c_str());
  for (const auto& c : cases) {
    if (c.path.empty()) continue;  // no native Program Files on this system
    SCOPED_TRACE(c.path);
    std::string folder = c.canary.substr(0, c.canary.rfind('\\'));
    ASSERT_TRUE(MakeFolders(folder));
    ASSERT_TRUE(WriteTextFile(c.canary, "another program's file"));
    RecordingChannel channel;
    EXPECT_EQ(kStatusFailed, RemovePath(c.path.c_str()));
    EXPECT_EQ(kStatusFailed, DeletePathTree(c.path.c_str(), true, true));
    EXPECT_TRUE(PathExists(c.canary));
    EXPECT_EQ(2, static_cast<int>(channel.Texts(kLogError).size()));
    EXPECT_TRUE(channel.HasPrefix("Refusing to delete \"" + c.path + "\": "));
    RemoveTree(folder);
  }
  SetCurrentDirectoryA(saved);
  EXPECT_EQ("", PendingRenames());
}

TEST_F(FileRemovalTest, MissingPathIsNothingToDo) {
  EXPECT_EQ(kStatusOk, RemovePath((m_scratch / "absent").c_str()));
  EXPECT_EQ(kStatusOk, RemovePath((m_scratch / "absent\\deeper\\file.txt").c_str()));
}

TEST_F(FileRemovalTest, IdleTreeGoesWithoutATrace) {
  std::string tree = m_scratch / "Tree with spaces caf\xE9";
  ASSERT_TRUE(MakeFolders(tree + "\\sub\\deeper"));
  ASSERT_TRUE(WriteTextFile(tree + "\\a.dll", "a"));
  ASSERT_TRUE(WriteTextFile(tree + "\\sub\\na\xEFve name.txt", "b"));
  ASSERT_TRUE(WriteTextFile(tree + "\\sub\\deeper\\readonly.txt", "c"));
  SetFileAttributesA((tree + "\\sub\\deeper\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((tree + "\\sub").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(kStatusOk, RemovePath(tree.c_str()));
  EXPECT_FALSE(PathExists(tree));
  EXPECT_TRUE(ListFolder(m_scratch.Path()).empty());
  EXPECT_EQ("", PendingRenames());
  // A single file goes the same way.
  ASSERT_TRUE(WriteTextFile(m_scratch / "single.txt", "x"));
  EXPECT_EQ(kStatusOk, RemovePath((m_scratch / "single.txt").c_str()));
  EXPECT_TRUE(ListFolder(m_scratch.Path()).empty());
}

TEST_F(FileRemovalTest, FolderWithLoadedModuleIsRenamedAndScheduled) {
  std::string folder = m_scratch / "Toolbar";
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(CopyFileA(DebuggerModulePath().c_str(), (folder + "\\TOLLIX.DLL").c_str(), FALSE));
  ASSERT_TRUE(WriteTextFile(folder + "\\idle.txt", "idle"));
  ChildProcess browser;
  ASSERT_TRUE(StartHolder(&browser, "stand_in_browser", folder + "\\TOLLIX.DLL"));

  EXPECT_EQ(kStatusOk, RemovePath(folder.c_str()));
  EXPECT_FALSE(PathExists(folder));  // the name is free for a new copy at once
  auto renamedFolders = DelNames(m_scratch.Path());
  ASSERT_EQ(1u, renamedFolders.size());
  EXPECT_TRUE(renamedFolders[0].second & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(renamedFolders[0].second & FILE_ATTRIBUTE_HIDDEN);
  std::string renamedFolder = m_scratch / renamedFolders[0].first;
  // Inside, the idle file is gone and the module was renamed once more.
  auto inside = ListFolder(renamedFolder);
  ASSERT_EQ(1u, inside.size());
  EXPECT_EQ(0u, Lower(inside[0].first).find("del"));
  EXPECT_TRUE(inside[0].second & FILE_ATTRIBUTE_HIDDEN);

  std::string pending = PendingRenames();
  EXPECT_NE(std::string::npos, pending.find(Lower(inside[0].first))) << pending;
  EXPECT_NE(std::string::npos, pending.find(Lower(renamedFolders[0].first) + "|")) << pending;
  browser.Kill();
}

TEST_F(FileRemovalTest, FileOpenWithoutSharingIsScheduledUnderItsName) {
  std::string file = m_scratch / "held file.dat";
  ChildProcess holder;
  ASSERT_TRUE(StartHolder(&holder, "file_holder", file));
  EXPECT_EQ(kStatusOk, RemovePath(file.c_str()));
  // Neither rename nor delete is possible while it is held: it stays and is scheduled.
  EXPECT_TRUE(PathExists(file));
  EXPECT_NE(std::string::npos, PendingRenames().find(Lower(file) + "|")) << PendingRenames();
  EXPECT_TRUE(DelNames(m_scratch.Path()).empty());
  // Without scheduling the failure is reported.
  EXPECT_EQ(kStatusFailed, DeletePathTree(file.c_str(), false, false));
  holder.Kill();
}

TEST_F(FileRemovalTest, WininitRouteAddsOneLinePerCall) {
  SetMoveFileExLookupForTesting(NoMoveFileEx);
  std::string first = m_scratch / "first.dll";
  std::string second = m_scratch / "second.dll";
  ASSERT_TRUE(WriteTextFile(first, "1"));
  ASSERT_TRUE(WriteTextFile(second, "2"));

  EXPECT_EQ(kStatusOk, MarkForDeletionOnReboot(first.c_str()));
  std::string ini;
  ASSERT_TRUE(ReadWholeFile(WininitPath(), &ini));
  EXPECT_NE(std::string::npos, Lower(ini).find("[rename]")) << ini;
  EXPECT_NE(std::string::npos, ini.find("NUL=" + ShortName(first))) << ini;

  EXPECT_EQ(kStatusOk, MarkForDeletionOnReboot(second.c_str()));
  ASSERT_TRUE(ReadWholeFile(WininitPath(), &ini));
  EXPECT_NE(std::string::npos, ini.find("NUL=" + ShortName(first))) << ini;
  EXPECT_NE(std::string::npos, ini.find("NUL=" + ShortName(second))) << ini;
  EXPECT_EQ("", PendingRenames());
}

TEST_F(FileRemovalTest, WininitRouteKeepsOtherSections) {
  SetMoveFileExLookupForTesting(NoMoveFileEx);
  ASSERT_TRUE(WriteWholeFile(WininitPath(), "[RENAME]\r\nNUL=C:\\OLD.DLL\r\n[boot]\r\nshell=x\r\n"));
  std::string file = m_scratch / "third.dll";
  ASSERT_TRUE(WriteTextFile(file, "3"));
  EXPECT_EQ(kStatusOk, MarkForDeletionOnReboot(file.c_str()));
  std::string ini;
  ASSERT_TRUE(ReadWholeFile(WininitPath(), &ini));
  EXPECT_NE(std::string::npos, ini.find("NUL=C:\\OLD.DLL")) << ini;
  EXPECT_NE(std::string::npos, ini.find("NUL=" + ShortName(file))) << ini;
  EXPECT_NE(std::string::npos, ini.find("shell=x")) << ini;
}

TEST_F(FileRemovalTest, LongPathsAreHandledWithoutHarm) {
  ASSERT_TRUE(WriteTextFile(m_scratch / "keep.txt", "keep"));
  // A real file whose path is 259 characters, the longest the narrow functions take.
  std::string folder = m_scratch / std::string(100, 'd');
  ASSERT_TRUE(MakeFolders(folder));
  std::string file = folder + "\\";
  file += std::string(259 - file.size(), 'f');
  ASSERT_EQ(259u, file.size());
  ASSERT_TRUE(WriteTextFile(file, "x"));
  EXPECT_EQ(kStatusOk, RemovePath(folder.c_str()));
  EXPECT_FALSE(PathExists(folder));
  for (size_t length : {260u, 261u, 400u, 2000u}) {
    std::string tooLong = m_scratch / std::string(length - m_scratch.Path().size(), 'g');
    Status result = RemovePath(tooLong.c_str());
    EXPECT_TRUE(result == kStatusOk || result == kStatusFailed) << length;
    result = DeletePathTree(tooLong.c_str(), true, true);
    EXPECT_TRUE(result == kStatusOk || result == kStatusFailed) << length;
    char out[kPathBufferSize];
    EXPECT_EQ(kStatusFailed, RenameToTempName(tooLong.c_str(), out));
  }
  EXPECT_TRUE(PathExists(m_scratch / "keep.txt"));
}

}  // namespace
