// Removal of the earlier search bar generations: keys emptied down to their uninstall date,
// folders removed or kept, and the order that keeps the program folders findable.
#include "uninstall/earlier_generations.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <time.h>

#include <string>

#include "base/heap_string.h"
#include "sys/registry.h"
#include "support/bench.h"
#include "support/recording_channel.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string AppData(bool allUsers) {
  HeapString folder;
  EXPECT_EQ(0, GetAppDataFolder(allUsers, &folder));
  return folder.Text();
}

// Two generations installed: their keys (with extra values and "BasePaths"), data folders
// for all users and for the user, program folders and Add/Remove Programs entries.
class EarlierGenerations : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    for (bool allUsers : {true, false}) {
      for (const char* relative : {"Nimbrel\\Tollix\\", "Nimbrel\\TollixV35\\"}) {
        ASSERT_TRUE(MakeFolders(AppData(allUsers) + relative));
        ASSERT_TRUE(WriteTextFile(AppData(allUsers) + relative + "settings.xml", "<settings/>"));
      }
    }
    programFolder = scratch / "SearchBar\\";
    programFolderV35 = scratch / "SearchBarV35\\";
    ASSERT_TRUE(MakeFolders(programFolder));
    ASSERT_TRUE(MakeFolders(programFolderV35));
    ASSERT_TRUE(WriteTextFile(programFolder + "NimbrelSearchBar.dll", "x"));
    ASSERT_TRUE(WriteTextFile(programFolderV35 + "NimbrelSearchBar.dll", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarKey, "", programFolder));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "", programFolderV35));
    for (const char* key : {kSearchBarKey, kSearchBarV35Key}) {
      ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, key, "Version", 0x03050100));
      ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, key, "InstallID", "old"));
      ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(key) + "\\BasePaths", "Data", "C:\\x"));
    }
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBar", "DisplayName", "a"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBarV35", "DisplayName", "b"));
  }
  void TearDown() override { Clean(); }

  static void Clean() {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSearchBarKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSearchBarV35Key);
    DeleteKeyTree(HKEY_CURRENT_USER, kSearchBarKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBar");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBarV35");
    for (bool allUsers : {true, false}) {
      RemoveTree(AppData(allUsers) + "Nimbrel\\Tollix\\");
      RemoveTree(AppData(allUsers) + "Nimbrel\\TollixV35\\");
    }
  }

  // The key holds exactly one value, "UninstallDate", of about now.
  static void ExpectOnlyUninstallDate(HKEY root, const char* key) {
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, key, 0, KEY_READ, &handle));
    DWORD values = 0, subkeys = 0;
    RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(handle);
    EXPECT_EQ(1u, values) << key;
    EXPECT_EQ(0u, subkeys) << key;
    DWORD date = 0;
    ASSERT_TRUE(ReadDword(root, key, "UninstallDate", &date));
    EXPECT_LE(static_cast<DWORD>(time(nullptr)) - date, 120u);
  }

  ScratchFolder scratch;
  std::string programFolder;
  std::string programFolderV35;
};

TEST_F(EarlierGenerations, CurrentGenerationIsLeftAlone) {
  for (DWORD version : {0x030501FFu, 0x03080000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(0, RemoveEarlierGenerations(version, true)) << version;
    EXPECT_TRUE(PathExists(AppData(true) + "Nimbrel\\Tollix\\settings.xml"));
    EXPECT_TRUE(PathExists(AppData(false) + "Nimbrel\\Tollix\\settings.xml"));
    EXPECT_TRUE(PathExists(programFolder + "NimbrelSearchBar.dll"));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kSearchBarKey, "InstallID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBar"));
  }
}

TEST_F(EarlierGenerations, EarlierGenerationIsRemovedUserDataByFlag) {
  for (bool deleteUserData : {false, true}) {
    SCOPED_TRACE(deleteUserData ? "delete user data" : "keep user data");
    SetUp();
    EXPECT_EQ(0, RemoveEarlierGenerations(0x03050100, deleteUserData));
    EXPECT_FALSE(PathExists(AppData(true) + "Nimbrel\\Tollix\\"));
    EXPECT_FALSE(PathExists(AppData(true) + "Nimbrel\\TollixV35\\"));
    EXPECT_EQ(!deleteUserData, PathExists(AppData(false) + "Nimbrel\\Tollix\\settings.xml"));
    EXPECT_EQ(!deleteUserData, PathExists(AppData(false) + "Nimbrel\\TollixV35\\settings.xml"));
    EXPECT_FALSE(PathExists(programFolder));
    EXPECT_FALSE(PathExists(programFolderV35));
    ExpectOnlyUninstallDate(HKEY_LOCAL_MACHINE, kSearchBarKey);
    ExpectOnlyUninstallDate(HKEY_LOCAL_MACHINE, kSearchBarV35Key);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBar"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBarV35"));
  }
}

