// Install and uninstall passes on the sample editions, in this process: the Add/Remove
// Programs entry, shared and last toolbars on one runtime, and the runtime's toolbar list.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "install/installer.h"
#include "upgrade/upgrade_preparation.h"
#include "support/bench.h"
#include "support/edition.h"
#include "support/recording_channel.h"
#include "uninstall/uninstaller.h"

namespace {

const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kRuntimeList[] = "Software\\Nimbrel\\Toolbar Runtime";

class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    GetCurrentDirectoryA(MAX_PATH, m_saved);
    SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolder() { SetCurrentDirectoryA(m_saved); }

 private:
  char m_saved[MAX_PATH];
};

// One install pass of a package folder ("Private" or "NimbrelUpdate"), as the driver runs it.
Status InstallPass(const std::string& passFolder, const char* arguments) {
  CurrentFolder folder(SamplePackageDir() + passFolder);
  Installer installer;
  Status status = installer.Initialize("Vendor\\ProgFiles\\TollixSystemInfo.dll", arguments);
  if (status != 0) return status;
  bool reregister = false;
  status = PrepareUpgrade(&installer, &reregister);
  if (status != 0) return status;
  status = installer.Install();
  if (status == 0 && reregister) ReregisterToolbars();
  if (status == 0) {
    // The run's last step, as the install driver takes it: the install has finished.
    ScopedRegKey mark;
    if (installer.OpenUnfinishedInstallMark(&mark) == 0) RegDeleteValueA(mark.Get(), kUnfinishedInstallValue);
  }
  return status;
}

Status UninstallPass(const std::string& privateFolder, bool deleteUserData) {
  Uninstaller uninstaller;
  Status status = uninstaller.Initialize((privateFolder + "TollixSystemInfo.dll").c_str(), "/S");
  if (status != 0) return status;
  // As the uninstall driver runs it, without the ping.
  UninstallOptions options;
  options.removeRuntime = true;
  options.removeProduct = true;
  options.deleteUserData = deleteUserData;
  options.unregisterToolbar = true;
  options.removeUninstallEntry = true;
  options.removeFromRuntimeList = true;
  return uninstaller.Uninstall(options);
}

class UninstallSequence : public ::testing::Test {
 protected:
  void SetUp() override { ForgetSampleInstalls(); }
  void TearDown() override { ForgetSampleInstalls(); }

  std::string acmeFolder = ShellFolder(CSIDL_PROGRAM_FILES) + "Acme\\Acme Toolbar\\";
  std::string nimbrelFolder = ShellFolder(CSIDL_PROGRAM_FILES) + "nimbrel\\Nimbrel Toolbar\\";
  std::string runtimeFolder = ShellFolder(CSIDL_PROGRAM_FILES) + "Nimbrel\\Tollix Runtime\\";
};

}  // namespace

TEST_F(UninstallSequence, InstallWritesAQuotedAddRemoveProgramsEntry) {
  ASSERT_EQ(0, InstallPass("Private", "/S /uninsturl \"http://example.test/bye?a=1\""));
  const std::string key = std::string(kUninstallRoot) + "Acme Toolbar";
  std::string value;
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, "UninstallString", &value));
  EXPECT_EQ("\"" + acmeFolder + "Uninstaller.exe\" /u /k /url \"http://example.test/bye?a=1\"", value);
  const struct {
    const char* name;
    std::string expected;
  } strings[] = {
      {"DisplayName", "Acme Toolbar"}, {"DisplayVersion", "3.8.1.5"},
      {"Publisher", "Acme"},           {"DisplayIcon", acmeFolder + "Uninstaller.exe"},
      {"InstallLocation", acmeFolder},
  };
  for (const auto& s : strings) {
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, s.name, &value)) << s.name;
    EXPECT_EQ(s.expected, value) << s.name;
  }
  for (const char* name : {"NoModify", "NoRepair"}) {
    DWORD flag = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, key, name, &flag)) << name;
    EXPECT_EQ(1u, flag) << name;
  }
  EXPECT_TRUE(PathExists(acmeFolder + "Uninstaller.exe"));
}

