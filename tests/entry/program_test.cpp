// Program entry through the real executable under Wine: mode choice, exit codes, the
// administrator test, the notification box, the browser launch and dialog 118.
#include "entry/program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/debug_channel.h"
#include "support/bench.h"
#include "support/recording_channel.h"
#include "support/ui.h"

namespace {

const char kNimbrel[] = "Software\\Nimbrel";
const char kSwitchKey[] = "Software\\Nimbrel\\Content Debugger";
const char kSettingsKey[] = "Software\\Nimbrel\\KLP Debugger";
const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";
const char kTestKey[] = "CLSID\\InstallerTestKeyTriedToDetermineWriteAccess";
const char kUninstallDialog[] = "Toolbar Uninstallation";
// What the install driver writes first (the placeholder, or the real driver once it has the
// single-instance guard), and what the uninstall placeholder writes.
const char* const kInstallMarkers[] = {"Checking minimum requirements ...",
                                       "The install driver is not available in this build."};
const char kUninstallPlaceholder[] = "The uninstall driver is not available in this build.";

// The outcome of one run of the program.
struct ProgramRun {
  DWORD exitCode = 0xFFFFFFFF;
  DWORD processesStarted = 0;        // the browser, had it been opened
  std::vector<std::string> dialogs;  // titles of the boxes and dialogs it showed, in order
  std::vector<std::string> texts;    // the messages it posted (text after the category)
  std::vector<std::string> levels;   // their level names

  bool Logged(const std::string& text) const {
    for (const std::string& t : texts)
      if (t == text) return true;
    return false;
  }
  bool Showed(const std::string& title) const {
    for (const std::string& d : dialogs)
      if (d == title) return true;
    return false;
  }
  bool InstallMode() const {
    for (const char* marker : kInstallMarkers)
      if (Logged(marker)) return !Showed(kUninstallDialog);
    return false;
  }
  bool UninstallMode() const {
    bool install = false;
    for (const char* marker : kInstallMarkers) install = install || Logged(marker);
    return !install && (Showed(kUninstallDialog) || Logged(kUninstallPlaceholder));
  }
};

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    m_hadAppPath = ReadString(HKEY_LOCAL_MACHINE, kAppPaths, "", &m_appPath);
    ResetState();
    // The real debugger module, writing the program's log into the scratch folder.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kNimbrel, "ContentDebuggerDLL", DebuggerModulePath()));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, "Tollix Installer", "1"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSettingsKey, "LogFile", Log()));
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kSettingsKey, "Verbosity", 3));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kAppPaths, "", BuildPath("fixtures\\stand_in_ie.exe")));
    SetEnvironmentVariableA("TOLLIX_STAND_IN_IE_LOG", BrowserRecord().c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("TOLLIX_STAND_IN_IE_LOG", nullptr);
    ResetState();
    if (m_hadAppPath)
      SetString(HKEY_LOCAL_MACHINE, kAppPaths, "", m_appPath);
    else
      DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppPaths);
  }
  void ResetState() {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kNimbrel);
    DeleteKeyTree(HKEY_CURRENT_USER, kSwitchKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kSettingsKey);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kTestKey);
  }

  std::string Log() const { return m_scratch / "program.log"; }
  std::string BrowserRecord() const { return m_scratch / "browser.txt"; }
  std::string Folder() const { return m_scratch / "run"; }

  // Runs the program from an empty folder (no install package) and answers what it shows:
  // dialog 118 with "Cancel", any other box with its Cancel, No or OK button.
  ProgramRun RunInstaller(const std::string& program, const std::string& args, DWORD timeoutMs = 60000) {
    ProgramRun run;
    DeleteFileA(Log().c_str());
    MakeFolders(Folder());
    const AnsweredRun answered = RunAnswering(program, args, Folder().c_str(), {}, timeoutMs);
    EXPECT_NE(0xFFFFFFFFu, answered.exitCode) << "the program did not start or did not end: " << args;
    run.exitCode = answered.exitCode;
    run.processesStarted = answered.processesStarted;
    for (const ShownDialog& dialog : answered.dialogs) run.dialogs.push_back(dialog.title);
    for (const std::string& line : ReadTextLines(Log())) {
      const size_t category = line.find(" Installer: ");
      if (category != std::string::npos && category >= 30) {
        run.texts.push_back(line.substr(category + 12));
        std::string level = line.substr(24, 6);
        while (!level.empty() && level.back() == ' ') level.pop_back();
        run.levels.push_back(level);
      }
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestKey)) << "the administrator test key was left behind";
    return run;
  }

  ScratchFolder m_scratch;
  bool m_hadAppPath = false;
  std::string m_appPath;
};

