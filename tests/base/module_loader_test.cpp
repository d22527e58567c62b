// The module loader: which paths count as absolute, package paths made absolute, Windows DLLs
// from the system folder only, and edition modules by their path with what they import found
// beside them, through every caller that loads one, with and without the search flags of
// LoadLibraryEx.
#include "base/module_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extras/extras.h"
#include "install/product_session.h"
#include "support/bench.h"
#include "uninstall/uninstaller.h"

namespace {

const char kLoadLogVariable[] = "TOLLIX_LOAD_LOG";
const char kClsid[] = "{7D1E0A10-0000-4F00-9A00-00000000AB02}";
const char kClsidKey[] = "CLSID\\{7D1E0A10-0000-4F00-9A00-00000000AB02}";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, sizeof path);
  return path;
}

// Runs the test body once as this system is and once as a system without the search flags.
class ModuleLoaderTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    SetSearchFlagsUnavailableForTesting(GetParam());
    GetCurrentDirectoryA(sizeof m_directory, m_directory);
    SetCurrentDirectoryA(m_scratch.Path().c_str());
    SetEnvironmentVariableA(kLoadLogVariable, LoadLog().c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA(kLoadLogVariable, nullptr);
    SetCurrentDirectoryA(m_directory);
    SetSearchFlagsUnavailableForTesting(false);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kClsidKey);
  }
  std::string LoadLog() const { return m_scratch / "loads.txt"; }
  std::vector<std::string> Loads() const { return ReadTextLines(LoadLog()); }
  bool Logged(const std::string& line) const {
    for (const std::string& l : Loads())
      if (l == line) return true;
    return false;
  }

  ScratchFolder m_scratch;
  char m_directory[MAX_PATH] = {};
};

}  // namespace

TEST(ModuleLoader, AbsolutePaths) {
  const struct {
    const char* path;
    bool absolute;
  } cases[] = {
      {"C:\\Program Files\\Acme\\Tollix.dll", true},
      {"c:/tollix/Tollix.dll", true},
      {"\\\\server\\share\\Tollix.dll", true},
      {"\\\\?\\C:\\Tollix.dll", true},
      {"Tollix.dll", false},                     // searched for
      {"Vendor\\ProgFiles\\Tollix.dll", false},  // relative to some folder
      {"\\Tollix.dll", false},                   // the current drive's root
      {"C:Tollix.dll", false},                   // drive C's current folder
      {"\\\\", false},
      {"\\\\\\x", false},
      {"1:\\Tollix.dll", false},
      {"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.absolute, IsAbsolutePath(c.path)) << (c.path ? c.path : "(null)");
  }
}

TEST(ModuleLoader, PackagePathsMadeAbsolute) {
  ScratchFolder scratch;
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(scratch.Path().c_str()));
  const struct {
    const char* path;
    std::string absolute;  // empty: refused
  } cases[] = {
      {"Vendor\\ProgFiles\\TollixSystemInfo.dll", scratch / "Vendor\\ProgFiles\\TollixSystemInfo.dll"},
      {"TollixSystemInfo.dll", scratch / "TollixSystemInfo.dll"},
      {".\\Vendor\\..\\TollixSystemInfo.dll", scratch / "TollixSystemInfo.dll"},
      {"D:\\Package\\TollixSystemInfo.dll", "D:\\Package\\TollixSystemInfo.dll"},
      {"\\TollixSystemInfo.dll", ""},
      {"C:TollixSystemInfo.dll", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    HeapString out;
    EXPECT_EQ(!c.absolute.empty(), MakeAbsoluteFromCurrentFolder(c.path, &out)) << c.path;
    if (!c.absolute.empty()) {
      EXPECT_EQ(c.absolute, out.Text()) << c.path;
    }
  }
  SetCurrentDirectoryA(saved);

  HeapString beside;
  ASSERT_TRUE(GetProgramFolderPath("TollixSystemInfo.dll", &beside));
  EXPECT_EQ(BuildPath("tests\\TollixSystemInfo.dll"), beside.Text());
}

TEST_P(ModuleLoaderTest, SystemModulesFromTheSystemFolder) {
  char system[MAX_PATH] = {};
  ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
  for (const char* name : {"PSAPI.DLL", "vdmdbg.dll", "wininet.dll"}) {
    HMODULE module = LoadSystemModule(name);
    ASSERT_NE(nullptr, module) << name;
    EXPECT_EQ(Lower(std::string(system) + "\\" + name), Lower(ModulePath(module)));
    FreeLibrary(module);
  }
  for (const char* name : {"", "folder\\psapi.dll", "C:psapi.dll", "C:\\Windows\\System32\\psapi.dll"}) {
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadSystemModule(name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), GetLastError()) << name;
  }
  DWORD flags = 0xFFFFFFFF;
  InternetGetConnectedStateFromSystem(&flags, 0);
  EXPECT_NE(0xFFFFFFFFu, flags);  // the function ran
}

