// Install runs of the real program over the machine states an installer meets: nothing there,
// the same version, a newer version, an earlier version, another vendor's toolbar on an older
// runtime, the maker's earlier search bar, a system too old, another installer running.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "support/bench.h"
#include "support/edition.h"
#include "support/ui.h"

namespace {

const char kInstallerExe[] = "TollixInstaller.exe";
const char kAcmeKey[] = "Software\\Acme\\Acme Toolbar";
const char kRuntimeKey[] = "Software\\Nimbrel\\Tollix Runtime";
const char kToolbarListKey[] = "Software\\Nimbrel\\Toolbar Runtime";
const char kSearchBarKey[] = "Software\\Nimbrel\\NimbrelSearchBar";
const char kSearchBarV35Key[] = "Software\\Nimbrel\\NimbrelSearchBarV35";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kInternetExplorerKey[] = "Software\\Microsoft\\Internet Explorer";
const char kCancelled[] = "User cancelled the operation.";
const char kUnfinishedMark[] = "InstallUnfinished";

std::string ProgramFiles() { return ShellFolder(CSIDL_PROGRAM_FILES); }
std::string CommonAppData() { return ShellFolder(CSIDL_COMMON_APPDATA); }
std::string UserAppData() { return ShellFolder(CSIDL_APPDATA); }

// The other vendor's edition: its own names, class ids and private folders.
EditionValues BoltEdition() {
  return {{"Edition",
           {{"Vendor", "Bolt"},
            {"Product", "Bolt Toolbar"},
            {"ToolbarClsid", "{6A1D0E11-3C5B-4D7A-8E21-0B9C4F2A7D01}"},
            {"ActiveXClsid", "{6A1D0E12-3C5B-4D7A-8E21-0B9C4F2A7D01}"},
            {"BrowserHelperClsid", "{6A1D0E13-3C5B-4D7A-8E21-0B9C4F2A7D01}"},
            {"InstallId", "BOLT-0001"}}},
          {"Folders",
           {{"PrivateProgramFiles", "%ProgramFiles%\\Bolt\\Bolt Toolbar"},
            {"PrivateAllUsersData", "%CommonAppData%\\Bolt\\Bolt Toolbar"},
            {"PrivateUserData", "%AppData%\\Bolt\\Bolt Toolbar"}}}};
}

// Every state these runs leave, so each starts from a clean machine.
void CleanMachine() {
  for (const char* key : {"Software\\Nimbrel", "Software\\Acme", "Software\\Bolt"}) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
    DeleteKeyTree(HKEY_CURRENT_USER, key);
  }
  for (const char* entry :
       {"Acme Toolbar", "Bolt Toolbar", "Nimbrel Toolbar", "NimbrelSearchBar", "NimbrelSearchBarV35"})
    DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + entry);
  EditionValues editions[] = {SampleEditionValues(), BoltEdition()};
  for (EditionValues& edition : editions)
    for (const char* clsid : {"ToolbarClsid", "ActiveXClsid", "BrowserHelperClsid"})
      if (!edition["Edition"][clsid].empty()) DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\" + edition["Edition"][clsid]);
  for (const std::string& root : {ProgramFiles(), CommonAppData(), UserAppData()})
    for (const char* vendor : {"Acme", "Bolt", "Nimbrel"}) RemoveTree(root + vendor);
}

class InstallScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    CleanMachine();
    SetProgramWindowsVersion(kInstallerExe, "");
    // The program's diagnostics go to a log the test reads.
    m_log = m_scratch / "installer.log";
    SetString(HKEY_LOCAL_MACHINE, "Software\\Nimbrel", "ContentDebuggerDLL", DebuggerModulePath());
    SetString(HKEY_CURRENT_USER, "Software\\Nimbrel\\Content Debugger", "Tollix Installer", "1");
    SetString(HKEY_CURRENT_USER, "Software\\Nimbrel\\KLP Debugger", "LogFile", m_log);
    SetDword(HKEY_CURRENT_USER, "Software\\Nimbrel\\KLP Debugger", "Verbosity", 3);
    SampleJournalPath();
    ClearSampleJournal();
  }
  void TearDown() override {
    SetProgramWindowsVersion(kInstallerExe, "");
    CleanMachine();
  }

  // A copy of the sample package whose "Private" edition carries these values and runtime.
  std::string MakePackage(const std::string& name, const EditionValues& values = {},
                          const std::string& runtimeVersion = "") {
    const std::string folder = m_scratch / (name + "\\");
    EXPECT_TRUE(CopySamplePackage(folder));
    const std::string vendorFolder = folder + "Private\\Vendor\\ProgFiles\\";
    if (!values.empty()) {
      EXPECT_TRUE(PatchEditionIni(vendorFolder + "TollixSystemInfo.ini", values));
    }
    if (!runtimeVersion.empty()) {
      EXPECT_TRUE(SetModuleRuntimeVersion(vendorFolder + "TollixSystemInfo.dll", runtimeVersion));
    }
    return folder;
  }

  // Runs the package's installer from its folder, answering its boxes with OK; the Windows
  // exit code. The boxes it showed are in m_run.
  DWORD Install(const std::string& package, const std::string& args = "/S") {
    DeleteFileA(m_log.c_str());
    m_run = RunAnswering(package + kInstallerExe, args, package.c_str(), {});
    EXPECT_NE(0xFFFFFFFFu, m_run.exitCode) << "the installer did not start or did not end";
    return m_run.exitCode;
  }

  std::string Log() {
    std::string text;
    ReadTextFile(m_log, &text);
    return text;
  }
  bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }

  static DWORD Dword(const char* key, const char* name) {
    DWORD value = 0;
    ReadDword(HKEY_LOCAL_MACHINE, key, name, &value);
    return value;
  }

  ScratchFolder m_scratch;
  std::string m_log;
  AnsweredRun m_run;
};

TEST_F(InstallScenario, FirstInstallRunsTheVendorPassAndStampsTheSearchBar) {
  const std::string package = MakePackage("acme");
  EXPECT_EQ(0u, Install(package));
  EXPECT_FALSE(Logged(kCancelled)) << Log();
  EXPECT_TRUE(Logged("No previous runtime was detected so we'll skip trying to uninstall anything."));
  EXPECT_FALSE(Logged("Preparing for an upgrade of our toolbar if needed ..."));
  EXPECT_EQ(0x03080105u, Dword(kAcmeKey, "Version"));
  EXPECT_TRUE(PathExists(ProgramFiles() + "Acme\\Acme Toolbar\\Uninstaller.exe"));
  EXPECT_TRUE(PathExists(ProgramFiles() + "Nimbrel\\Tollix Runtime\\IETollix.dll"));
  EXPECT_EQ(0x030501FFu, Dword(kSearchBarKey, "Version"));
  EXPECT_EQ(0x030501FFu, Dword(kSearchBarV35Key, "Version"));
}

TEST_F(InstallScenario, SameVersionAgainPutsBackMissingFolders) {
  const std::string package = MakePackage("acme");
  ASSERT_EQ(0u, Install(package));
  ASSERT_TRUE(RemoveTree(ProgramFiles() + "Acme\\Acme Toolbar\\"));
  EXPECT_EQ(0u, Install(package));
  EXPECT_TRUE(Logged("No need to upgrade since product versions are the same50856197 already installed.")) << Log();
  EXPECT_TRUE(Logged(kCancelled));
  EXPECT_TRUE(PathExists(ProgramFiles() + "Acme\\Acme Toolbar\\TollixSystemInfo.dll"));
}

