// The sample edition's modules as the installer meets them: loaded from a copy of the package,
// identity from the ini, runtime version from the module file, registration and journal.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "support/bench.h"
#include "support/edition.h"

namespace {

// Names of this suite only, so that it never meets the keys of an installer test.
const char kVendor[] = "SampleEditionTestVendor";
const char kProduct[] = "Sample Edition Test Toolbar";
const char kRuntimeVendor[] = "SampleEditionTestRuntime";
const char kToolbarClsid[] = "{0B7E5D11-4C2A-4E9B-8F31-6A2C9D0E7A01}";
const char kActiveXClsid[] = "{0B7E5D12-4C2A-4E9B-8F31-6A2C9D0E7A01}";
const char kHelperClsid[] = "{0B7E5D13-4C2A-4E9B-8F31-6A2C9D0E7A01}";
const char kToolbarList[] = "Software\\Nimbrel\\Toolbar Runtime";

std::string Expand(int csidl, const std::string& rest) {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::string(folder) + rest;
}

typedef long (__stdcall SystemInfo::*TextQuery)(HeapString*);
typedef long (__stdcall SystemInfo::*FolderQuery)(int, HeapString*);

class SampleEditionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyTree(SamplePackagePath("Private\\Vendor\\ProgFiles"), m_scratch / "Vendor"));
    ASSERT_TRUE(CopyTree(SamplePackagePath("Private\\Runtime\\ProgFiles"), m_scratch / "Runtime"));
    ASSERT_TRUE(PatchEditionIni(Ini(), {{"Edition",
                                         {{"Vendor", kVendor},
                                          {"Product", kProduct},
                                          {"RuntimeVendorKey", kRuntimeVendor},
                                          {"ToolbarClsid", kToolbarClsid},
                                          {"ActiveXClsid", kActiveXClsid},
                                          {"BrowserHelperClsid", kHelperClsid}}}}));
    CleanRegistry();
    ClearSampleJournal();
  }
  void TearDown() override { CleanRegistry(); }

  void CleanRegistry() {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string("Software\\") + kVendor);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string("Software\\") + kRuntimeVendor);
    for (const char* clsid : {kToolbarClsid, kActiveXClsid, kHelperClsid}) {
      DeleteKeyTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid);
    }
    HKEY list = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarList, 0, KEY_SET_VALUE, &list) == ERROR_SUCCESS) {
      RegDeleteValueA(list, kProduct);
      RegCloseKey(list);
    }
  }

  std::string Ini() const { return m_scratch / "Vendor\\TollixSystemInfo.ini"; }
  std::string InfoModule() const { return m_scratch / "Vendor\\TollixSystemInfo.dll"; }

  ScratchFolder m_scratch;
};

TEST_F(SampleEditionTest, ReportsTheIdentityOfItsIni) {
  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  SystemInfo* info = edition.Info();

  struct Case {
    TextQuery query;
    const char* expected;
  } cases[] = {
      {&SystemInfo::GetVendorName, kVendor},
      {&SystemInfo::GetProductName, kProduct},
      {&SystemInfo::GetProductVersionKey, "3.8"},
      {&SystemInfo::GetRuntimeVendorKey, kRuntimeVendor},
      {&SystemInfo::GetRuntimeKeyName, "Tollix Runtime"},
      {&SystemInfo::GetRuntimeVersionKey, "3.8"},
      {&SystemInfo::GetToolbarClsid, kToolbarClsid},
      {&SystemInfo::GetActiveXClsid, kActiveXClsid},
      {&SystemInfo::GetBrowserHelperClsid, kHelperClsid},
      {&SystemInfo::GetInstallId, "ACME-0001"},
  };
  for (const Case& c : cases) {
    HeapString text;
    EXPECT_EQ(0, (info->*c.query)(&text)) << c.expected;
    EXPECT_STREQ(c.expected, text.Text());
  }
  DWORD version = 0;
  EXPECT_EQ(0, info->GetProductVersion(&version));
  EXPECT_EQ(0x03080105u, version);
  EXPECT_EQ(0, info->GetRuntimeVersion(&version));
  EXPECT_EQ(0x03080100u, version);
}