// Every run from an empty folder ends its log with "Exiting". Its exit code comes from the case:
// an install finds no package and fails (1); an uninstall is cancelled at dialog 118 (0).
const DWORD kInstallWithoutPackageExit = 1;
const DWORD kCancelledUninstallExit = 0;

void ExpectRunEnded(const ProgramRun& run, bool uninstall, const std::string& label) {
  EXPECT_EQ(uninstall ? kCancelledUninstallExit : kInstallWithoutPackageExit, run.exitCode) << label;
  ASSERT_FALSE(run.texts.empty()) << label;
  EXPECT_EQ("Exiting", run.texts.back()) << label;
}

}  // namespace

TEST_F(Program, ModeChoiceFromOptions) {
  struct Case {
    const char* args;
    bool uninstall;
  } cases[] = {
      {"/S", false},
      {"/u /S", true},
      {"/U /S", true},                             // any letter case
      {"/S /u-", false},                           // switched off
      {"/S /u /u-", false},                        // the last one decides
      {"/url http://www.nimbrel.com/ /S", false},  // the letter r follows /u
      {"/url \"C:\\pages /u x.htm\" /S", true},    // /u and a blank inside the value
  };
  for (const Case& c : cases) {
    ProgramRun run = RunInstaller(InstallerPath(), c.args);
    EXPECT_TRUE(run.Logged(std::string("Tollix installer/uninstaller starting: '") + c.args + "'")) << c.args;
    EXPECT_EQ(c.uninstall, run.UninstallMode()) << c.args;
    EXPECT_EQ(!c.uninstall, run.InstallMode()) << c.args;
    ExpectRunEnded(run, c.uninstall, c.args);
    EXPECT_EQ(0u, run.processesStarted) << c.args;
  }
}

TEST_F(Program, ModeChoiceFromProgramName) {
  struct Case {
    const char* name;
    bool uninstall;
  } cases[] = {
      {"TollixUninstaller.exe", true},   {"Uninstaller.exe", true},
      {"tollixuninstaller.exe", false},  // the name test is case-sensitive
      {"Uninstaller.exe.bak.exe", true}, {"Installer.exe", false},
  };
  for (const Case& c : cases) {
    const std::string copy = m_scratch / c.name;
    ASSERT_TRUE(CopyFileA(InstallerPath().c_str(), copy.c_str(), FALSE)) << c.name;
    ProgramRun run = RunInstaller(copy, "/S");
    EXPECT_EQ(c.uninstall, run.UninstallMode()) << c.name;
    EXPECT_EQ(!c.uninstall, run.InstallMode()) << c.name;
    ExpectRunEnded(run, c.uninstall, c.name);
  }
}

TEST_F(Program, CancelledRunExitsWithZeroAndOpensNoBrowser) {
  // Another uninstaller holds its mutex: the uninstall driver gives up with status 1.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "TollixUninstaller");
  ASSERT_NE(nullptr, mutex);
  ProgramRun run = RunInstaller(InstallerPath(), "/u /S /url http://www.nimbrel.com/");
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(run.dialogs.empty());
  const std::vector<std::string> tail(run.texts.end() - std::min<size_t>(3, run.texts.size()), run.texts.end());
  const std::vector<std::string> expected = {"There is already an installer/uninstaller running. Exiting.",
                                             "User cancelled the operation.", "Exiting"};
  EXPECT_EQ(expected, tail);
  EXPECT_FALSE(run.Logged("No /url parameter, not launching IE."));
  EXPECT_EQ(0u, run.processesStarted);
}

