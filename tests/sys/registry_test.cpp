// Registry helpers: logged reads and writes, the key family look-ups, value listing, tree and
// value deletion, and the shell folder look-ups, on Wine's real registry.
#include "sys/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bench.h"
#include "support/recording_channel.h"

namespace {

const char kTestKey[] = "Software\\TollixTests\\Registry";
const char kNimbrel[] = "Software\\Nimbrel";
const char kToolbarKey[] = "Software\\Nimbrel\\Nimbrel Toolbar";
const char kSnaporaKey[] = "Software\\Nimbrel\\Snapora Toolbar";
const char kV35Key[] = "Software\\Nimbrel\\NimbrelSearchBarV35";
const char kSearchBar[] = "Software\\Nimbrel\\NimbrelSearchBar";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Stores raw bytes under a value, with the size and type given (no terminator added).
void SetRaw(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

// Leaves the key readable and deletable but refuses KEY_ALL_ACCESS to anyone.
void LockKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key));
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone);
  std::vector<BYTE> aclBuffer(aclSize);
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer.data());
  ASSERT_TRUE(InitializeAcl(acl, aclSize, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC | DELETE, everyone));
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
  EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor));
  RegCloseKey(key);
  FreeSid(everyone);
  HKEY probe = nullptr;
  ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &probe));
}

// Gives a locked key an open DACL again, so it can be removed.
void UnlockKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
  RegCloseKey(key);
}

// Raw size and type of a stored value.
bool QueryRaw(HKEY root, const std::string& path, const char* name, DWORD* type, DWORD* size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  LONG error = RegQueryValueExA(key, name, nullptr, type, nullptr, size);
  RegCloseKey(key);
  return error == ERROR_SUCCESS;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  void Reset() {
    for (const char* path :
         {"Software\\TollixTests\\Registry\\Read\\Locked", "Software\\TollixTests\\Registry\\List\\Locked"})
      UnlockKey(HKEY_CURRENT_USER, path);
    UnlockKey(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Tree\\B\\B1\\B1a");
    DeleteKeyTree(HKEY_CURRENT_USER, "Software\\TollixTests");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kNimbrel);
  }
  std::string Key(const std::string& name) const { return std::string(kTestKey) + "\\" + name; }
};

}  // namespace

TEST_F(Registry, ReadDwordCases) {
  const std::string key = Key("Read");
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, key, "Dword", 7));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "Text8", "abcdefg"));  // eight bytes
  const BYTE two[2] = {0x34, 0x12};
  SetRaw(HKEY_CURRENT_USER, key, "Binary2", REG_BINARY, two, sizeof two);
  SetDword(HKEY_CURRENT_USER, key + "\\Locked", "Dword", 1);
  LockKey(HKEY_CURRENT_USER, key + "\\Locked");

  struct Case {
    std::string subkey;
    const char* name;
    Status status;
    DWORD value;  // 0xCCCC: untouched
  } cases[] = {
      {key, "Dword", kStatusOk, 7},
      {key, "Missing", kStatusOk, 0xCCCC},
      {Key("NoSuchKey"), "Dword", kStatusOk, 0xCCCC},
      {key, "Text8", kStatusFailed, 0xFFFFFFFF},  // data too long for 4 bytes; value not checked
      {key, "Binary2", kStatusOk, 0x1234},        // the first bytes of other data
      {key + "\\Locked", "Dword", kStatusOk, 1},  // query access is still granted
  };
  for (const Case& c : cases) {
    DWORD value = 0xCCCC;
    EXPECT_EQ(c.status, ReadRegistryDword(HKEY_CURRENT_USER, c.subkey.c_str(), c.name, &value)) << c.name;
    if (c.value != 0xFFFFFFFF) {
      EXPECT_EQ(c.value, value) << c.name;
    }
  }
}