TEST_F(SampleEditionTest, EachFolderKindPairNamesTheSamePlace) {
  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  SystemInfo* info = edition.Info();
  struct Case {
    FolderQuery query;
    std::string runtime;
    std::string product;
  } cases[] = {
      {&SystemInfo::GetProgramFilesFolder, Expand(CSIDL_PROGRAM_FILES, "\\Nimbrel\\Tollix Runtime\\"),
       Expand(CSIDL_PROGRAM_FILES, "\\Acme\\Acme Toolbar\\")},
      {&SystemInfo::GetAllUsersDataFolder, Expand(CSIDL_COMMON_APPDATA, "\\Nimbrel\\Tollix Runtime\\"),
       Expand(CSIDL_COMMON_APPDATA, "\\Acme\\Acme Toolbar\\")},
      {&SystemInfo::GetUserDataFolder, Expand(CSIDL_APPDATA, "\\Nimbrel\\Tollix Runtime\\"),
       Expand(CSIDL_APPDATA, "\\Acme\\Acme Toolbar\\")},
  };
  for (const Case& c : cases) {
    for (int kind = 0; kind < 4; ++kind) {
      HeapString folder;
      EXPECT_EQ(0, (info->*c.query)(kind, &folder)) << kind;
      EXPECT_EQ(kind % 2 ? c.product : c.runtime, folder.Text()) << kind;
    }
    HeapString folder;
    EXPECT_LT((info->*c.query)(4, &folder), 0);
  }
}

TEST_F(SampleEditionTest, EachKeyKindPairNamesTheSameKey) {
  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  SystemInfo* info = edition.Info();
  const std::string product = std::string("Software\\") + kVendor + "\\" + kProduct;
  const std::string runtime = std::string("Software\\") + kRuntimeVendor + "\\Tollix Runtime";

  // Reading kinds never make a key: a missing key is a missing value.
  DWORD value = 0;
  HKEY key = nullptr;
  EXPECT_EQ(-43, info->QueryRegDword(5, HKEY_LOCAL_MACHINE, 0, "Version", &value));
  EXPECT_EQ(-43, info->OpenRegKey(1, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, &key));
  EXPECT_EQ(nullptr, key);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product));

  struct Case {
    int writeKind;
    int readKind;
    std::string path;
  } cases[] = {{7, 5, product}, {3, 1, product}, {6, 4, runtime}, {2, 2, runtime + "\\3.8"}};
  for (const Case& c : cases) {
    EXPECT_EQ(0, info->SetRegDword(c.writeKind, HKEY_LOCAL_MACHINE, 0, "Probe", 0x1234u + c.writeKind));
    value = 0;
    EXPECT_EQ(0, info->QueryRegDword(c.readKind, HKEY_LOCAL_MACHINE, 0, "Probe", &value)) << c.readKind;
    EXPECT_EQ(0x1234u + c.writeKind, value);
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, c.path, "Probe", &value)) << c.path;
    EXPECT_EQ(-43, info->QueryRegDword(c.readKind, HKEY_LOCAL_MACHINE, 0, "Absent", &value));
  }

  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, product, "InstallID", "abc-123"));
  HeapString text;
  EXPECT_EQ(0, info->QueryRegString(1, HKEY_LOCAL_MACHINE, 0, "InstallID", &text));
  EXPECT_STREQ("abc-123", text.Text());
  EXPECT_EQ(-43, info->QueryRegString(1, HKEY_LOCAL_MACHINE, 0, "TollixID", &text));
  // A value of another type is a failure, not a miss.
  EXPECT_LT(info->QueryRegDword(1, HKEY_LOCAL_MACHINE, 0, "InstallID", &value), 0);
  EXPECT_NE(-43, info->QueryRegDword(1, HKEY_LOCAL_MACHINE, 0, "InstallID", &value));
}

