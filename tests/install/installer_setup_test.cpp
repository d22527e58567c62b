// The install steps on an Installer that loaded the sample edition's real module from a copy
// of the sample package: set-up, folder deployment, registry records, skin selection and
// component registration, with the real files, registry and module journal.
#include "install/installer.h"
#include "sys/runtime_toolbar_list.h"

#include <direct.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bench.h"
#include "support/edition.h"
#include "support/recording_channel.h"
#include "support/ui.h"

namespace {

const char kVendorKey[] = "Software\\TollixTestVendor";
const char kPrivateKey[] = "Software\\TollixTestVendor\\Setup Toolbar";
const char kRuntimeRoot[] = "Software\\TollixTestRuntime";
const char kRuntimeKey[] = "Software\\TollixTestRuntime\\Runtime";
const char kRuntimeVersionedKey[] = "Software\\TollixTestRuntime\\Runtime\\3.8";
const char kToolbarClsid[] = "{5E3B1C71-2A4D-4C8E-9B16-7D0F3A61C2FF}";
const char kBhoClsid[] = "{5E3B1C73-2A4D-4C8E-9B16-7D0F3A61C2FF}";

// A copy of the sample package whose "Private" edition installs into the scratch folder, with
// the current folder set to "Private" as the install driver does.
class InstallerSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    CleanRegistry();
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    m_previousFolder = previous;
    ASSERT_TRUE(CopySamplePackage(m_scratch / "package"));
    m_private = m_scratch / "package\\Private\\";
    m_module = m_private + "Vendor\\ProgFiles\\TollixSystemInfo.dll";
    m_ini = m_private + "Vendor\\ProgFiles\\TollixSystemInfo.ini";
    EditionValues values = SampleEditionValues();
    values["Edition"]["Vendor"] = "TollixTestVendor";
    values["Edition"]["Product"] = "Setup Toolbar";
    values["Edition"]["RuntimeVendorKey"] = "TollixTestRuntime";
    values["Edition"]["RuntimeKeyName"] = "Runtime";
    values["Edition"]["RuntimeVersionKey"] = "3.8";
    values["Edition"]["ToolbarClsid"] = kToolbarClsid;
    values["Edition"]["BrowserHelperClsid"] = kBhoClsid;
    values["Folders"]["RuntimeProgramFiles"] = m_scratch / "pf\\Runtime";
    values["Folders"]["PrivateProgramFiles"] = m_scratch / "pf\\Vendor";
    values["Folders"]["RuntimeAllUsersData"] = m_scratch / "data\\Runtime";
    values["Folders"]["PrivateAllUsersData"] = m_scratch / "data\\Vendor";
    values["Folders"]["RuntimeUserData"] = m_scratch / "user\\Runtime";
    values["Folders"]["PrivateUserData"] = m_scratch / "user\\Vendor";
    ASSERT_TRUE(WriteEditionIni(m_ini, values));
    ASSERT_TRUE(SetCurrentDirectoryA(m_private.c_str()));
    ClearSampleJournal();
  }
  void TearDown() override {
    SetCurrentDirectoryA(m_previousFolder.c_str());
    CleanRegistry();
  }
  static void CleanRegistry() {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kVendorKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kRuntimeRoot);
    DeleteKeyTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kToolbarClsid);
    DeleteKeyTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kBhoClsid);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarRuntimeListKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "Setup Toolbar");
      RegCloseKey(key);
    }
  }

  ScratchFolder m_scratch;
  std::string m_previousFolder;
  std::string m_private;
  std::string m_module;
  std::string m_ini;
};