TEST_F(Registry, ReadDwordMessages) {
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, Key("Read"), "Dword", 4294967295u));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, Key("Read"), "Short", "ab"));
  RecordingChannel channel;
  DWORD value = 0;
  ReadRegistryDword(HKEY_CURRENT_USER, Key("Read").c_str(), "Dword", &value);
  ReadRegistryDword(HKEY_CURRENT_USER, Key("Read").c_str(), "Short", &value);  // not a DWORD: no "Found"
  std::vector<std::string> expected = {"Looking up [Dword] under [Software\\TollixTests\\Registry\\Read] ...",
                                       "Found: 4294967295",
                                       "Looking up [Short] under [Software\\TollixTests\\Registry\\Read] ..."};
  EXPECT_EQ(expected, channel.Texts(kLogTrace));
  EXPECT_EQ(expected, channel.Texts());

  channel.Clear();
  channel.SetVerbosity(kLogDetail);  // trace messages are not wanted
  ReadRegistryDword(HKEY_CURRENT_USER, Key("Read").c_str(), "Dword", &value);
  EXPECT_TRUE(channel.Texts().empty());
}

TEST_F(Registry, ReadStringCases) {
  const std::string key = Key("Read");
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "Text", "hello"));
  SetRaw(HKEY_CURRENT_USER, key, "Unterminated", REG_SZ, "abcXYZ", 3);
  // Wine's ANSI query adds the missing terminator itself and wants room for it, so an
  // unterminated text fits only up to 259 bytes.
  const std::string full(259, 'f');
  SetRaw(HKEY_CURRENT_USER, key, "Full", REG_SZ, full.data(), 259);
  const std::string exact(259, 'e');  // 259 characters and the terminator
  SetRaw(HKEY_CURRENT_USER, key, "Exact", REG_SZ, exact.c_str(), 260);
  const std::string longer(300, 'l');
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "Long", longer));
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, key, "Dword", 0x00636261));  // "abc" in its bytes
  SetString(HKEY_CURRENT_USER, key + "\\Locked", "Text", "locked");
  LockKey(HKEY_CURRENT_USER, key + "\\Locked");

  struct Case {
    std::string subkey;
    const char* name;
    Status status;
    std::string value;
  } cases[] = {
      {key, "Text", kStatusOk, "hello"},
      {key, "Unterminated", kStatusOk, "abc"},
      {key, "Full", kStatusOk, full},
      {key, "Exact", kStatusOk, exact},
      {key, "Long", kStatusFailed, ""},                 // longer than the buffer: failed, and no partial text
      {key, "Missing", kStatusOk, ""},                  // a missing value empties the text
      {key, "Dword", kStatusOk, "abc"},                 // the type is not checked
      {Key("NoSuchKey"), "Text", kStatusOk, "before"},  // a missing key leaves it untouched
      {key + "\\Locked", "Text", kStatusOk, "locked"},
  };
  for (const Case& c : cases) {
    HeapString value("before");
    EXPECT_EQ(c.status, ReadRegistryString(HKEY_CURRENT_USER, c.subkey.c_str(), c.name, &value)) << c.name;
    EXPECT_EQ(c.value, value.Text()) << c.name;
    EXPECT_LT(static_cast<uint32_t>(value.Length()), value.Capacity() ? value.Capacity() : 1u) << c.name;
  }
}

TEST_F(Registry, ReadStringMessages) {
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, Key("Read"), "Text", "hello"));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, Key("Read"), "Expand", "%TEMP%", REG_EXPAND_SZ));
  RecordingChannel channel;
  HeapString value;
  ReadRegistryString(HKEY_CURRENT_USER, Key("Read").c_str(), "Text", &value);
  ReadRegistryString(HKEY_CURRENT_USER, Key("Read").c_str(), "Expand", &value);
  EXPECT_STREQ("%TEMP%", value.Text());
  std::vector<std::string> expected = {"Looking up [Text] under [Software\\TollixTests\\Registry\\Read] ...",
                                       "Found: hello",
                                       "Looking up [Expand] under [Software\\TollixTests\\Registry\\Read] ..."};
  EXPECT_EQ(expected, channel.Texts(kLogTrace));
}