TEST_F(Program, LogOpensWithStartLines) {
  ProgramRun run = RunInstaller(InstallerPath(), "/S  /url  \"x y\"");
  ASSERT_GE(run.texts.size(), 2u);
  EXPECT_EQ("Initializing", run.texts[0]);
  EXPECT_EQ("INFO", run.levels[0]);
  EXPECT_EQ("Tollix installer/uninstaller starting: '/S  /url  \"x y\"'", run.texts[1]);
}

TEST_F(Program, NoAdministratorRightsShowsWarning) {
  // Write access to HKEY_CLASSES_ROOT\CLSID cannot be taken away under Wine (key ACLs are not
  // enforced on creation), so the test key is made undeletable instead: it has a subkey.
  ASSERT_TRUE(SetDword(HKEY_CLASSES_ROOT, std::string(kTestKey) + "\\Blocker", "X", 1));
  MakeFolders(Folder());
  const AnsweredRun run =
      RunAnswering(InstallerPath(), "/u /S", Folder().c_str(), {{"Insufficient Permissions", {IDOK}}}, 30000);
  EXPECT_EQ(1u, run.exitCode);
  ASSERT_EQ(1u, run.dialogs.size());
  EXPECT_EQ("Insufficient Permissions", run.dialogs[0].title);
  EXPECT_EQ("Please log in as an Administrator to install or uninstall this toolbar.", run.dialogs[0].text);
  std::string log;
  ASSERT_TRUE(ReadTextFile(Log(), &log));
  EXPECT_NE(std::string::npos, log.find("INFO   Installer: Exiting\r\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("Uninstalling")) << log;  // no driver ran
  for (const char* marker : kInstallMarkers) EXPECT_EQ(std::string::npos, log.find(marker)) << log;
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kTestKey) + "\\Blocker"));
  DeleteKeyTree(HKEY_CLASSES_ROOT, kTestKey);
}

TEST_F(Program, AdministratorTestInProcess) {
  EXPECT_TRUE(HasAdministratorRights());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestKey));
  // A test key left by an earlier run is taken over and removed.
  ASSERT_TRUE(SetDword(HKEY_CLASSES_ROOT, kTestKey, "TestValue", 5));
  EXPECT_TRUE(HasAdministratorRights());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestKey));
  // One that cannot be deleted fails the test.
  ASSERT_TRUE(SetDword(HKEY_CLASSES_ROOT, std::string(kTestKey) + "\\Blocker", "X", 1));
  EXPECT_FALSE(HasAdministratorRights());
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, kTestKey, "TestValue"));
}

namespace {

// Waits for the stand-in browser's record of its command line.
bool WaitForRecord(const std::string& path, std::string* text, DWORD timeoutMs = 20000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (ReadTextFile(path, text)) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace

TEST_F(Program, LaunchBrowserStartsAppPathsProgram) {
  struct Case {
    const char* address;
    bool requireOnline;
  } cases[] = {
      {"http://www.nimbrel.com/start?a=1&b=2", true},
      {"C:\\My Pages\\welcome.htm", false},
  };
  for (const Case& c : cases) {
    DeleteFileA(BrowserRecord().c_str());
    RecordingChannel channel;
    LaunchBrowser(c.address, c.requireOnline);
    const std::string arguments = std::string(" -new \"") + c.address + "\"";
    EXPECT_TRUE(channel.Has(kLogInfo, "Launching IE: " + arguments)) << c.address;
    std::string recorded;
    ASSERT_TRUE(WaitForRecord(BrowserRecord(), &recorded)) << c.address;
    // The browser's own path leads its command line, quoted.
    EXPECT_EQ("\"" + BuildPath("fixtures\\stand_in_ie.exe") + "\"" + arguments, recorded);
  }
}

TEST_F(Program, LaunchBrowserWithoutAppPathsLogsFailure) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kAppPaths);
  RecordingChannel channel;
  LaunchBrowser("www.nimbrel.com", false);
  EXPECT_TRUE(channel.Has(kLogInfo, "Launching IE:  -new \"www.nimbrel.com\""));
  EXPECT_TRUE(channel.HasPrefix("Failed to launch IE: "));
  const std::vector<std::string> errors = channel.Texts(kLogError);
  ASSERT_EQ(1u, errors.size());
  EXPECT_NE("Failed to launch IE: 0", errors[0]);
}