TEST_F(UninstallSequence, ReinstallOfTheSameVersionIsRefused) {
  ASSERT_EQ(0, InstallPass("Private", "/S"));
  RecordingChannel channel;
  EXPECT_EQ(1, InstallPass("Private", "/S"));
}

TEST_F(UninstallSequence, EmptyUninstallUrlGivesNoUrlPart) {
  ASSERT_EQ(0, InstallPass("Private", "/S /uninsturl \"\""));
  std::string value;
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "Acme Toolbar", "UninstallString", &value));
  EXPECT_EQ("\"" + acmeFolder + "Uninstaller.exe\" /u /k", value);
}

TEST_F(UninstallSequence, SharedRuntimeStaysUntilTheLastToolbarGoes) {
  ASSERT_EQ(0, InstallPass("Private", "/S"));
  ASSERT_EQ(0, InstallPass("NimbrelUpdate", "/S"));
  ASSERT_TRUE(PathExists(runtimeFolder + "Tollix.dll"));

  {
    RecordingChannel channel;
    ASSERT_EQ(0, UninstallPass(acmeFolder, false));
    for (const char* message :
         {"Not removing the runtime program files.", "Not removing the runtime application data.",
          "Not removing the runtime registry keys.", "Not removing the runtime snapora extras."}) {
      EXPECT_TRUE(channel.Has(message)) << message;
    }
    EXPECT_FALSE(channel.Has("Failed!"));
    if (channel.Has("Failed!")) {
      for (const std::string& text : channel.Texts()) printf("  log: %s\n", text.c_str());
    }
  }
  // The loaded module keeps its renamed folder until the next start; the name is free at once.
  EXPECT_FALSE(PathExists(acmeFolder));
  EXPECT_FALSE(PathExists(ShellFolder(CSIDL_COMMON_APPDATA) + "Acme"));  // the empty parent went too
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "Acme Toolbar"));
  EXPECT_TRUE(PathExists(runtimeFolder + "Tollix.dll"));
  EXPECT_TRUE(PathExists(nimbrelFolder));

  // The removed toolbar left the runtime's list, so the remaining one is the last.
  {
    RecordingChannel channel;
    ASSERT_EQ(0, UninstallPass(nimbrelFolder, true));
    EXPECT_FALSE(channel.Has("Not removing the runtime program files."));
  }
  EXPECT_FALSE(PathExists(runtimeFolder));
  EXPECT_FALSE(PathExists(nimbrelFolder));
  EXPECT_FALSE(PathExists(ShellFolder(CSIDL_APPDATA) + "nimbrel\\Nimbrel Toolbar"));  // complete removal
  EXPECT_FALSE(PathExists(ShellFolder(CSIDL_COMMON_APPDATA) + "Nimbrel\\Tollix Runtime"));
  // The runtime's versioned key is stamped with the uninstall time after its tree went.
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, "Software\\Nimbrel\\Tollix Runtime\\3.8", "UninstallDate"));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, "Software\\Nimbrel\\Tollix Runtime", "Version"));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRuntimeList, "Nimbrel Toolbar"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "Nimbrel Toolbar"));
}

TEST_F(UninstallSequence, CompleteUninstallationLogsItsStepsInOrder) {
  ASSERT_EQ(0, InstallPass("Private", "/S"));
  RecordingChannel channel;
  ASSERT_EQ(0, UninstallPass(acmeFolder, true));
  int last = -1;
  for (const char* step :
       {"Uninstalling...", "Unregistering the toolbar ...", "Initializing the Snapora extras uninstaller ...",
        "Uninstalling the Snapora extras ...", "Removing the private program files folder ...",
        "Removing the private application data files and folders ...", "Removing the private registry keys ...",
        "Removing the runtime program files folder ...", "Removing the runtime application data files and folders ...",
        "Removing the runtime registry keys ...", "Removed Add/Remove Programs entry."}) {
    const int index = channel.IndexOf(step, last + 1);
    EXPECT_GT(index, last) << step;
    if (index > last) last = index;
  }
  EXPECT_EQ(0, channel.Count("Failed!"));
}