TEST_F(Registry, WritesStoreTerminatorAndLog) {
  RecordingChannel channel;
  const std::string key = Key("Write\\Deeper");  // created on demand
  EXPECT_EQ(kStatusOk, WriteRegistryDword(HKEY_CURRENT_USER, key.c_str(), "Version", 0x030501FF));
  EXPECT_EQ(kStatusOk, WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "Path", "C:\\x"));
  EXPECT_EQ(kStatusOk, WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "Empty", ""));

  DWORD value = 0;
  EXPECT_TRUE(ReadDword(HKEY_CURRENT_USER, key, "Version", &value));
  EXPECT_EQ(0x030501FFu, value);
  DWORD type = 0, size = 0;
  ASSERT_TRUE(QueryRaw(HKEY_CURRENT_USER, key, "Path", &type, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(5u, size);  // four characters and the terminator
  ASSERT_TRUE(QueryRaw(HKEY_CURRENT_USER, key, "Empty", &type, &size));
  EXPECT_EQ(1u, size);

  std::vector<std::string> expected = {
      "Setting [Version] under [Software\\TollixTests\\Registry\\Write\\Deeper] ...", "Wrote: 50659839",
      "Setting [Path] under [Software\\TollixTests\\Registry\\Write\\Deeper] ...",    "Wrote: C:\\x",
      "Setting [Empty] under [Software\\TollixTests\\Registry\\Write\\Deeper] ...",   "Wrote: "};
  EXPECT_EQ(expected, channel.Texts(kLogTrace));
}

TEST_F(Registry, FailedWriteSaysOnlySetting) {
  // A non-volatile key cannot be made under a volatile one (error 1021).
  HKEY volatileKey = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Key("Volatile").c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
  RegCloseKey(volatileKey);
  RecordingChannel channel;
  const std::string key = Key("Volatile\\Child");
  EXPECT_EQ(kStatusFailed, WriteRegistryDword(HKEY_CURRENT_USER, key.c_str(), "V", 1));
  EXPECT_EQ(kStatusFailed, WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "S", "x"));
  std::vector<std::string> expected = {"Setting [V] under [Software\\TollixTests\\Registry\\Volatile\\Child] ...",
                                       "Setting [S] under [Software\\TollixTests\\Registry\\Volatile\\Child] ..."};
  EXPECT_EQ(expected, channel.Texts());
}

TEST_F(Registry, FindToolbarDwordTakesEarliestNonZero) {
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kToolbarKey, "Version", 0));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kV35Key, "Version", 5));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kSearchBar, "Version", 9));
  DWORD value = 77;
  EXPECT_EQ(kStatusOk, FindToolbarDword("Version", &value));
  EXPECT_EQ(5u, value);

  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kSnaporaKey, "Version", 3));
  EXPECT_EQ(kStatusOk, FindToolbarDword("Version", &value));
  EXPECT_EQ(3u, value);
  // The search bar look-up sees keys 3 and 4 only.
  EXPECT_EQ(kStatusOk, FindSearchBarDword("Version", &value));
  EXPECT_EQ(5u, value);

  EXPECT_EQ(kStatusOk, FindToolbarDword("Nothing", &value));
  EXPECT_EQ(0u, value);
}

TEST_F(Registry, FindDwordStopsAtFirstFailure) {
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kToolbarKey, "Version", "longtext"));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kV35Key, "Version", 5));
  DWORD value = 0;
  EXPECT_EQ(kStatusFailed, FindToolbarDword("Version", &value));
  EXPECT_EQ(kStatusOk, FindSearchBarDword("Version", &value));
  EXPECT_EQ(5u, value);
}