TEST_F(SampleEditionTest, KeyOverridesOfTheIniAreUsed) {
  ASSERT_TRUE(PatchEditionIni(Ini(), {{"Keys", {{"Key5", std::string("Software\\") + kVendor + "\\Other"}}}}));
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, std::string("Software\\") + kVendor + "\\Other", "Version", 7));
  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  DWORD value = 0;
  EXPECT_EQ(0, edition.Info()->QueryRegDword(5, HKEY_LOCAL_MACHINE, 0, "Version", &value));
  EXPECT_EQ(7u, value);
}

TEST_F(SampleEditionTest, RewrittenRuntimeVersionChangesWhatAFreshLoadReports) {
  std::vector<std::wstring> before;
  ASSERT_TRUE(ReadVersionBlock(InfoModule(), &before));
  ASSERT_EQ(16u, before.size());
  int filled = 0;
  for (const std::wstring& entry : before) filled += entry.empty() ? 0 : 1;
  EXPECT_GE(filled, 3) << "the block must show that other entries are kept";

  ASSERT_TRUE(SetModuleRuntimeVersion(InfoModule(), "3.9.2.7"));
  std::vector<std::wstring> after;
  ASSERT_TRUE(ReadVersionBlock(InfoModule(), &after));
  for (int index = 0; index < 16; ++index) {
    if (index != 2) {
      EXPECT_EQ(before[index], after[index]) << index;
    }
  }
  std::string text;
  ASSERT_TRUE(ReadModuleString(InfoModule(), 10002, &text));
  EXPECT_EQ("3.9.2.7", text);

  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  DWORD version = 0;
  EXPECT_EQ(0, edition.Info()->GetRuntimeVersion(&version));
  EXPECT_EQ(0x03090207u, version);
}

TEST_F(SampleEditionTest, UnreadableVersionsFailTheirQuery) {
  for (const char* bad : {"", "3.x", "3.8.1.0.1", "3.256"}) {
    ASSERT_TRUE(SetModuleRuntimeVersion(InfoModule(), bad));
    ASSERT_TRUE(PatchEditionIni(Ini(), {{"Edition", {{"ProductVersion", bad}}}}));
    LoadedEdition edition(InfoModule());
    ASSERT_TRUE(edition.IsLoaded());
    DWORD version = 0;
    EXPECT_LT(edition.Info()->GetRuntimeVersion(&version), 0) << bad;
    EXPECT_LT(edition.Info()->GetProductVersion(&version), 0) << bad;
  }
}

TEST_F(SampleEditionTest, BrokenEditionsCanBeMade) {
  // Without its version string the module cannot tell its runtime version.
  ASSERT_TRUE(RemoveVersionBlock(InfoModule()));
  std::string text;
  EXPECT_FALSE(ReadModuleString(InfoModule(), 10002, &text));
  {
    LoadedEdition edition(InfoModule());
    ASSERT_TRUE(edition.IsLoaded());
    DWORD version = 0;
    EXPECT_LT(edition.Info()->GetRuntimeVersion(&version), 0);
  }
  // A factory that fails stores no object.
  ASSERT_TRUE(PatchEditionIni(Ini(), {{"Sample", {{"FactoryStatus", "-7"}}}}));
  LoadedEdition failing(InfoModule());
  EXPECT_FALSE(failing.IsLoaded());
  EXPECT_EQ(-7, failing.FactoryStatus());
}