TEST_F(Program, NotificationBoxDefaults) {
  // A null text shows nothing at all.
  ShowNotification(nullptr, "Insufficient Permissions", true);
  struct Case {
    const char* caption;
    const char* expectedTitle;
  } cases[] = {{nullptr, "Notification"}, {"Insufficient requirements", "Insufficient requirements"}};
  for (const Case& c : cases) {
    DialogAnswerer answer(ThisProcess(), c.expectedTitle, {IDOK});
    ShowNotification("Some text.", c.caption, false);
    EXPECT_TRUE(answer.Answered()) << c.expectedTitle;
    EXPECT_EQ("Some text.", answer.Text());
  }
}

INT_PTR CALLBACK IgnoreEveryMessage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(Dialog118, MatchesItsLayout) {
  HMODULE program = LoadLibraryExA(InstallerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, program);
  HWND dialog = CreateDialogParamA(program, MAKEINTRESOURCEA(118), nullptr, IgnoreEveryMessage, 0);
  ASSERT_NE(nullptr, dialog) << GetLastError();

  char text[256] = {};
  GetWindowTextA(dialog, text, sizeof text);
  EXPECT_STREQ("Toolbar Uninstallation", text);
  const LONG style = GetWindowLongA(dialog, GWL_STYLE);
  EXPECT_EQ(WS_CAPTION, style & WS_CAPTION);
  EXPECT_EQ(WS_POPUP, style & WS_POPUP);
  EXPECT_EQ(DS_MODALFRAME, style & DS_MODALFRAME);
  EXPECT_EQ(0, style & WS_SYSMENU);
  EXPECT_EQ(0, style & WS_VISIBLE);

  // The font: 10-point MS Sans Serif.
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  LOGFONTA logFont = {};
  ASSERT_NE(0, GetObjectA(font, sizeof logFont, &logFont));
  EXPECT_STREQ("MS Sans Serif", logFont.lfFaceName);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(-MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72), logFont.lfHeight);
  ReleaseDC(nullptr, screen);

  RECT client = {0, 0, 223, 98};
  MapDialogRect(dialog, &client);
  RECT actual = {};
  GetClientRect(dialog, &actual);
  EXPECT_EQ(client.right, actual.right);
  EXPECT_EQ(client.bottom, actual.bottom);

  struct Control {
    int id;  // -1: found by its text
    const char* text;
    LONG type;  // the low style bits of a button or static
    bool group;
    int x, y, width, height;
  } controls[] = {
      {IDOK, "Uninstall", BS_DEFPUSHBUTTON, false, 58, 64, 50, 14},
      {IDCANCEL, "Cancel", BS_PUSHBUTTON, false, 114, 64, 50, 14},
      {-1, "Please note: Uninstall will not delete your photos.", SS_LEFT, true, 7, 82, 165, 9},
      {-1, "Uninstallation", BS_GROUPBOX, false, 7, 7, 209, 54},
      {1018, "Toolbar Uninstallation: ", BS_AUTORADIOBUTTON, true, 15, 18, 88, 10},
      {1019, "Complete Uninstallation:", BS_AUTORADIOBUTTON, true, 15, 39, 103, 10},
      {-1, "Maintains Snapora and Bookmark directory on your computer", SS_LEFT, true, 24, 28, 183, 10},
      {-1, "Removes all toolbar application files", SS_LEFT, true, 24, 49, 124, 10},
  };
  int count = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++count;
  EXPECT_EQ(8, count);
  for (const Control& c : controls) {
    HWND control = nullptr;
    if (c.id >= 0) {
      control = GetDlgItem(dialog, c.id);
    } else {
      for (HWND child = GetWindow(dialog, GW_CHILD); child && !control; child = GetWindow(child, GW_HWNDNEXT)) {
        char childText[256] = {};
        GetWindowTextA(child, childText, sizeof childText);
        if (strcmp(childText, c.text) == 0) control = child;
      }
      if (control) {
        EXPECT_EQ(0xFFFF, GetDlgCtrlID(control) & 0xFFFF) << c.text;  // IDC_STATIC
      }
    }
    ASSERT_NE(nullptr, control) << c.text;
    GetWindowTextA(control, text, sizeof text);
    EXPECT_STREQ(c.text, text);
    const LONG controlStyle = GetWindowLongA(control, GWL_STYLE);
    EXPECT_EQ(c.type, controlStyle & 0x0F) << c.text;
    EXPECT_EQ(WS_CHILD | WS_VISIBLE, controlStyle & (WS_CHILD | WS_VISIBLE)) << c.text;
    if (c.group) {
      EXPECT_EQ(WS_GROUP, controlStyle & WS_GROUP) << c.text;
    }
    RECT expected = {c.x, c.y, c.x + c.width, c.y + c.height};
    MapDialogRect(dialog, &expected);
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    // Corners are converted one by one, so a size may differ by a pixel of rounding.
    EXPECT_EQ(expected.left, rect.left) << c.text;
    EXPECT_EQ(expected.top, rect.top) << c.text;
    EXPECT_NEAR(expected.right - expected.left, rect.right - rect.left, 1) << c.text;
    EXPECT_NEAR(expected.bottom - expected.top, rect.bottom - rect.top, 1) << c.text;
  }
  DestroyWindow(dialog);
  FreeLibrary(program);
}