TEST_F(Registry, FindToolbarStringOrder) {
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kToolbarKey) + "\\3.7.0", "InstallID", ""));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kToolbarKey) + "\\3.6.0", "InstallID", "ID-36"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kV35Key, "InstallID", "ID-V35"));
  HeapString value("stale");
  EXPECT_EQ(kStatusOk, FindToolbarString("InstallID", &value));
  EXPECT_STREQ("ID-36", value.Text());

  DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(kToolbarKey) + "\\3.6.0");
  EXPECT_EQ(kStatusOk, FindToolbarString("InstallID", &value));
  EXPECT_STREQ("ID-V35", value.Text());

  // Key 1 is not part of the string look-up.
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kToolbarKey, "TollixID", "not searched"));
  EXPECT_EQ(kStatusOk, FindToolbarString("TollixID", &value));
  EXPECT_STREQ("", value.Text());

  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBar, "TollixID", std::string(300, 'x')));
  EXPECT_EQ(kStatusFailed, FindToolbarString("TollixID", &value));
}

TEST_F(Registry, ListValuesLeavesVersionEmpty) {
  // Wine enumerates values in name order: Alpha, Version, Zulu.
  const std::string key = Key("List");
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "Alpha", "C:\\a\\TollixSystemInfo.dll"));
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, key, "Version", 0x03040036));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "Zulu", "C:\\z\\TollixSystemInfo.dll"));
  StringList list;
  EXPECT_EQ(kStatusOk, ListRegistryValues(HKEY_CURRENT_USER, key.c_str(), &list));
  ASSERT_EQ(3, list.Count());
  EXPECT_STREQ("C:\\a\\TollixSystemInfo.dll", list.At(0).Text());
  EXPECT_STREQ("", list.At(1).Text());
  EXPECT_STREQ("C:\\z\\TollixSystemInfo.dll", list.At(2).Text());
  // Value names compare without regard to case.
  DeleteKeyTree(HKEY_CURRENT_USER, key);
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, key, "version", 0x03040036));
  StringList lowerCase;
  EXPECT_EQ(kStatusOk, ListRegistryValues(HKEY_CURRENT_USER, key.c_str(), &lowerCase));
  ASSERT_EQ(1, lowerCase.Count());
  EXPECT_STREQ("", lowerCase.At(0).Text());
}

TEST_F(Registry, ListValuesStopsAtOverlongData) {
  const std::string key = Key("List");
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "A", "first"));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "B", std::string(300, 'b')));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, key, "C", "third"));
  SetRaw(HKEY_CURRENT_USER, key, "0", REG_SZ, std::string(259, 'n').data(), 259);  // unterminated
  StringList list;
  EXPECT_EQ(kStatusOk, ListRegistryValues(HKEY_CURRENT_USER, key.c_str(), &list));
  ASSERT_EQ(2, list.Count());
  EXPECT_EQ(std::string(259, 'n'), list.At(0).Text());
  EXPECT_STREQ("first", list.At(1).Text());
}

TEST_F(Registry, ListValuesMissingAndLockedKeys) {
  StringList list;
  EXPECT_EQ(kStatusOk, ListRegistryValues(HKEY_CURRENT_USER, Key("NoSuchKey").c_str(), &list));
  EXPECT_EQ(0, list.Count());
  SetString(HKEY_CURRENT_USER, Key("List\\Locked"), "A", "x");
  LockKey(HKEY_CURRENT_USER, Key("List\\Locked"));
  EXPECT_EQ(kStatusFailed, ListRegistryValues(HKEY_CURRENT_USER, Key("List\\Locked").c_str(), &list));
  EXPECT_EQ(0, list.Count());
}