TEST_F(UninstallSequence, ListWithoutTheProductLeavesOtherValuesAlone) {
  ASSERT_EQ(0, InstallPass("Private", "/S"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "Other Toolbar", "C:\\Other\\TollixSystemInfo.dll"));
  ASSERT_EQ(0, UninstallPass(acmeFolder, false));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRuntimeList, "Other Toolbar"));
  EXPECT_TRUE(PathExists(runtimeFolder));  // still shared with the other toolbar
}

TEST_F(UninstallSequence, PassWithoutSystemInfoTouchesNothing) {
  Uninstaller uninstaller;
  UninstallOptions everything;
  everything.removeRuntime = everything.removeProduct = everything.deleteUserData = everything.sendPing =
      everything.unregisterToolbar = everything.removeUninstallEntry = everything.removeFromRuntimeList = true;
  EXPECT_EQ(-1, uninstaller.Uninstall(everything));
  EXPECT_EQ(-1, uninstaller.RemovePrivateProgramFiles());
  EXPECT_EQ(-50, uninstaller.SetSystemInfo(nullptr));
  EXPECT_EQ(-1, uninstaller.Initialize("C:\\tollix-tests\\missing\\TollixSystemInfo.dll", "/S"));
}

TEST_F(UninstallSequence, MissingListCountsAsSharedUnlessForced) {
  Uninstaller uninstaller;
  long count = 0;
  EXPECT_EQ(0, uninstaller.CountOtherToolbars(&count));
  EXPECT_EQ(-1, count);
  EXPECT_EQ(1, uninstaller.IsRuntimeShared());
  uninstaller.m_forceRuntimeRemoval = true;
  EXPECT_EQ(0, uninstaller.IsRuntimeShared());
  uninstaller.m_forceRuntimeRemoval = false;
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "One", "x"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "Two", "y"));
  EXPECT_EQ(1, uninstaller.IsRuntimeShared());
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kRuntimeList);
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "One", "x"));
  EXPECT_EQ(0, uninstaller.IsRuntimeShared());
  // The list's "Version" value, in whatever case, is no toolbar: the runtime still goes.
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRuntimeList, "VERSION", 0x03080000));
  EXPECT_EQ(0, uninstaller.CountOtherToolbars(&count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(0, uninstaller.IsRuntimeShared());
}

// An edition whose data or program folder is a whole system folder (its product folder left
// off): the complete uninstall refuses that folder with a message naming it, another program's
// folder in it stays, and the rest of the pass is done.
TEST_F(UninstallSequence, FolderThatIsASystemFolderIsRefusedAndTheRestIsDone) {
  const struct {
    const char* key;
    const char* value;
    int csidl;
  } cases[] = {
      {"PrivateUserData", "%AppData%", CSIDL_APPDATA},
      {"PrivateAllUsersData", "%CommonAppData%", CSIDL_COMMON_APPDATA},
      {"RuntimeUserData", "%AppData%", CSIDL_APPDATA},
      {"RuntimeAllUsersData", "%CommonAppData%", CSIDL_COMMON_APPDATA},
      {"RuntimeProgramFiles", "%ProgramFiles%", CSIDL_PROGRAM_FILES},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    ForgetSampleInstalls();
    const std::string systemFolder = ShellFolder(c.csidl);
    const std::string other = systemFolder + "Other Program\\";
    ASSERT_TRUE(MakeFolders(other));
    ASSERT_TRUE(WriteTextFile(other + "keep.txt", "another program's file"));
    ASSERT_EQ(0, InstallPass("Private", "/S"));
    ASSERT_TRUE(PatchEditionIni(acmeFolder + "TollixSystemInfo.ini", {{"Folders", {{c.key, c.value}}}}));

    RecordingChannel channel;
    ASSERT_EQ(0, UninstallPass(acmeFolder, true));

    EXPECT_TRUE(PathExists(other + "keep.txt"));
    EXPECT_TRUE(channel.HasPrefix("Refusing to delete \"" + systemFolder + "\": "));
    EXPECT_TRUE(channel.Has("Failed!"));
    // The other steps ran: the product's folders, keys and entry are gone.
    EXPECT_FALSE(PathExists(acmeFolder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Acme\\Acme Toolbar\\3.8"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallRoot) + "Acme Toolbar"));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, "Software\\Nimbrel\\Tollix Runtime\\3.8", "UninstallDate"));
    if (c.csidl != CSIDL_COMMON_APPDATA) {
      EXPECT_FALSE(PathExists(ShellFolder(CSIDL_COMMON_APPDATA) + "Acme"));
    }
    if (c.csidl != CSIDL_PROGRAM_FILES) {
      EXPECT_FALSE(PathExists(runtimeFolder));
    }
    RemoveTree(other);
  }
}

// Key names the module answers must each name one key: "\" (read as nothing between two
// separators) or "Acme\.." is refused with a message naming it, and other programs' keys under
// HKCU\Software and HKLM\Software survive while the rest of the pass is done.
TEST_F(UninstallSequence, KeyNamesThatAreNotOneNameAreRefused) {
  const struct {
    const char* key;
    const char* value;
    const char* what;
    const char* canary;  // the key the joined path would reach without the check
  } cases[] = {
      {"Product", "\\", "product name", "Software\\Acme\\3.8\\Canary"},
      {"Vendor", "\\", "vendor name", "Software\\Acme Toolbar\\3.8\\Canary"},
      {"Vendor", "Acme\\..", "vendor name", "Software\\Acme\\Canary"},
      {"ProductVersionKey", "..", "product version key", "Software\\Acme\\Canary"},
      {"RuntimeKeyName", "\\", "runtime key name", "Software\\Nimbrel\\3.8\\Canary"},
      {"RuntimeVendorKey", "Acme\\..", "runtime vendor key", "Software\\Acme\\Canary"},
      {"RuntimeVersionKey", "\\", "runtime version key", "Software\\Nimbrel\\Tollix Runtime\\Canary"},
      // "CLSID\\" + "\\{...}" is another class's key, whose leaf keys the control's clean-up deletes.
      {"ActiveXClsid", "\\{0C0A1A2B-3C4D-4E5F-8A9B-0C1D2E3F4A5B}", "control class id",
       "Software\\Classes\\CLSID\\{0C0A1A2B-3C4D-4E5F-8A9B-0C1D2E3F4A5B}\\ProgID"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    ForgetSampleInstalls();
    ASSERT_EQ(0, InstallPass("Private", "/S"));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) ASSERT_TRUE(SetString(root, c.canary, "Owner", "other"));
    ASSERT_TRUE(PatchEditionIni(acmeFolder + "TollixSystemInfo.ini", {{"Edition", {{c.key, c.value}}}}));

    RecordingChannel channel;
    ASSERT_EQ(0, UninstallPass(acmeFolder, true));

    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) EXPECT_TRUE(ValueExists(root, c.canary, "Owner"));
    EXPECT_TRUE(channel.HasPrefix(std::string("Refusing the ") + c.what + " \"" + c.value + "\""));
    EXPECT_FALSE(PathExists(acmeFolder));
    EXPECT_FALSE(PathExists(runtimeFolder));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      DeleteKeyTree(root, "Software\\Acme Toolbar");
      DeleteKeyTree(root, "Software\\Classes\\CLSID\\{0C0A1A2B-3C4D-4E5F-8A9B-0C1D2E3F4A5B}");
    }
  }
  DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201}");
}