TEST_F(SampleEditionTest, AMissingIniValueFailsOnlyItsQuery) {
  struct Case {
    const char* section;
    const char* key;
  } cases[] = {
      {"Edition", "Vendor"}, {"Edition", "InstallId"}, {"Edition", "ToolbarClsid"}, {"Folders", "PrivateProgramFiles"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteEditionIni(Ini(), SampleEditionValues()));
    ASSERT_TRUE(PatchEditionIni(Ini(), {{c.section, {{c.key, kRemoveEditionValue}}}}));
    LoadedEdition edition(InfoModule());
    ASSERT_TRUE(edition.IsLoaded());
    SystemInfo* info = edition.Info();
    HeapString text;
    long vendor = info->GetVendorName(&text);
    long installId = info->GetInstallId(&text);
    long toolbar = info->GetToolbarClsid(&text);
    long folder = info->GetProgramFilesFolder(1, &text);
    long runtimeFolder = info->GetProgramFilesFolder(0, &text);
    std::string key = c.key;
    EXPECT_EQ(key == "Vendor", vendor < 0) << key;
    EXPECT_EQ(key == "InstallId", installId < 0) << key;
    EXPECT_EQ(key == "ToolbarClsid", toolbar < 0) << key;
    EXPECT_EQ(key == "PrivateProgramFiles", folder < 0) << key;
    EXPECT_EQ(0, runtimeFolder) << key;
  }

  // An empty value is a value: an edition without an install id reports "".
  ASSERT_TRUE(PatchEditionIni(Ini(), {{"Edition", {{"InstallId", ""}}}}));
  LoadedEdition edition(InfoModule());
  HeapString text("stale");
  EXPECT_EQ(0, edition.Info()->GetInstallId(&text));
  EXPECT_STREQ("", text.Text());
}

TEST_F(SampleEditionTest, WithoutItsIniEveryIdentityQueryFails) {
  ASSERT_TRUE(DeleteFileA(Ini().c_str()));
  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  HeapString text;
  DWORD value = 0;
  EXPECT_LT(edition.Info()->GetVendorName(&text), 0);
  EXPECT_LT(edition.Info()->GetProgramFilesFolder(0, &text), 0);
  EXPECT_LT(edition.Info()->QueryRegDword(5, HKEY_LOCAL_MACHINE, 0, "Version", &value), 0);
  // The runtime version lives in the module itself.
  EXPECT_EQ(0, edition.Info()->GetRuntimeVersion(&value));
}

TEST_F(SampleEditionTest, ToolbarRegistrationEntersTheRuntimeListAndJournal) {
  LoadedEdition edition(InfoModule());
  ASSERT_TRUE(edition.IsLoaded());
  HMODULE toolbar = LoadLibraryA((m_scratch / "Runtime\\Tollix.dll").c_str());
  ASSERT_NE(nullptr, toolbar);
  auto doRegister = reinterpret_cast<ToolbarRegistrationProc>(GetProcAddress(toolbar, "DoRegister"));
  auto doUnregister = reinterpret_cast<ToolbarRegistrationProc>(GetProcAddress(toolbar, "DoUnregister"));
  ASSERT_NE(nullptr, doRegister);
  ASSERT_NE(nullptr, doUnregister);

  EXPECT_EQ(0, doRegister(edition.Info()));
  std::string data;
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kToolbarList, kProduct, &data));
  EXPECT_EQ(0, lstrcmpiA(InfoModule().c_str(), data.c_str())) << data;
  const std::string server = std::string("CLSID\\") + kToolbarClsid + "\\InProcServer32";
  EXPECT_TRUE(ReadString(HKEY_CLASSES_ROOT, server, "", &data));
  EXPECT_EQ(0, lstrcmpiA((m_scratch / "Runtime\\Tollix.dll").c_str(), data.c_str())) << data;

  EXPECT_EQ(0, doUnregister(edition.Info()));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kToolbarClsid));
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kToolbarList, kProduct)) << "the uninstall pass removes it";
  EXPECT_LT(doRegister(nullptr), 0);
  FreeLibrary(toolbar);

  std::vector<std::string> expected = {
      std::string("TollixSystemInfo.dll\tGetTollixSystemInfo\t") + kVendor + "\t" + kProduct,
      std::string("Tollix.dll\tDoRegister\t") + kVendor + "\t" + kProduct,
      std::string("Tollix.dll\tDoUnregister\t") + kVendor + "\t" + kProduct,
      "Tollix.dll\tDoRegister\tnull",
  };
  EXPECT_EQ(expected, ReadSampleJournal());
}