TEST_F(Registry, DeleteTreeRemovesEverything) {
  const std::string tree = Key("Tree");
  for (const char* child : {"A", "B", "C"}) {
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\" + child, "V", "x"));
    for (const char* grandChild : {"1", "2"})
      ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, tree + "\\" + child + "\\" + child + grandChild + "\\Deep", "D", 1));
  }
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree, "Top", "x"));
  EXPECT_EQ(kStatusOk, DeleteRegistryTree(HKEY_CURRENT_USER, tree.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestKey));

  EXPECT_EQ(kStatusOk, DeleteRegistryTree(HKEY_CURRENT_USER, tree.c_str()));  // already gone
}

TEST_F(Registry, DeleteTreeStopsAtLockedKey) {
  const std::string tree = Key("Tree");
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\A\\A1", "V", "x"));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\B\\B1\\B1a", "V", "x"));
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\C\\C1", "V", "x"));
  LockKey(HKEY_CURRENT_USER, tree + "\\B\\B1\\B1a");

  EXPECT_EQ(kStatusFailed, DeleteRegistryTree(HKEY_CURRENT_USER, tree.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree + "\\A"));  // deleted before the failure
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree + "\\B\\B1\\B1a"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree + "\\B\\B1"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree + "\\C\\C1"));  // never reached

  // A locked key that is itself the root of the call.
  EXPECT_EQ(kStatusFailed, DeleteRegistryTree(HKEY_CURRENT_USER, (tree + "\\B\\B1\\B1a").c_str()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree + "\\B\\B1\\B1a"));
}

TEST_F(Registry, DeleteValueCases) {
  const std::string key = Key("Values");
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, key, "UninstallDate", 1));
  ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, key, "Keep", 1));
  EXPECT_EQ(kStatusOk, DeleteRegistryValue(HKEY_CURRENT_USER, key.c_str(), "UninstallDate"));
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, "UninstallDate"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key, "Keep"));
  EXPECT_EQ(kStatusOk, DeleteRegistryValue(HKEY_CURRENT_USER, key.c_str(), "UninstallDate"));  // missing value
  EXPECT_EQ(kStatusOk, DeleteRegistryValue(HKEY_CURRENT_USER, Key("NoSuchKey").c_str(), "X"));
  SetDword(HKEY_CURRENT_USER, Key("Read\\Locked"), "X", 1);
  LockKey(HKEY_CURRENT_USER, Key("Read\\Locked"));
  EXPECT_EQ(kStatusFailed, DeleteRegistryValue(HKEY_CURRENT_USER, Key("Read\\Locked").c_str(), "X"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("Read\\Locked"), "X"));
}

namespace {

// Saves the shell folder values a test changes and puts them back afterwards.
class ShellFolders : public ::testing::Test {
 protected:
  struct Saved {
    HKEY root;
    const char* name;
    bool present;
    std::string value;
  };
  void SetUp() override {
    m_saved = {{HKEY_LOCAL_MACHINE, "Common AppData", false, ""},
               {HKEY_CURRENT_USER, "AppData", false, ""},
               {HKEY_LOCAL_MACHINE, "Common Desktop", false, ""},
               {HKEY_CURRENT_USER, "Desktop", false, ""}};
    for (Saved& saved : m_saved) saved.present = ReadString(saved.root, kShellFolders, saved.name, &saved.value);
  }
  void TearDown() override {
    for (const Saved& saved : m_saved) {
      if (saved.present)
        SetString(saved.root, kShellFolders, saved.name, saved.value);
      else
        Remove(saved.root, saved.name);
    }
  }
  static void Set(HKEY root, const char* name, const std::string& value) {
    ASSERT_TRUE(SetString(root, kShellFolders, name, value));
  }
  static void Remove(HKEY root, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, kShellFolders, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
  }
  std::vector<Saved> m_saved;
};

}  // namespace