TEST_F(InstallerSteps, InitializeReadsTheEditionOptionsAndInstalledVersions) {
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRuntimeKey, "Version", 0x03060000));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kPrivateKey, "Version", 0x03070001));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kPrivateKey, "InstallID", "OLD-ID"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kPrivateKey, "TollixID", "TOLLIX-7"));
  RecordingChannel channel;
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S /i MYID /sk ThemesV3\\Blue\\Blue.skin /personalization"));
  EXPECT_STREQ("TollixTestVendor", installer.m_vendor.Text());
  EXPECT_EQ(0x03080100u, installer.m_runtimeVersion);
  EXPECT_EQ(0x03080105u, installer.m_productVersion);
  EXPECT_EQ(0x03060000u, installer.m_previousRuntimeVersion);
  EXPECT_EQ(0x03070001u, installer.m_previousProductVersion);
  EXPECT_STREQ("OLD-ID", installer.m_previousInstallId.Text());
  EXPECT_STREQ("TOLLIX-7", installer.m_previousTollixId.Text());
  EXPECT_STREQ("MYID", installer.m_installId.Text());
  EXPECT_STREQ("Default_BarType", installer.m_barType.Text());
  EXPECT_STREQ("ThemesV3\\Blue\\Blue.skin", installer.m_skin.Text());
  EXPECT_TRUE(installer.m_usePersonalization);
  EXPECT_FALSE(installer.m_noAutoplay);
  EXPECT_TRUE(installer.m_silent);
  EXPECT_FALSE(installer.m_snaporaBranded);
  EXPECT_TRUE(channel.Has(kLogInfo, "Initializing using " + m_module));
  EXPECT_TRUE(channel.Has(kLogInfo, "--- InstallID: MYID"));
  EXPECT_TRUE(channel.Has(kLogInfo, "--- Runtime Version: " + std::to_string(0x03080100u)));
  EXPECT_TRUE(channel.Has(kLogInfo, "--- Previous Product Version: " + std::to_string(0x03070001u)));
  EXPECT_TRUE(channel.Has(kLogDetail, "Caching any previous TollixID ..."));

  // "/fi" leaves the previous install id out but still reads the toolbar id.
  Installer fresh;
  ASSERT_EQ(0, fresh.Initialize(m_module.c_str(), "/S /fi"));
  EXPECT_STREQ("", fresh.m_previousInstallId.Text());
  EXPECT_STREQ("TOLLIX-7", fresh.m_previousTollixId.Text());
  EXPECT_STREQ("Default_InstallID", fresh.m_installId.Text());
}

TEST_F(InstallerSteps, BrokenSystemInfoModulesFailInitialize) {
  struct Case {
    const char* name;
    std::string module;
    const char* message;
  };
  const Case cases[] = {
      {"missing file", m_private + "Vendor\\ProgFiles\\Missing.dll", nullptr},
      {"no factory export", m_private + "Vendor\\ProgFiles\\TollixBHO.dll",
       "Failed to obtain the system info module entry point."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingChannel channel;
    Installer installer;
    EXPECT_EQ(-1, installer.Initialize(c.module.c_str(), "/S"));
    std::string expected = c.message ? c.message : "Failed to load system info module " + c.module;
    EXPECT_TRUE(channel.Has(kLogError, expected));
  }
  {
    EditionValues failing;
    failing["Sample"]["FactoryStatus"] = "-5";
    ASSERT_TRUE(PatchEditionIni(m_ini, failing));
    RecordingChannel channel;
    Installer installer;
    EXPECT_EQ(-1, installer.Initialize(m_module.c_str(), "/S"));
    EXPECT_TRUE(channel.Has(kLogError, "Failed to obtain the system info object."));
    EXPECT_EQ(nullptr, installer.m_systemInfo);
  }
  // An edition whose every query fails: the first failing query's status ends set-up.
  ASSERT_TRUE(WriteEditionIni(m_ini, EditionValues()));
  Installer installer;
  EXPECT_LT(installer.Initialize(m_module.c_str(), "/S"), 0);
}

TEST_F(InstallerSteps, ArvoUpgradeFromBefore1_0_0_74IsRefusedWithABox) {
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kPrivateKey, "Version", 0x01000049));
  DialogAnswerer answer(ThisProcess(), "Unsupported Upgrade.", {IDOK});
  Installer installer;
  EXPECT_EQ(-1, installer.Initialize(m_module.c_str(), "/S /i ARVO_TheARVO_1_0_0_x"));
  EXPECT_TRUE(answer.Answered());
  EXPECT_EQ("Please uninstall the previous Arvo toolbar, then run this installer again.", answer.Text());

  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kPrivateKey, "Version", 0x0100004A));
  Installer newer;
  EXPECT_EQ(0, newer.Initialize(m_module.c_str(), "/S /i ARVO_TheARVO_1_0_0_x"));
}