TEST_F(SampleEditionTest, SelfRegisteringModulesRegisterAndRemoveTheirClass) {
  struct Case {
    std::string module;
    const char* clsid;
  } cases[] = {
      {m_scratch / "Vendor\\TollixBHO.dll", kHelperClsid},
      {m_scratch / "Runtime\\TollixProfileExt.dll", "{3C9E7A15-0D42-4B6F-8E21-5A7B9C3D1E41}"},
      {m_scratch / "Runtime\\SnaporaShellExt.dll", "{6D1F0B24-7C35-4A89-B3E2-4F8A0C5D2E51}"},
      {m_scratch / "Runtime\\NimbrelPhotosOutlookAddin.dll", "{9B4C2E37-1A58-4D6C-A0F3-8E2D6B7C3F61}"},
  };
  for (const Case& c : cases) {
    const std::string server = std::string("CLSID\\") + c.clsid + "\\InProcServer32";
    DeleteKeyTree(HKEY_CLASSES_ROOT, std::string("CLSID\\") + c.clsid);
    HMODULE module = LoadLibraryA(c.module.c_str());
    ASSERT_NE(nullptr, module) << c.module;
    auto registerServer = reinterpret_cast<DllRegistrationProc>(GetProcAddress(module, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<DllRegistrationProc>(GetProcAddress(module, "DllUnregisterServer"));
    ASSERT_NE(nullptr, registerServer);
    ASSERT_NE(nullptr, unregisterServer);
    EXPECT_EQ(S_OK, registerServer());
    std::string data;
    EXPECT_TRUE(ReadString(HKEY_CLASSES_ROOT, server, "", &data)) << c.module;
    EXPECT_EQ(0, lstrcmpiA(c.module.c_str(), data.c_str())) << data;
    EXPECT_EQ(S_OK, unregisterServer());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + c.clsid)) << c.module;
    FreeLibrary(module);
  }
  std::vector<std::string> journal = ReadSampleJournal();
  ASSERT_EQ(8u, journal.size());
  EXPECT_EQ("TollixBHO.dll\tDllRegisterServer\tnull", journal[0]);
  EXPECT_EQ("NimbrelPhotosOutlookAddin.dll\tDllUnregisterServer\tnull", journal[7]);
}

TEST_F(SampleEditionTest, DeviceConnectProgramRunsUntilItsWindowIsDestroyed) {
  ChildProcess program;
  ASSERT_TRUE(program.Start(m_scratch / "Runtime\\SnaporaDeviceConnect.exe", "/startup"));
  HWND window = nullptr;
  for (int wait = 0; wait < 300 && !window; ++wait) {
    window = FindWindowA("STATIC", "NimbrelPhotosDeviceConnect");
    if (!window) Sleep(100);
  }
  ASSERT_NE(nullptr, window);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  EXPECT_EQ(program.Id(), owner);

  // A second start leaves the running copy alone.
  EXPECT_EQ(0u, RunToEnd(m_scratch / "Runtime\\SnaporaDeviceConnect.exe", "/again", 60000));
  EXPECT_TRUE(program.IsRunning());

  PostMessageA(window, WM_DESTROY, 0, 0);
  DWORD exitCode = 1;
  EXPECT_TRUE(program.Wait(30000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  std::vector<std::string> journal = ReadSampleJournal();
  ASSERT_GE(journal.size(), 2u);
  EXPECT_EQ("SnaporaDeviceConnect.exe\tstart\t/startup", journal[0]);
  EXPECT_EQ("SnaporaDeviceConnect.exe\talready running\t/again", journal[1]);
}

}  // namespace