TEST_F(Program, LaunchBrowserTakesFullLengthPath) {
  // A browser path of 259 characters fills the 260-byte buffer with its terminator.
  std::string folder = m_scratch / "long";
  const std::string name = "\\ie.exe";
  folder += "\\" + std::string(259 - folder.size() - 1 - name.size(), 'd');
  const std::string browser = folder + name;
  ASSERT_EQ(259u, browser.size());
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\stand_in_ie.exe").c_str(), browser.c_str(), FALSE));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kAppPaths, "", browser));
  RecordingChannel channel;
  LaunchBrowser("about:blank", true);
  EXPECT_TRUE(channel.Texts(kLogError).empty());
  std::string recorded;
  ASSERT_TRUE(WaitForRecord(BrowserRecord(), &recorded));
  EXPECT_EQ("\"" + browser + "\" -new \"about:blank\"", recorded);
}

TEST_F(Program, LaunchBrowserRefusesAPartialBrowserPath) {
  // A partial path would be completed from the current folder: usually the download folder,
  // where anyone may have put a program of that name.
  const std::string folder = m_scratch / "downloads";
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\stand_in_ie.exe").c_str(), (folder + "\\Browser.exe").c_str(), FALSE));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kAppPaths, "", "Browser.exe"));
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  RecordingChannel channel;
  LaunchBrowser("www.nimbrel.com", false);
  SetCurrentDirectoryA(previous);

  EXPECT_EQ((std::vector<std::string>{"Not starting 'Browser.exe': the path is not a full path",
                                      "Failed to launch IE: " + std::to_string(ERROR_BAD_PATHNAME)}),
            channel.Texts(kLogError));
  Sleep(500);
  EXPECT_FALSE(PathExists(BrowserRecord()));
}