// A run ended midway leaves its version's records with the unfinished mark: that version is
// then installed again in full instead of being taken for an install that finished.
TEST_F(InstallScenario, SameVersionOverAnUnfinishedInstallRunsTheWholeSequenceAgain) {
  const std::string package = MakePackage("acme");
  const std::string entryKey = std::string(kUninstallKey) + "Acme Toolbar";
  ASSERT_EQ(0u, Install(package));
  DWORD mark = 0;
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, kAcmeKey, kUnfinishedMark, &mark)) << "a finished run keeps its mark";
  // What a run ended after its registry records leaves: the mark, and no entry yet.
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kAcmeKey, kUnfinishedMark, 0x03080105));
  DeleteKeyTree(HKEY_LOCAL_MACHINE, entryKey);

  EXPECT_EQ(0u, Install(package));
  EXPECT_TRUE(Logged("The install of version 50856197 did not finish; installing it again.")) << Log();
  EXPECT_FALSE(Logged(kCancelled));
  EXPECT_TRUE(Logged("Installed Add/Remove Programs entry."));
  std::string command;
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, entryKey, "UninstallString", &command));
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, kAcmeKey, kUnfinishedMark, &mark)) << "the finished run keeps the mark";
}

TEST_F(InstallScenario, OlderOverNewerIsRefused) {
  ASSERT_EQ(0u, Install(MakePackage("acme")));
  const std::string older = MakePackage("older", {{"Edition", {{"ProductVersion", "3.8.1.4"}}}});
  ASSERT_TRUE(WriteTextFile(ProgramFiles() + "Acme\\Acme Toolbar\\marker.txt", "kept"));
  struct Case {
    const char* args;
    bool box;
  } cases[] = {{"", true}, {"/S", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(0u, Install(older, c.args));
    ASSERT_EQ(c.box ? 1u : 0u, m_run.dialogs.size());
    if (c.box) {
      EXPECT_EQ("Latest Version Already Exists ", m_run.dialogs[0].title);
      EXPECT_EQ("Cannot Install older version of Toolbar on top of newer version", m_run.dialogs[0].text);
    }
    EXPECT_TRUE(Logged("Aborting upgrade preparation, version 50856197 already installed.")) << Log();
    EXPECT_TRUE(Logged(kCancelled));
    EXPECT_EQ(0x03080105u, Dword(kAcmeKey, "Version"));
    EXPECT_TRUE(PathExists(ProgramFiles() + "Acme\\Acme Toolbar\\marker.txt"));
  }
}

TEST_F(InstallScenario, EarlierVersionOfTheSameToolbarIsUninstalledKeepingUserData) {
  ASSERT_EQ(0u, Install(MakePackage("old", {{"Edition", {{"ProductVersion", "3.8.1.4"}}}}, "3.8.1.0")));
  ASSERT_EQ(0x03080104u, Dword(kAcmeKey, "Version"));
  const std::string userData = UserAppData() + "Acme\\Acme Toolbar\\";
  ASSERT_TRUE(MakeFolders(userData));
  ASSERT_TRUE(WriteTextFile(userData + "GeneralOptions.ini", "[Options]\r\n"));
  ClearSampleJournal();

  EXPECT_EQ(0u, Install(MakePackage("new", {}, "3.8.2.0")));
  const std::string log = Log();
  EXPECT_TRUE(
      Logged("The prevous system info dll path is: " + ProgramFiles() + "Acme\\Acme Toolbar\\TollixSystemInfo.dll"))
      << log;
  EXPECT_FALSE(Logged("Failed to remove the previous version of the toolbar."));
  EXPECT_FALSE(Logged("Sending ping"));
  EXPECT_FALSE(Logged(kCancelled));
  EXPECT_EQ(0x03080105u, Dword(kAcmeKey, "Version"));
  EXPECT_EQ(0x03080200u, Dword(kRuntimeKey, "Version"));
  EXPECT_TRUE(PathExists(userData + "GeneralOptions.ini"));
  // The old toolbar was unregistered before the new one registered.
  const std::vector<std::string> journal = ReadSampleJournal();
  int unregister = -1, reregister = -1;
  for (int i = 0; i < static_cast<int>(journal.size()); ++i) {
    if (journal[i].rfind("Tollix.dll\tDoUnregister\t", 0) == 0 && unregister < 0) unregister = i;
    if (journal[i].rfind("Tollix.dll\tDoRegister\t", 0) == 0) reregister = i;
  }
  EXPECT_GE(unregister, 0);
  EXPECT_GT(reregister, unregister);
}

// An edition whose own set-up keeps its entry on the runtime's list: upgrading the product keeps
// it listed, so its later complete uninstallation still finds itself the runtime's last toolbar.
TEST_F(InstallScenario, UpgradeKeepsTheProductOnTheRuntimeListUntilItIsUninstalled) {
  const EditionValues listsItselfNot = {{"Sample", {{"ListsItself", "0"}}}};
  EditionValues old = listsItselfNot;
  old["Edition"]["ProductVersion"] = "3.8.1.4";
  ASSERT_EQ(0u, Install(MakePackage("old", old)));
  const std::string product = ProgramFiles() + "Acme\\Acme Toolbar\\";
  ASSERT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kToolbarListKey, "Acme Toolbar")) << "the module listed itself";
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kToolbarListKey, "Acme Toolbar", product + "TollixSystemInfo.dll"));

  ASSERT_EQ(0u, Install(MakePackage("new", listsItselfNot)));
  ASSERT_EQ(0x03080105u, Dword(kAcmeKey, "Version"));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kToolbarListKey, "Acme Toolbar"));

  // Without ids the uninstall sends no ping.
  ASSERT_TRUE(PatchEditionIni(product + "TollixSystemInfo.ini", {{"Edition", {{"InstallId", kRemoveEditionValue}}}}));
  const AnsweredRun uninstall =
      RunAnswering(product + "Uninstaller.exe", "/u /k", product.c_str(), {{"Toolbar Uninstallation", {1019, IDOK}}});
  EXPECT_EQ(0u, uninstall.exitCode);
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kToolbarListKey, "Acme Toolbar"));
  EXPECT_FALSE(PathExists(ProgramFiles() + "Nimbrel\\Tollix Runtime\\")) << "the runtime was taken for shared";
}