TEST_F(InstallerSteps, CopiesRecordsAndRegistersTheEdition) {
  RecordingChannel channel;
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S /bt BT1"));
  EXPECT_EQ(0, installer.CopyRuntimeAllUsersData());
  EXPECT_EQ(0, installer.CopyRuntimeProgramFiles());
  EXPECT_EQ(0, installer.InstallPrivateAllUsersData());
  EXPECT_EQ(0, installer.CopyPrivateProgramFiles());
  EXPECT_TRUE(PathExists(m_scratch / "pf\\Runtime\\Tollix.dll"));
  EXPECT_TRUE(PathExists(m_scratch / "pf\\Vendor\\TollixSystemInfo.dll"));
  EXPECT_TRUE(PathExists(m_scratch / "data\\Vendor\\ThemesV3\\Blue\\Blue.skin"));
  EXPECT_TRUE(PathExists(m_scratch / "data\\Runtime\\Lang\\en-US.txt"));
  EXPECT_FALSE(PathExists(m_scratch / "data\\Vendor\\DeviceConnect.xml"));

  EXPECT_EQ(0, installer.WriteRuntimeRegistryRecords());
  EXPECT_EQ(0, installer.WritePrivateRegistryRecords());
  DWORD value = 0;
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kRuntimeKey, "Version", &value));
  EXPECT_EQ(0x03080100u, value);
  DWORD installDate = 0;
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kRuntimeVersionedKey, "InstallDate", &installDate));
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kPrivateKey, "Version", &value));
  EXPECT_EQ(0x03080105u, value);
  std::string text;
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kPrivateKey, "", &text));
  EXPECT_EQ(m_scratch / "pf\\Vendor\\", text);
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kPrivateKey, "BarType", &text));
  EXPECT_EQ("BT1", text);
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kPrivateKey, "InstallID", &text));
  EXPECT_EQ("Default_InstallID", text);
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kPrivateKey, "Updated"));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kPrivateKey, "TollixID"));

  EXPECT_EQ(0, installer.SelectSkin());
  std::string options;
  EXPECT_TRUE(ReadTextFile(m_scratch / "user\\Vendor\\GeneralOptions.ini", &options));
  EXPECT_NE(std::string::npos, options.find("Path=" + (m_scratch / "data\\Vendor\\ThemesV3\\Default\\Default.skin")));

  // An installed runtime newer than the package's goes into the copied module first.
  installer.m_previousRuntimeVersion = 0x03090002;
  ClearSampleJournal();
  channel.Clear();
  EXPECT_EQ(0, installer.RegisterComponents());
  std::string version;
  EXPECT_TRUE(ReadModuleString(m_scratch / "pf\\Vendor\\TollixSystemInfo.dll", 10002, &version));
  EXPECT_EQ("3.9.0.2", version);
  std::vector<std::wstring> before;
  std::vector<std::wstring> after;
  EXPECT_TRUE(ReadVersionBlock(m_module, &before));
  EXPECT_TRUE(ReadVersionBlock(m_scratch / "pf\\Vendor\\TollixSystemInfo.dll", &after));
  ASSERT_EQ(16u, after.size());
  for (int i = 0; i < 16; ++i) {
    if (i == 2) continue;
    EXPECT_EQ(before[i], after[i]) << i;
  }
  HMODULE loaded =
      LoadLibraryExA((m_scratch / "pf\\Vendor\\TollixSystemInfo.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, loaded);
  char buffer[64] = {};
  EXPECT_GT(LoadStringA(loaded, 10002, buffer, sizeof buffer), 0);
  EXPECT_STREQ("3.9.0.2", buffer);
  FreeLibrary(loaded);

  std::vector<std::string> journal = ReadSampleJournal();
  std::vector<std::string> expected = {
      "TollixSystemInfo.dll\tDllRegisterServer",
      "Tollix.dll\tDoRegister\tTollixTestVendor\tSetup Toolbar",
      "IETollix.dll\tDoRegister\tTollixTestVendor\tSetup Toolbar",
      "TollixBHO.dll\tDllRegisterServer",
  };
  ASSERT_GE(journal.size(), expected.size());
  size_t at = 0;
  for (const std::string& line : journal) {
    if (at < expected.size() && line.compare(0, expected[at].size(), expected[at]) == 0) ++at;
    EXPECT_EQ(std::string::npos, line.find("TollixProfileExt")) << line;
  }
  EXPECT_EQ(expected.size(), at) << "registration order";
  EXPECT_TRUE(channel.Has(kLogInfo, "Registering toolbar using " + (m_scratch / "pf\\Runtime\\Tollix.dll")));
  EXPECT_TRUE(channel.Has(kLogInfo, "Call of toolbar DoRegister returned 0"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kBhoClsid + "\\InProcServer32"));
}

TEST_F(InstallerSteps, MissingPackageFoldersAndOverlongDestinationsAreRefused) {
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S"));
  ASSERT_TRUE(RemoveTree(m_private + "Runtime\\ProgFiles"));
  RecordingChannel channel;
  EXPECT_EQ(1, installer.CopyRuntimeProgramFiles());
  EXPECT_TRUE(channel.Has(kLogInfo, "No runtime program files found to install."));
  EXPECT_FALSE(PathExists(m_scratch / "pf\\Runtime"));

  // A destination text of 259 characters must not be cut into another folder.
  std::string longFolder = m_scratch.Path() + std::string(259 - m_scratch.Path().size() - 1, 'd') + "\\";
  ASSERT_EQ(259u, longFolder.size());
  EXPECT_NE(0, FolderCopy("Vendor\\ProgFiles", longFolder.c_str()));
  EXPECT_EQ(0, FolderCopy("Vendor\\ProgFiles", (m_scratch / "ok\\").c_str()));
  EXPECT_TRUE(PathExists(m_scratch / "ok\\TollixBHO.dll"));
}

TEST_F(InstallerSteps, ACopyOverAFileInUseFails) {
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S"));
  ASSERT_TRUE(MakeFolders(m_scratch / "pf\\Vendor"));
  ASSERT_TRUE(WriteTextFile(m_scratch / "pf\\Vendor\\TollixBHO.dll", "old"));
  HANDLE busy = CreateFileA((m_scratch / "pf\\Vendor\\TollixBHO.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, busy);
  RecordingChannel channel;
  EXPECT_EQ(-1, installer.CopyPrivateProgramFiles());
  CloseHandle(busy);
  EXPECT_TRUE(channel.Has(kLogError, "Failed to copy private program files folder from the system info module."));
}

TEST_F(InstallerSteps, AModuleWithoutTheVersionBlockIsNotRegistered) {
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S"));
  ASSERT_EQ(0, installer.CopyRuntimeProgramFiles());
  ASSERT_EQ(0, installer.CopyPrivateProgramFiles());
  std::string copied = m_scratch / "pf\\Vendor\\TollixSystemInfo.dll";
  ASSERT_TRUE(RemoveVersionBlock(copied));
  installer.m_previousRuntimeVersion = 0x03090000;
  ClearSampleJournal();
  RecordingChannel channel;
  EXPECT_EQ(-1, installer.RegisterComponents());
  EXPECT_TRUE(channel.Has(kLogError, "Failed to change the runtime version in" + copied));
  EXPECT_TRUE(ReadSampleJournal().empty());
}

TEST_F(InstallerSteps, PreviousSkinFromAMalformedOrMissingOptionsFile) {
  struct Case {
    const char* name;
    const char* content;  // null: no file
    const char* previous;
  };
  const Case cases[] = {
      {"missing", nullptr, ""},
      {"empty", "", ""},
      {"malformed", "garbage [[[\nPath=\\ThemesV3\\X.skin\n[Skin\n", ""},
      {"no ThemesV3 element", "[Skin]\nPath=C:\\Skins\\Blue\\Blue.skin\n", ""},
      {"skin below ThemesV3", "[Skin]\nPath=D:\\Old\\ThemesV3\\Blue\\Blue.skin\n", "ThemesV3\\Blue\\Blue.skin"},
  };
  std::string file = m_scratch / "user\\Vendor\\\\Nimbrel\\TollixV35\\GeneralOptions.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(m_scratch / "user");
    if (c.content) {
      ASSERT_TRUE(MakeFolders(m_scratch / "user\\Vendor\\Nimbrel\\TollixV35"));
      ASSERT_TRUE(WriteTextFile(file, c.content));
    }
    Installer installer;
    ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S"));
    EXPECT_STREQ(c.previous, installer.m_previousSkin.Text());
  }
}

TEST_F(InstallerSteps, UpgradeRecordsKeepIdentityAndClearUninstallDates) {
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kPrivateKey, "Version", 0x03070000));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kPrivateKey, "InstallID", "OLD-ID"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kPrivateKey, "TollixID", "TOLLIX-7"));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kPrivateKey, "UninstallDate", 5));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kRuntimeVersionedKey, "UninstallDate", 5));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kPrivateKey, "SnaporaBranded", 9));
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S /i NEW-ID"));
  installer.m_skin.Clear();
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kPrivateKey, "DefaultTheme", "kept"));
  EXPECT_EQ(0, installer.WriteRuntimeRegistryRecords());
  EXPECT_EQ(0, installer.WritePrivateRegistryRecords());
  DWORD installed = 0;
  DWORD updated = 1;
  DWORD branded = 0;
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kPrivateKey, "InstallDate", &installed));
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kPrivateKey, "Updated", &updated));
  EXPECT_EQ(installed, updated);
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kPrivateKey, "UninstallDate"));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRuntimeVersionedKey, "UninstallDate"));
  std::string text;
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kPrivateKey, "InstallID", &text));
  EXPECT_EQ("OLD-ID", text);
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kPrivateKey, "TollixID", &text));
  EXPECT_EQ("TOLLIX-7", text);
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kPrivateKey, "DefaultTheme", &text));
  EXPECT_EQ("kept", text);
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kPrivateKey, "SnaporaBranded", &branded));
  EXPECT_EQ(9u, branded);
}