// A module that imports a DLL lying beside it loads for registering and for unregistering alike.
TEST_P(ModuleLoaderTest, ModulesFindWhatTheyImportBesideThem) {
  const std::string folder = m_scratch / "modules\\";
  ASSERT_TRUE(MakeFolders(folder));
  const std::string server = folder + "dependent_server.dll";
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\dependent_server.dll").c_str(), server.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\server_dependency.dll").c_str(),
                        (folder + "server_dependency.dll").c_str(), FALSE));
  ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InProcServer32", "", server));

  const struct {
    const char* caller;
    long expected;
    long (*call)(const std::string& server);
    const char* entry;
  } cases[] = {
      {"CallDllRegistration, registering", 1,
       [](const std::string& path) { return static_cast<long>(CallDllRegistration(path.c_str(), true)); },
       "DllRegisterServer"},
      {"CallDllRegistration, unregistering", 1,
       [](const std::string& path) { return static_cast<long>(CallDllRegistration(path.c_str(), false)); },
       "DllUnregisterServer"},
      {"UnregisterServerByClsid", 0, [](const std::string&) { return UnregisterServerByClsid(kClsid); },
       "DllUnregisterServer"},
  };
  for (const auto& c : cases) {
    DeleteFileA(LoadLog().c_str());
    EXPECT_EQ(c.expected, c.call(server)) << c.caller;
    EXPECT_TRUE(Logged(server + "\t" + c.entry)) << c.caller;
    EXPECT_TRUE(Logged(folder + "server_dependency.dll")) << c.caller;
    EXPECT_EQ(nullptr, GetModuleHandleA(server.c_str())) << c.caller << ": freed after the call";
  }
}

// A bare or relative name is never looked for along the search order, not even in the
// current folder where a module of that name lies.
TEST_P(ModuleLoaderTest, RelativeNamesRefused) {
  const std::string planted = m_scratch / "TollixSystemInfo.dll";
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\load_marker.dll").c_str(), planted.c_str(), FALSE));
  const std::string server = m_scratch / "dependent_server.dll";
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\dependent_server.dll").c_str(), server.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\server_dependency.dll").c_str(),
                        (m_scratch / "server_dependency.dll").c_str(), FALSE));
  ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InProcServer32", "", "dependent_server.dll"));

  {
    Uninstaller uninstaller;
    EXPECT_EQ(-1, uninstaller.Initialize("TollixSystemInfo.dll", "/S"));
  }
  EXPECT_EQ(-1, UnregisterServerByClsid(kClsid));
  EXPECT_EQ(0, CallDllRegistration("dependent_server.dll", true));
  for (const char* path : {"TollixSystemInfo.dll", "\\TollixSystemInfo.dll", "C:TollixSystemInfo.dll"}) {
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadModuleFromPath(path)) << path;
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), GetLastError()) << path;
    EXPECT_EQ(nullptr, LoadModuleAsData(path)) << path;
  }
  EXPECT_EQ(std::vector<std::string>(), Loads());

  // The install side's package path is relative to the current folder, and loaded by the
  // absolute path that it names there.
  ProductSession session;
  EXPECT_EQ(-1, session.LoadSystemInfo("TollixSystemInfo.dll", ""));  // the marker has no factory
  EXPECT_EQ(std::vector<std::string>{planted}, Loads());
}

INSTANTIATE_TEST_SUITE_P(SearchFlags, ModuleLoaderTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Unavailable" : "Available");
                         });