TEST_F(InstallScenario, OtherVendorsToolbarIsPreparedForTheNewRuntime) {
  const std::string bolt = MakePackage("bolt", BoltEdition(), "3.8.0.0");
  // The other vendor's own uninstaller, told apart from this package's.
  ASSERT_TRUE(WriteTextFile(bolt + "Private\\Vendor\\ProgFiles\\Uninstaller.exe", "old uninstaller"));
  ASSERT_EQ(0u, Install(bolt));
  const std::string boltFolder = ProgramFiles() + "Bolt\\Bolt Toolbar\\";
  ASSERT_EQ(0x03080000u, Dword(kRuntimeKey, "Version"));
  ASSERT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kToolbarListKey, "Bolt Toolbar"));
  ClearSampleJournal();

  const std::string acme = MakePackage("acme");
  EXPECT_EQ(0u, Install(acme));
  for (const char* error :
       {"Failed to replace the uninstaller.", "Failed to remove the previous version of the toolbar.",
        "Failed to change the runtime version in", "Failed to load"})
    EXPECT_FALSE(Logged(error)) << Log();
  std::string uninstaller, packaged;
  ASSERT_TRUE(ReadTextFile(boltFolder + "Uninstaller.exe", &uninstaller));
  ASSERT_TRUE(ReadTextFile(acme + "Private\\Vendor\\ProgFiles\\Uninstaller.exe", &packaged));
  EXPECT_TRUE(uninstaller == packaged) << "the other toolbar's uninstaller was not replaced";
  std::string runtimeVersion;
  EXPECT_TRUE(ReadModuleString(boltFolder + "TollixSystemInfo.dll", 10002, &runtimeVersion));
  EXPECT_EQ("3.8.0.29", runtimeVersion);
  // Its product stays; its toolbar registered again with its own SystemInfo after the install.
  EXPECT_EQ(0x03080105u, Dword("Software\\Bolt\\Bolt Toolbar", "Version"));
  EXPECT_TRUE(PathExists(boltFolder + "TollixSystemInfo.dll"));
  const std::vector<std::string> journal = ReadSampleJournal();
  int acmeRegister = -1, boltReregister = -1;
  for (int i = 0; i < static_cast<int>(journal.size()); ++i) {
    if (journal[i] == "Tollix.dll\tDoRegister\tAcme\tAcme Toolbar") acmeRegister = i;
    if (journal[i] == "IETollix.dll\tDoRegister\tBolt\tBolt Toolbar") boltReregister = i;
  }
  EXPECT_GE(acmeRegister, 0);
  EXPECT_GT(boltReregister, acmeRegister);
}