TEST_F(InstallerSteps, SelectSkinKeepsAnExistingPreviousSkinUnlessForced) {
  ASSERT_TRUE(MakeFolders(m_scratch / "user\\Vendor\\Nimbrel\\TollixV35"));
  ASSERT_TRUE(WriteTextFile(m_scratch / "user\\Vendor\\Nimbrel\\TollixV35\\GeneralOptions.ini",
                            "[Skin]\nPath=D:\\Old\\ThemesV3\\Blue\\Blue.skin\n"));
  struct Case {
    const char* arguments;
    const char* shownBefore;
    const char* skin;
    const char* shownAfter;
  };
  const Case cases[] = {
      {"/S", "1", "ThemesV3\\Blue\\Blue.skin", "1"},
      {"/S /fs", nullptr, "ThemesV3\\Default\\Default.skin", nullptr},
      {"/S /i ARVO_TheARVO_1_0_0", "1", "ThemesV3\\Blue\\Blue.skin", "-1"},
      {"/S /i ARVO_TheARVO_1_0_0", "0", "ThemesV3\\Blue\\Blue.skin", "0"},
  };
  std::string options = m_scratch / "user\\Vendor\\GeneralOptions.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    Installer installer;
    ASSERT_EQ(0, installer.Initialize(m_module.c_str(), c.arguments));
    ASSERT_EQ(0, installer.InstallPrivateAllUsersData());
    DeleteFileA(options.c_str());
    if (c.shownBefore) WritePrivateProfileStringA("BHO", "Shown", c.shownBefore, options.c_str());
    RecordingChannel channel;
    EXPECT_EQ(0, installer.SelectSkin());
    std::string selected = m_scratch / "data\\Vendor\\" + c.skin;
    EXPECT_TRUE(channel.Has(kLogInfo, "Selecting skin: " + selected));
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("Skin", "Path", "", value, sizeof value, options.c_str());
    EXPECT_EQ(selected, value);
    GetPrivateProfileStringA("BHO", "Shown", "", value, sizeof value, options.c_str());
    EXPECT_STREQ(c.shownAfter ? c.shownAfter : "", value);
  }
}