TEST_F(EarlierGenerations, NothingInstalledLeavesNoKeysBehind) {
  Clean();
  EXPECT_EQ(0, RemoveEarlierGenerations(0, false));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSearchBarKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSearchBarV35Key));
}

TEST_F(EarlierGenerations, OnlyPlainTextNamesAProgramFolder) {
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "", programFolderV35, REG_EXPAND_SZ));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarKey, "", ""));
  EXPECT_EQ(0, RemoveLegacyProgramFolders());
  EXPECT_TRUE(PathExists(programFolderV35 + "NimbrelSearchBar.dll"));
  EXPECT_TRUE(PathExists(programFolder + "NimbrelSearchBar.dll"));
}

// A program folder that cannot be removed stops the removal before the registry step, so the
// value naming the folder is still there for the next attempt.
// A generation's folder value that names a system folder (either Program Files view, also by
// its short name), a drive root or a relative path is refused with a message naming it and passed over: no
// folder of the search bar's lies there, another program's files stay, and the rest is done.
TEST_F(EarlierGenerations, ProgramFolderValueNamingASystemFolderIsRefused) {
  char native[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("ProgramW6432", native, sizeof native);
  const std::string nativeProgramFiles = length > 0 && length < sizeof native ? std::string(native) + "\\" : "";
  char shortName[MAX_PATH] = {};
  GetShortPathNameA(ShellFolder(CSIDL_PROGRAM_FILES).c_str(), shortName, sizeof shortName);
  const struct {
    std::string value;
    std::string canary;
  } cases[] = {
      {nativeProgramFiles, nativeProgramFiles + "Other Program\\keep.txt"},
      {ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_PROGRAM_FILES) + "Other Program\\keep.txt"},
      {shortName, ShellFolder(CSIDL_PROGRAM_FILES) + "Other Program\\keep.txt"},
      {ShellFolder(CSIDL_COMMON_APPDATA), ShellFolder(CSIDL_COMMON_APPDATA) + "Other Program\\keep.txt"},
      {"C:\\", scratch / "keep.txt"},
      {"Tollix", scratch / "Tollix\\keep.txt"},
      {"C:x", scratch / "x\\keep.txt"},
  };
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  SetCurrentDirectoryA(scratch.Path().c_str());
  for (const auto& c : cases) {
    if (c.value.empty()) continue;  // no native Program Files on this system
    SCOPED_TRACE(c.value);
    SetUp();
    const std::string folder = c.canary.substr(0, c.canary.rfind('\\'));
    ASSERT_TRUE(MakeFolders(folder));
    ASSERT_TRUE(WriteTextFile(c.canary, "another program's file"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "", c.value));
    RecordingChannel channel;
    EXPECT_EQ(kStatusOk, RemoveEarlierGenerations(0x03050100, false));
    EXPECT_TRUE(PathExists(c.canary));
    EXPECT_TRUE(channel.HasPrefix("Refusing to delete \"" + c.value + "\": "));
    // The value named nothing of the search bar's: passed over, and every other step done.
    EXPECT_FALSE(PathExists(AppData(true) + "Nimbrel\\Tollix\\"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kSearchBarKey, "InstallID"));
    RemoveTree(folder);
  }
  SetCurrentDirectoryA(saved);
}

TEST_F(EarlierGenerations, ClearLegacyKeyEmptiesEitherHive) {
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSearchBarKey, "a", "1"));
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kSearchBarKey, "b", 2));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, std::string(kSearchBarKey) + "\\BasePaths", "c", "3"));
  struct Case {
    HKEY root;
    bool hklm;
  } cases[] = {{HKEY_LOCAL_MACHINE, true}, {HKEY_CURRENT_USER, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(0, ClearLegacyKey(c.hklm, kSearchBarKey));
    ExpectOnlyUninstallDate(c.root, kSearchBarKey);
  }
  // A missing key is not created.
  DeleteKeyTree(HKEY_CURRENT_USER, kSearchBarKey);
  EXPECT_EQ(0, ClearLegacyKey(false, kSearchBarKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSearchBarKey));
}

}  // namespace
