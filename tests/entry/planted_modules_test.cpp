// Planted modules: copies of a marker module under the names of Windows DLLs and of the
// debugger module lie beside the program, in its current directory and at the drive's root
// while the real program installs, uninstalls with "/u" and runs as the installed
// Uninstaller.exe. The program runs as administrator from a download folder: none of them may
// be loaded.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "support/bench.h"
#include "support/edition.h"
#include "support/ui.h"

namespace {

const char kLoadLogVariable[] = "TOLLIX_LOAD_LOG";
const char kSwitchKey[] = "Software\\Nimbrel\\Content Debugger";
const char kNimbrel[] = "Software\\Nimbrel";
const char kProgram[] = "Tollix Installer";
const char kDialogTitle[] = "Toolbar Uninstallation";
const char kEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme Toolbar";
// version.dll stays out: Wine's own user32 imports it, which no program can avoid.
const char* const kPlantedNames[] = {"urlmon.dll", "wininet.dll", "vdmdbg.dll", "KLP_DebuggerDLL.dll"};
// Wine prefers its builtin DLLs: per program, these make a copy found first win, as on Windows.
// (WINEDLLOVERRIDES set here would not reach the program: Wine 8 gives a started program the
// load order of the wine command that started the tests.)
const char* const kNativeFirst[] = {"urlmon", "wininet", "vdmdbg"};
const char* const kProgramNames[] = {"TollixInstaller.exe", "Uninstaller.exe"};
const char kDriveRootDebugger[] = "C:\\KLP_DebuggerDLL.dll";
const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

std::string DllOverridesKey(const char* program) {
  return std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
}

class PlantedModules : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetSampleInstalls();
    // The "/url" page opens in no browser: the launch fails after the online test has run.
    m_hadAppPath = ReadString(HKEY_LOCAL_MACHINE, kAppPaths, "", &m_appPath);
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kAppPaths, "", m_scratch / "no browser.exe"));
    for (const char* program : kProgramNames) {
      for (const char* dll : kNativeFirst) {
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, DllOverridesKey(program), dll, "native,builtin"));
      }
    }
    SetEnvironmentVariableA(kLoadLogVariable, LoadLog().c_str());
    // Neither "0" (no channel) nor "1" (the program's folder opted in): every run looks for a
    // debugger module.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, "on"));
    ASSERT_TRUE(CopyFileA(Marker().c_str(), kDriveRootDebugger, FALSE));
  }
  void TearDown() override {
    DeleteFileA(kDriveRootDebugger);
    SetEnvironmentVariableA(kLoadLogVariable, nullptr);
    for (const char* program : kProgramNames) DeleteKeyTree(HKEY_CURRENT_USER, DllOverridesKey(program));
    if (m_hadAppPath)
      SetString(HKEY_LOCAL_MACHINE, kAppPaths, "", m_appPath);
    else
      DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppPaths);
    ForgetSampleInstalls();
  }

  static std::string Marker() { return BuildPath("fixtures\\load_marker.dll"); }
  std::string LoadLog() const { return m_scratch / "loads.txt"; }

  // A folder (made when missing) holding a copy of the marker under every planted name.
  std::string Plant(const std::string& folder) {
    EXPECT_TRUE(MakeFolders(folder));
    for (const char* name : kPlantedNames) {
      EXPECT_TRUE(CopyFileA(Marker().c_str(), (folder + name).c_str(), FALSE)) << folder << name;
    }
    return folder;
  }
  // The program copied into a folder of planted modules.
  std::string PlantedProgram(const std::string& folder, const std::string& name) {
    Plant(folder);
    EXPECT_TRUE(CopyFileA(InstallerPath().c_str(), (folder + name).c_str(), FALSE));
    return folder + name;
  }

  // The paths of the marker copies loaded since the last call.
  std::vector<std::string> TakeLoads() {
    std::vector<std::string> lines = ReadTextLines(LoadLog());
    DeleteFileA(LoadLog().c_str());
    return lines;
  }

  ScratchFolder m_scratch;
  bool m_hadAppPath = false;
  std::string m_appPath;
};

}  // namespace