TEST_F(InstallScenario, MakersEarlierSearchBarIsRemoved) {
  const std::string programFolder = m_scratch / "NimbrelSearchBar\\";
  ASSERT_TRUE(MakeFolders(programFolder));
  ASSERT_TRUE(WriteTextFile(programFolder + "SearchBar.dll", "x"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "", programFolder));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "Version", 0x03050100));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kSearchBarV35Key) + "\\BasePaths", "Data", "x"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBarV35", "DisplayName", "x"));
  const std::string data = CommonAppData() + "Nimbrel\\TollixV35\\";
  ASSERT_TRUE(MakeFolders(data));
  ASSERT_TRUE(WriteTextFile(data + "cache.xml", "x"));
  // An earlier runtime of the search bar's time is on the machine.
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRuntimeKey, "Version", 0x03050000));

  EXPECT_EQ(0u, Install(MakePackage("nimbrel", {{"Edition", {{"Vendor", "nimbrel"}}}})));
  EXPECT_TRUE(Logged("Attempting to remove a previous Nimbrel version of the toolbar.")) << Log();
  EXPECT_FALSE(PathExists(programFolder));
  EXPECT_FALSE(PathExists(data));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kSearchBarV35Key) + "\\BasePaths"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "NimbrelSearchBarV35"));
  std::string folderValue;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSearchBarV35Key, "", &folderValue)) << folderValue;
  EXPECT_EQ(0x030501FFu, Dword(kSearchBarV35Key, "Version"));
  EXPECT_EQ(0x03080105u, Dword("Software\\nimbrel\\Acme Toolbar", "Version"));
}

TEST_F(InstallScenario, OldSystemsAreRefused) {
  std::string savedIe;
  const bool hadIe = ReadString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", &savedIe);
  const std::string package = MakePackage("acme");
  struct Case {
    const char* windows;
    const char* internetExplorer;
  } cases[] = {{"win98", "6.0"}, {"nt40", "6.0"}, {"win2k", "5.5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windows);
    SetProgramWindowsVersion(kInstallerExe, c.windows);
    SetString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", c.internetExplorer);
    EXPECT_EQ(1u, Install(package));
    // The box was shown with this text and closed by the answer (the run ended).
    ASSERT_EQ(1u, m_run.dialogs.size());
    EXPECT_EQ("Insufficient requirements", m_run.dialogs[0].title);
    EXPECT_EQ(
        "Unable to install this toolbar because you fail to meet minimum requirements. Toolbar will install only on "
        "Operating Systems with 2K or higher, and IE versions with 6.0 and higher.",
        m_run.dialogs[0].text);
    EXPECT_TRUE(Logged("System failed the minimum system requirements check.")) << Log();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAcmeKey));
  }
  if (hadIe) SetString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", savedIe);
}

TEST_F(InstallScenario, SecondInstallerEndsAtOnce) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "TollixInstaller");
  ASSERT_NE(nullptr, mutex);
  EXPECT_EQ(0u, Install(MakePackage("acme")));
  EXPECT_TRUE(Logged("There is already an installer/uninstaller running. Exiting.")) << Log();
  EXPECT_TRUE(Logged(kCancelled));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAcmeKey));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

}  // namespace