TEST_F(InstallerSteps, SameVersionReinstallCopiesOnlyMissingFolders) {
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S"));
  installer.m_previousProductVersion = installer.m_productVersion + 1;
  RecordingChannel channel;
  EXPECT_EQ(-1, installer.InstallMissingFolders());
  EXPECT_TRUE(channel.Messages().empty());

  installer.m_previousProductVersion = installer.m_productVersion;
  ASSERT_EQ(0, installer.CopyRuntimeProgramFiles());
  ASSERT_EQ(0, installer.CopyPrivateAllUsersData());
  channel.Clear();
  EXPECT_EQ(0, installer.InstallMissingFolders());
  EXPECT_TRUE(channel.Has(kLogInfo, "Private Prog Files needed to install!"));
  EXPECT_TRUE(channel.Has(kLogInfo, "Runtime Prog files not needed to install!"));
  EXPECT_TRUE(channel.Has(kLogInfo, "All User files not needed to install!"));
  EXPECT_TRUE(PathExists(m_scratch / "pf\\Vendor\\TollixBHO.dll"));
}

TEST_F(InstallerSteps, MakerEditionCarriesTheV35SelectorDatabaseOver) {
  char appData[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
  std::string oldRoot = std::string(appData) + "\\Nimbrel\\";
  RemoveTree(oldRoot + "TollixV35");
  RemoveTree(oldRoot + "Tollix");
  ASSERT_TRUE(MakeFolders(oldRoot + "TollixV35"));
  ASSERT_TRUE(MakeFolders(oldRoot + "Tollix"));
  ASSERT_TRUE(WriteTextFile(oldRoot + "TollixV35\\Selectors.dat", "v35 selectors"));
  ASSERT_TRUE(WriteTextFile(oldRoot + "Tollix\\Selectors.dat", "old selectors"));
  ASSERT_TRUE(MakeFolders(m_scratch / "user\\Vendor"));
  ASSERT_TRUE(WriteTextFile(m_scratch / "user\\Vendor\\Selectors_Blue.dat", "replaced"));
  EditionValues values;
  values["Edition"]["Vendor"] = "NIMBREL";
  ASSERT_TRUE(PatchEditionIni(m_ini, values));

  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S /sk ThemesV3\\Blue\\Blue.skin"));
  RecordingChannel channel;
  EXPECT_EQ(0, installer.InstallPrivateAllUsersData());
  EXPECT_TRUE(channel.Has(kLogInfo, "Found old installation of Tollix"));
  std::string copied;
  EXPECT_TRUE(ReadTextFile(m_scratch / "user\\Vendor\\Selectors_Blue.dat", &copied));
  EXPECT_EQ("v35 selectors", copied);

  // The database folder without its file only logs; the status stays 0.
  ASSERT_TRUE(DeleteFileA((oldRoot + "TollixV35\\Selectors.dat").c_str()));
  channel.Clear();
  EXPECT_EQ(0, installer.InstallPrivateAllUsersData());
  EXPECT_TRUE(channel.Has(kLogError, "Old tollix database directory exists but Selectors.dat file is missing"));
  RemoveTree(oldRoot + "TollixV35");
  RemoveTree(oldRoot + "Tollix");
  DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\NIMBREL\\Setup Toolbar");
}

TEST_F(InstallerSteps, SnaporaBrandedInstallNeedsTheSnaporaPackageFolder) {
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S"));
  installer.m_snaporaBranded = true;
  EXPECT_EQ(0, installer.InstallPrivateAllUsersData());
  EXPECT_TRUE(PathExists(m_scratch / "data\\Vendor\\DeviceConnect.xml"));
  ASSERT_TRUE(RemoveTree(m_private + "Snapora"));
  RecordingChannel channel;
  EXPECT_EQ(-1, installer.InstallPrivateAllUsersData());
  EXPECT_TRUE(channel.Has(kLogError, "Failed to copy the snapora all users data folder."));
}

TEST_F(InstallerSteps, TheToolbarGetsANullObjectWhenTheNewModuleCannotMakeOne) {
  Installer installer;
  ASSERT_EQ(0, installer.Initialize(m_module.c_str(), "/S /personalization"));
  ASSERT_EQ(0, installer.CopyRuntimeProgramFiles());
  ASSERT_EQ(0, installer.CopyPrivateProgramFiles());
  EditionValues failing;
  failing["Sample"]["FactoryStatus"] = "-5";
  ASSERT_TRUE(PatchEditionIni(m_scratch / "pf\\Vendor\\TollixSystemInfo.ini", failing));
  ClearSampleJournal();
  RecordingChannel channel;
  // The sample toolbar refuses to register without an object: registration stops there.
  EXPECT_EQ(-1, installer.RegisterComponents());
  EXPECT_TRUE(channel.Has(kLogError, "Failed to obtain the system info object."));
  EXPECT_TRUE(channel.HasPrefix("Call of toolbar DoRegister returned -"));
  std::vector<std::string> journal = ReadSampleJournal();
  std::vector<std::string> registrations;
  for (const std::string& line : journal) {
    if (line.find("\tDoRegister") != std::string::npos || line.find("\tDllRegisterServer") != std::string::npos)
      registrations.push_back(line);
  }
  std::vector<std::string> expected = {"TollixSystemInfo.dll\tDllRegisterServer\tnull", "Tollix.dll\tDoRegister\tnull"};
  EXPECT_EQ(expected, registrations);
}

}  // namespace