// Install mode from the package folder, then the installed Uninstaller.exe, both without "/S"
// so that the browser scan loads its system DLLs as well; the install's "/url" page needs the
// online test of WinINet first.
TEST_F(PlantedModules, InstallAndInstalledUninstallerLoadNone) {
  const std::string package = Plant(m_scratch / "package\\");
  ASSERT_TRUE(CopySamplePackage(package));
  const std::string program = PlantedProgram(m_scratch / "download\\", "TollixInstaller.exe");
  EXPECT_EQ(0u, RunToEnd(program, "/url http://www.nimbrel.com/", 180000, package.c_str()));
  EXPECT_EQ(std::vector<std::string>(), TakeLoads()) << "install mode";
  ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) << "the install registered its modules by their paths";

  // Without ids the uninstall pass sends no ping, so the program never reaches the real host.
  const std::string installed = ShellFolder(CSIDL_PROGRAM_FILES) + "Acme\\Acme Toolbar\\";
  ASSERT_TRUE(PatchEditionIni(installed + "TollixSystemInfo.ini", {{"Edition", {{"InstallId", kRemoveEditionValue}}}}));
  Plant(installed);
  const std::string folder = Plant(m_scratch / "elsewhere\\");
  const AnsweredRun uninstall =
      RunAnswering(installed + "Uninstaller.exe", "/u /k", folder.c_str(), {{kDialogTitle, {1018, IDOK}}}, 180000);
  EXPECT_EQ(0u, uninstall.exitCode);
  EXPECT_TRUE(uninstall.Showed(kDialogTitle));
  EXPECT_EQ(std::vector<std::string>(), TakeLoads()) << "installed uninstaller";
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEntryKey)) << "the uninstall unregistered its modules by their paths";
}

// "/u" takes the system info module beside the program only: one in the current directory is
// not looked for, and without one beside it the uninstall fails.
TEST_F(PlantedModules, UninstallModeLoadsNone) {
  const std::string program = PlantedProgram(m_scratch / "download\\", "TollixInstaller.exe");
  const std::string folder = Plant(m_scratch / "current\\");
  ASSERT_TRUE(CopyFileA(Marker().c_str(), (folder + "TollixSystemInfo.dll").c_str(), FALSE));
  const AnsweredRun run = RunAnswering(program, "/u", folder.c_str(), {{kDialogTitle, {IDOK}}});
  EXPECT_EQ(1u, run.exitCode);
  EXPECT_TRUE(run.Showed(kDialogTitle));
  EXPECT_EQ(std::vector<std::string>(), TakeLoads());
}

// The debugger module: the HKLM value only when it names an absolute path, the program's own
// folder only on the explicit "1", never the current directory or the drive's root.
TEST_F(PlantedModules, DebuggerModulePlaces) {
  const std::string download = m_scratch / "download\\";
  const std::string program = PlantedProgram(download, "TollixInstaller.exe");
  const std::string folder = Plant(m_scratch / "current\\");
  const struct {
    const char* switchValue;
    const char* registryPath;  // null: no value
    std::vector<std::string> loaded;
  } cases[] = {
      {"on", nullptr, {}},
      {"on", "KLP_DebuggerDLL.dll", {}},                   // a bare name is not searched for
      {"on", "\\KLP_DebuggerDLL.dll", {}},                 // the current drive's root
      {"1", nullptr, {download + "KLP_DebuggerDLL.dll"}},  // a support engineer's opt-in
      {"1", "KLP_DebuggerDLL.dll", {download + "KLP_DebuggerDLL.dll"}},
  };
  // Another uninstaller runs: the program ends right after looking for its debugger module.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "TollixUninstaller");
  ASSERT_NE(nullptr, mutex);
  for (const auto& c : cases) {
    const std::string label = std::string(c.switchValue) + ", " + (c.registryPath ? c.registryPath : "(none)");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, c.switchValue));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kNimbrel);
    if (c.registryPath) {
      ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kNimbrel, "ContentDebuggerDLL", c.registryPath));
    }
    EXPECT_EQ(0u, RunToEnd(program, "/u /S", 60000, folder.c_str())) << label;
    EXPECT_EQ(c.loaded, TakeLoads()) << label;
  }
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}
