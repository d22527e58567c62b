// Pattern clean-up with WININIT.INI editing, and the fixed-capacity paths under it.
#include "sys/file_cleanup.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <string.h>

#include "base/debug_channel.h"
#include "support/bench.h"
#include "support/recording_channel.h"
#include "sys/busy_file_helpers.h"
#include "sys/file_removal.h"

using namespace sys_test;

namespace {

std::string Edited(const std::string& old, const char* shortPath) {
  std::string out(RenameEntryRoom(old.size(), shortPath), 'x');
  size_t length = 0;
  if (!AddRenameEntry(old.data(), old.size(), shortPath, &out[0], out.size(), &length)) return "(failed)";
  out.resize(length);
  return out;
}

TEST(WininitText, NewEntryIsTheLastLineOfTheRenameSection) {
  struct Case {
    const char* name;
    std::string old;
    std::string expected;
  } cases[] = {
      {"empty file", "", "\r\n[rename]\r\nNUL=C:\\X.DLL\r\n"},
      {"no section", "[boot]\r\na=1\r\n", "[boot]\r\na=1\r\n\r\n[rename]\r\nNUL=C:\\X.DLL\r\n"},
      {"section last", "[rename]\r\nNUL=C:\\A\r\n", "[rename]\r\nNUL=C:\\A\r\nNUL=C:\\X.DLL\r\n"},
      {"header in capitals", "[RENAME]\r\nNUL=C:\\A\r\n", "[RENAME]\r\nNUL=C:\\A\r\nNUL=C:\\X.DLL\r\n"},
      {"further section", "[rename]\r\nNUL=C:\\A\r\n[boot]\r\nb=2\r\n",
       "[rename]\r\nNUL=C:\\A\r\nNUL=C:\\X.DLL\r\n[boot]\r\nb=2\r\n"},
      {"last line without end", "[rename]\r\nNUL=C:\\A", "[rename]\r\nNUL=C:\\A\r\nNUL=C:\\X.DLL\r\n"},
      {"NUL bytes kept", std::string("[rename]\r\nNUL=A\r\n[b]\r\n\0z\r\n", 22),
       std::string("[rename]\r\nNUL=A\r\nNUL=C:\\X.DLL\r\n[b]\r\n\0z\r\n", 36)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Edited(c.old, "C:\\X.DLL")) << c.name;

  char small[8];
  size_t length = 0;
  EXPECT_FALSE(AddRenameEntry("", 0, "C:\\X.DLL", small, sizeof(small), &length));
  EXPECT_FALSE(AddRenameEntry(nullptr, 5, "C:\\X.DLL", small, sizeof(small), &length));
}

TEST(WininitText, FileOver32KiBIsEditedWhole) {
  std::string head = "[boot]\r\n" + std::string(20000, 'h') + "\r\n[rename]\r\nNUL=C:\\A\r\n";
  std::string tail = "[later]\r\n" + std::string(20000, 't') + "\r\nend=1\r\n";
  std::string edited = Edited(head + tail, "C:\\X.DLL");
  EXPECT_EQ(head + "NUL=C:\\X.DLL\r\n" + tail, edited);
}

class FileCleanupTest : public ::testing::Test {
 protected:
  void SetUp() override { m_records.Clear(); }
  void TearDown() override { SetScheduleMoveFileExForTesting(nullptr); }
  RebootRecords m_records;
  ScratchFolder m_scratch;
};

BOOL WINAPI FailingMoveFileEx(LPCSTR, LPCSTR, DWORD) { return FALSE; }

TEST_F(FileCleanupTest, ScheduleWritesWininitWholeWhenMoveFileExFails) {
  SetScheduleMoveFileExForTesting(FailingMoveFileEx);
  std::string file = m_scratch / "busy caf\xE9.dll";
  ASSERT_TRUE(WriteTextFile(file, "x"));
  std::string old = "[RENAME]\r\nNUL=C:\\OLD.DLL\r\n[later]\r\n" + std::string(40000, 'z') + "\r\nend=1\r\n";
  ASSERT_TRUE(WriteWholeFile(WininitPath(), old));
  PathName path;
  path.Assign(file.c_str());
  EXPECT_EQ(kStatusOk, ScheduleDeleteOnReboot(path));
  std::string ini;
  ASSERT_TRUE(ReadWholeFile(WininitPath(), &ini));
  EXPECT_EQ(Edited(old, ShortName(file).c_str()), ini);

  // Without a file the section is created.
  DeleteFileA(WininitPath().c_str());
  EXPECT_EQ(kStatusOk, ScheduleDeleteOnReboot(path));
  ASSERT_TRUE(ReadWholeFile(WininitPath(), &ini));
  EXPECT_EQ("\r\n[rename]\r\nNUL=" + ShortName(file) + "\r\n", ini);
  EXPECT_EQ("", PendingRenames());
}

TEST_F(FileCleanupTest, BusyFileIsDeletedOrScheduled) {
  std::string file = m_scratch / "held.dll";
  ChildProcess holder;
  ASSERT_TRUE(StartHolder(&holder, "file_holder", file));
  PathName path;
  path.Assign(file.c_str());
  EXPECT_EQ(kStatusPathTooLong, DeleteFileOrSchedule(path, false));
  EXPECT_EQ("", PendingRenames());
  EXPECT_EQ(kStatusOk, DeleteFileOrSchedule(path, true));
  EXPECT_NE(std::string::npos, PendingRenames().find(Lower(file) + "|")) << PendingRenames();
  holder.Kill();
  ASSERT_TRUE(WriteTextFile(m_scratch / "idle.dll", "x"));
  path.Assign((m_scratch / "idle.dll").c_str());
  EXPECT_EQ(kStatusOk, DeleteFileOrSchedule(path, false));
  EXPECT_FALSE(PathExists(m_scratch / "idle.dll"));
}

TEST_F(FileCleanupTest, MatchingFilesGoButOrdinarySubfoldersStay) {
  std::string folder = m_scratch / "Photos";
  ASSERT_TRUE(MakeFolders(folder + "\\sub"));
  ASSERT_TRUE(MakeFolders(folder + "\\old.dll_tmp"));
  ASSERT_TRUE(WriteTextFile(folder + "\\a.dll_tmp", "a"));
  ASSERT_TRUE(WriteTextFile(folder + "\\keep.dll", "k"));
  ASSERT_TRUE(WriteTextFile(folder + "\\sub\\b.dll_tmp", "b"));
  ASSERT_TRUE(WriteTextFile(folder + "\\old.dll_tmp\\c.dll_tmp", "c"));
  DeleteMatchingFiles(folder.c_str(), "*.dll_tmp", false);
  EXPECT_FALSE(PathExists(folder + "\\a.dll_tmp"));
  EXPECT_FALSE(PathExists(folder + "\\old.dll_tmp\\c.dll_tmp"));  // a matching folder is entered
  EXPECT_TRUE(PathExists(folder + "\\sub\\b.dll_tmp"));
  EXPECT_TRUE(PathExists(folder + "\\keep.dll"));

  DeleteMatchingFiles(folder.c_str(), nullptr, true);
  EXPECT_FALSE(PathExists(folder));
  EXPECT_EQ("", PendingRenames());
}

TEST_F(FileCleanupTest, ShellDeleteTakesOnlyTheNamedFiles) {
  std::string folder = m_scratch / "Shell";
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(WriteTextFile(folder + "\\x.lnk", "x"));
  ASSERT_TRUE(WriteTextFile(folder + "\\y.txt", "y"));
  ShellDeleteFiles("", "*.*", true);
  ShellDeleteFiles(nullptr, "*.*", true);
  ShellDeleteFiles(folder.c_str(), "*.lnk", true);
  EXPECT_FALSE(PathExists(folder + "\\x.lnk"));
  EXPECT_TRUE(PathExists(folder + "\\y.txt"));
}

TEST_F(FileCleanupTest, RootsAndDotComponentsAreRefused) {
  ASSERT_TRUE(MakeFolders(m_scratch / "sub"));
  ASSERT_TRUE(WriteTextFile(m_scratch / "a.keep", "a"));
  std::string climbing = m_scratch / "sub\\..";
  ShellDeleteFiles(climbing.c_str(), "*.keep", true);
  DeleteMatchingFiles(climbing.c_str(), "*.keep", true);
  DeleteMatchingFiles((m_scratch / "sub").c_str(), "..\\*.keep", false);
  ShellDeleteFiles((m_scratch / "sub").c_str(), "..\\*.keep", false);
  PathName path;
  path.Assign((m_scratch / "sub\\..\\a.keep").c_str());
  EXPECT_EQ(kStatusPathTooLong, DeleteFileOrSchedule(path, true));
  path.Assign("C:\\");
  EXPECT_EQ(kStatusOk, ScheduleDeleteOnReboot(path));
  EXPECT_TRUE(PathExists(m_scratch / "a.keep"));
  EXPECT_TRUE(PathExists(m_scratch / "sub"));
  EXPECT_EQ("", PendingRenames());
}

// Pattern deletion in a system folder (as an extras folder named C:\Windows would ask): refused,
// with a message naming the folder; nothing in it goes and nothing is scheduled.
TEST_F(FileCleanupTest, SystemFoldersAreNotCleaned) {
  for (int csidl : {CSIDL_WINDOWS, CSIDL_APPDATA, CSIDL_PROGRAM_FILES}) {
    const std::string folder = ShellFolder(csidl);
    SCOPED_TRACE(folder);
    const std::string canaries[] = {folder + "TollixCanary.tmp", folder + "TollixCanary.dll_tmp"};
    for (const std::string& canary : canaries) ASSERT_TRUE(WriteTextFile(canary, "not ours"));
    RecordingChannel channel;
    ShellDeleteFiles(folder.c_str(), "*.tmp", true);
    DeleteMatchingFiles(folder.c_str(), "*.dll_tmp", false);
    DeleteMatchingFiles(folder.c_str(), "TollixCanary.*", true);
    PathName whole;
    whole.Assign(folder.c_str());
    ScheduleDeleteOnReboot(whole);
    for (const std::string& canary : canaries) {
      EXPECT_TRUE(PathExists(canary)) << canary;
      DeleteFileA(canary.c_str());
    }
    EXPECT_TRUE(PathExists(folder));
    EXPECT_EQ(4, static_cast<int>(channel.Texts(kLogError).size()));
    EXPECT_TRUE(channel.HasPrefix("Refusing to delete \"" + folder + "\": "));
  }
  EXPECT_EQ("", PendingRenames());
}

TEST(PathNameText, BoundedEditing) {
  PathName path;
  path.Assign(std::string(300, 'a').c_str());
  EXPECT_EQ(259u, strlen(path.Text()));
  path.Assign(nullptr);
  EXPECT_STREQ("", path.Text());

  path.Assign("C:\\a");
  EXPECT_EQ(kStatusOk, path.AppendComponent("b c.txt"));
  EXPECT_STREQ("C:\\a\\b c.txt", path.Text());
  EXPECT_STREQ("b c.txt", path.FileNamePart());
  EXPECT_EQ(kStatusOk, path.AppendComponent(nullptr));
  EXPECT_EQ(kStatusOk, path.ReplaceFileName("d.ini"));
  EXPECT_STREQ("C:\\a\\d.ini", path.Text());
  EXPECT_EQ(kStatusPathTooLong, path.ReplaceFileName(std::string(255, 'n').c_str()));
  EXPECT_STREQ("C:\\a\\d.ini", path.Text());

  std::string folder(250, 'f');
  path.Assign(folder.c_str());
  EXPECT_EQ(kStatusPathTooLong, path.AppendComponent("123456789"));
  EXPECT_EQ(folder + "\\", path.Text());
  path.Assign(std::string(259, 'g').c_str());
  EXPECT_EQ(kStatusPathTooLong, path.AppendComponent("x"));
  EXPECT_EQ(259u, strlen(path.Text()));

  path.Assign("name");
  EXPECT_EQ(kStatusPathTooLong, path.ReplaceFileName("other"));
  EXPECT_STREQ("name", path.FileNamePart());
}

}  // namespace