TEST_F(ShellFolders, AppDataFolderCases) {
  struct Case {
    const char* common;  // null: value missing
    const char* user;
    bool allUsers;
    Status status;
    std::string expected;
  } cases[] = {
      {"C:\\ProgramData", "C:\\Users\\me\\AppData", true, kStatusOk, "C:\\ProgramData\\"},
      {"C:\\ProgramData\\", "C:\\Users\\me\\AppData", true, kStatusOk, "C:\\ProgramData\\"},
      {"C:\\ProgramData\\\\", "C:\\Users\\me\\AppData", true, kStatusOk, "C:\\ProgramData\\"},
      {nullptr, "C:\\Users\\me\\AppData", true, kStatusOk, "C:\\Users\\me\\AppData\\"},
      {"C:\\ProgramData", "C:\\Users\\me\\AppData\\", false, kStatusOk, "C:\\Users\\me\\AppData\\"},
      {"", "C:\\Users\\me\\AppData", true, kStatusOk, "C:\\Users\\me\\AppData\\"},  // empty is no folder
      {"%ALLUSERSPROFILE%", "x", true, kStatusOk, "%ALLUSERSPROFILE%\\"},           // not expanded
      {"C:\\ProgramData", nullptr, false, kStatusFailed, "before"},
      {nullptr, "", true, kStatusFailed, "before"},
  };
  for (const Case& c : cases) {
    if (c.common)
      Set(HKEY_LOCAL_MACHINE, "Common AppData", c.common);
    else
      Remove(HKEY_LOCAL_MACHINE, "Common AppData");
    if (c.user)
      Set(HKEY_CURRENT_USER, "AppData", c.user);
    else
      Remove(HKEY_CURRENT_USER, "AppData");
    HeapString folder("before");
    EXPECT_EQ(c.status, GetAppDataFolder(c.allUsers, &folder)) << (c.common ? c.common : "(none)");
    EXPECT_EQ(c.expected, folder.Text()) << (c.common ? c.common : "(none)");
  }
}

TEST_F(ShellFolders, AppDataFolderAtBufferLimits) {
  Remove(HKEY_LOCAL_MACHINE, "Common AppData");
  const std::string room = "C:\\" + std::string(255, 'r');  // 258 characters: the backslash still fits
  Set(HKEY_CURRENT_USER, "AppData", room);
  HeapString folder;
  EXPECT_EQ(kStatusOk, GetAppDataFolder(true, &folder));
  EXPECT_EQ(room + "\\", folder.Text());

  const std::string full = "C:\\" + std::string(256, 'f');  // 259 characters: no room for it
  Set(HKEY_CURRENT_USER, "AppData", full);
  EXPECT_EQ(kStatusFailed, GetAppDataFolder(true, &folder));

  Set(HKEY_CURRENT_USER, "AppData", "C:\\" + std::string(400, 'l'));  // longer than the buffer
  EXPECT_EQ(kStatusFailed, GetAppDataFolder(false, &folder));
}

TEST_F(ShellFolders, DesktopFolderCases) {
  char buffer[kPathBufferSize];
  Set(HKEY_LOCAL_MACHINE, "Common Desktop", "C:\\Users\\Public\\Desktop");
  Set(HKEY_CURRENT_USER, "Desktop", "C:\\Users\\me\\Desktop");
  EXPECT_EQ(ERROR_SUCCESS, GetDesktopFolder(buffer));
  EXPECT_STREQ("C:\\Users\\Public\\Desktop", buffer);  // no backslash added

  Remove(HKEY_LOCAL_MACHINE, "Common Desktop");
  EXPECT_EQ(ERROR_SUCCESS, GetDesktopFolder(buffer));
  EXPECT_STREQ("C:\\Users\\me\\Desktop", buffer);

  Remove(HKEY_CURRENT_USER, "Desktop");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetDesktopFolder(buffer));

  Set(HKEY_CURRENT_USER, "Desktop", "C:\\" + std::string(300, 'd'));
  EXPECT_EQ(ERROR_MORE_DATA, GetDesktopFolder(buffer));
  EXPECT_LT(strlen(buffer), sizeof buffer);
}
