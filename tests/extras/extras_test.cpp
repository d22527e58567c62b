// Set-up and removal of the photo extras with the sample device-connect program, its modules,
// the real registry, real shortcut files and a process that holds the shell extension.
#include "extras/extras.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/debug_channel.h"
#include "install/product_session.h"
#include "support/bench.h"
#include "support/recording_channel.h"
#include "sys/registry.h"

namespace {

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "NimbrelPhotosDeviceConnect";
const char kSearchBarV35[] = "Software\\Nimbrel\\NimbrelSearchBarV35";
const std::string kAH = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";
const std::string kSE = "SYSTEM\\CurrentControlSet\\Control\\StillImage\\Events";
const std::string kHandler = "NimbrelPicturesHandlerOnArrival";
const std::string kStillId = "{1FB895B8-BC8D-4701-9341-30AE0EC17B64}";
const std::string kShellExtClass = "CLSID\\{6D1F0B24-7C35-4A89-B3E2-4F8A0C5D2E51}";
const std::string kAddinClass = "CLSID\\{9B4C2E37-1A58-4D6C-A0F3-8E2D6B7C3F61}";
const char* const kEvents[] = {"ShowPicturesOnArrival", "MixedContentOnArrival", "PlayVideoFilesOnArrival"};
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kEditionKey[] = "Software\\Extras Test Vendor";

HWND DeviceConnectWindow() { return FindWindowA("STATIC", "NimbrelPhotosDeviceConnect"); }

bool WaitForWindow(bool present, DWORD timeoutMs = 10000) {
  for (DWORD waited = 0;; waited += 50) {
    if ((DeviceConnectWindow() != nullptr) == present) return true;
    if (waited >= timeoutMs) return false;
    Sleep(50);
  }
}

void StopDeviceConnect() {
  for (int i = 0; i < 20 && DeviceConnectWindow(); ++i) {
    PostMessageA(DeviceConnectWindow(), WM_DESTROY, 0, 0);
    WaitForWindow(false, 2000);
  }
}

std::string DesktopLink() {
  char folder[MAX_PATH] = {};
  if (GetDesktopFolder(folder) != ERROR_SUCCESS) return "";
  return std::string(folder) + "\\Snapora.lnk";
}

std::string QuickLaunchFolder() {
  char folder[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE);
  return std::string(folder) + "\\Microsoft\\Internet Explorer\\Quick Launch";
}

struct Shortcut {
  bool loaded = false;
  std::string target, arguments, description;
};

Shortcut ReadShortcut(const std::string& path) {
  Shortcut shortcut;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return shortcut;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    std::wstring wide(path.begin(), path.end());
    if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
      char text[MAX_PATH] = {};
      link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
      shortcut.target = text;
      text[0] = '\0';
      link->GetArguments(text, MAX_PATH);
      shortcut.arguments = text;
      text[0] = '\0';
      link->GetDescription(text, MAX_PATH);
      shortcut.description = text;
      shortcut.loaded = true;
    }
    file->Release();
  }
  link->Release();
  return shortcut;
}

void ExpectShortcut(const std::string& link, const std::string& target) {
  Shortcut shortcut = ReadShortcut(link);
  ASSERT_TRUE(shortcut.loaded) << link;
  EXPECT_STREQ(target.c_str(), shortcut.target.c_str()) << link;
  EXPECT_EQ(" /Launch", shortcut.arguments) << link;
  EXPECT_EQ("Launch Snapora", shortcut.description) << link;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string RunValue() {
  std::string value;
  ReadString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, &value);
  return value;
}

std::string PendingRenames() {
  HKEY key;
  std::string text;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return text;
  DWORD size = 0;
  if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<char> data(size + 2, '\0');
    RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    for (char c : data) text += c ? c : '|';
  }
  RegCloseKey(key);
  return text;
}

class ExtrasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_extras = m_scratch / "extras\\";
    m_journal = m_scratch / "journal.txt";
    ASSERT_TRUE(MakeFolders(m_extras));
    for (const char* name : {"SnaporaDeviceConnect.exe", "SnaporaShellExt.dll", "NimbrelPhotosOutlookAddin.dll"})
      ASSERT_TRUE(CopyFileA(BuildPath(std::string("sample\\") + name).c_str(), (m_extras + name).c_str(), FALSE))
          << name;
    SetEnvironmentVariableA("TOLLIX_SAMPLE_JOURNAL", m_journal.c_str());
    m_createdQuickLaunch = !PathExists(QuickLaunchFolder());
    MakeFolders(QuickLaunchFolder());
    ReadString(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &m_pendingRenames);
    m_hadPendingRenames = ValueExists(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    for (const char* event : kEvents) {
      std::string key = kAH + "\\EventHandlers\\" + event;
      if (!KeyExists(HKEY_LOCAL_MACHINE, key)) m_createdKeys.push_back(key);
    }
    if (!KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers")) m_createdKeys.push_back(kAH + "\\Handlers");
    for (const std::string& key : m_createdKeys) SetString(HKEY_LOCAL_MACHINE, key, "Extras test", "");
    Reset();
  }

  void TearDown() override {
    Reset();
    for (const std::string& key : m_createdKeys) DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
    if (m_createdQuickLaunch) RemoveTree(QuickLaunchFolder());
    RestorePendingRenames();
    SetEnvironmentVariableA("TOLLIX_SAMPLE_JOURNAL", nullptr);
    CoUninitialize();
  }

  void Reset() {
    StopDeviceConnect();
    HKEY run;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
      RegDeleteValueA(run, kRunValue);
      RegCloseKey(run);
    }
    DeleteKeyTree(HKEY_CLASSES_ROOT, "Tollix.AutoPlay");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler);
    for (const char* event : kEvents) {
      HKEY key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kAH + "\\EventHandlers\\" + event).c_str(), 0, KEY_SET_VALUE, &key) ==
          ERROR_SUCCESS) {
        RegDeleteValueA(key, kHandler.c_str());
        RegCloseKey(key);
      }
    }
    HKEY cancel;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kAH + "\\CancelAutoplay\\CLSID").c_str(), 0, KEY_SET_VALUE, &cancel) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(cancel, "903B475E-E2C0-4c17-A965-CD52BA629ADF");
      RegCloseKey(cancel);
    }
    DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSE + "\\ScanButton\\" + kStillId);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kShellExtClass);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kAddinClass);
    DeleteKeyTree(HKEY_CLASSES_ROOT, "Snapora.ShellExt");
    DeleteKeyTree(HKEY_CLASSES_ROOT, "NimbrelPhotos.OutlookAddin");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSearchBarV35);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kEditionKey);
    DeleteFileA(DesktopLink().c_str());
    DeleteFileA((QuickLaunchFolder() + "\\Snapora.lnk").c_str());
  }

  void RestorePendingRenames() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (m_hadPendingRenames)
      RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                     reinterpret_cast<const BYTE*>(m_pendingRenames.c_str()),
                     static_cast<DWORD>(m_pendingRenames.size() + 2));
    else
      RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
  }

  std::vector<std::string> JournalLines() {
    std::string text;
    ReadTextFile(m_journal, &text);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("SnaporaDeviceConnect.exe\t", 0) == 0) lines.push_back(line.substr(25));
      start = end + 1;
    }
    return lines;
  }

  std::string Program() const { return m_extras + "SnaporaDeviceConnect.exe"; }

  ScratchFolder m_scratch;
  std::string m_extras;
  std::string m_journal;
  std::string m_pendingRenames;
  bool m_hadPendingRenames = false;
  bool m_createdQuickLaunch = false;
  std::vector<std::string> m_createdKeys;
};

// InstallExtras through a real edition whose runtime program files folder is the extras folder.
TEST_F(ExtrasTest, InstallFollowsTheWindowsVersion) {
  if (!IsChildTestRun()) {
    for (const char* version : {"win2k", "winxp", "vista"}) EXPECT_EQ(0u, RunThisTestAs(version)) << version;
    return;
  }
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(&info));
#pragma GCC diagnostic pop
  const bool xpOrLater = info.dwMajorVersion > 5 || info.dwMinorVersion >= 1;
  SCOPED_TRACE(xpOrLater ? "XP or later" : "Windows 2000");

  const std::string edition = m_scratch / "edition\\";
  ASSERT_TRUE(MakeFolders(edition));
  ASSERT_TRUE(
      CopyFileA(BuildPath("sample\\TollixSystemInfo.dll").c_str(), (edition + "TollixSystemInfo.dll").c_str(), FALSE));
  ASSERT_TRUE(WriteTextFile(edition + "TollixSystemInfo.ini",
                            "[Edition]\r\nVendor=Extras Test Vendor\r\nProduct=Extras Test\r\n"
                            "ProductVersion=3.8.1.5\r\n[Folders]\r\nRuntimeProgramFiles=" +
                                m_extras.substr(0, m_extras.size() - 1) + "\r\n"));
  // The install records made before the extras: the marker goes into the product's own key.
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, std::string(kEditionKey) + "\\Extras Test", "InstallID", "x"));
  {
    ProductSession session;
    ASSERT_EQ(kStatusOk, session.LoadSystemInfo((edition + "TollixSystemInfo.dll").c_str(), ""));
    RecordingChannel channel;
    InstallExtras(session.m_systemInfo, false);
    EXPECT_TRUE(channel.Has(kLogInfo, "Installing Snapora Extras with Autoplay"));
    EXPECT_EQ(xpOrLater, channel.Has(kLogInfo, "AutoRun set to true"));
  }

  DWORD marker = 0;
  EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, std::string(kEditionKey) + "\\Extras Test", "Snapora", &marker));
  EXPECT_EQ(1u, marker);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kShellExtClass));
  ExpectShortcut(DesktopLink(), Program());
  ExpectShortcut(QuickLaunchFolder() + "\\Snapora.lnk", Program());

  EXPECT_EQ(xpOrLater, KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay\\shell\\open\\command"));
  EXPECT_EQ(xpOrLater, KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId));
  EXPECT_EQ(xpOrLater ? Quoted(Program()) : "", RunValue());
  if (xpOrLater) {
    EXPECT_TRUE(WaitForWindow(true));
  } else {
    // The program stays until it is told to go: had it been started, it would be running now.
    EXPECT_EQ(0, CountProcesses("SnaporaDeviceConnect.exe"));
    EXPECT_TRUE(JournalLines().empty());
  }
}

TEST_F(ExtrasTest, AutorunOffStopsTheRunningProgramAndKeepsTheHandlers) {
  ChildProcess running;
  ASSERT_TRUE(running.Start(Program(), ""));
  ASSERT_TRUE(WaitForWindow(true));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, Program()));

  EXPECT_TRUE(SetUpExtras(m_extras.c_str(), true));

  EXPECT_TRUE(running.Wait(10000, nullptr));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kRunValue));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay\\shell\\open\\command"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\ScanButton\\" + kStillId));
  EXPECT_EQ(0, CountProcesses("SnaporaDeviceConnect.exe"));
  EXPECT_EQ((std::vector<std::string>{"start\t", "end\t"}), JournalLines());
}

TEST_F(ExtrasTest, RestartStopsTheRunningInstanceAndPausesBeforeTheNewOne) {
  ChildProcess running;
  ASSERT_TRUE(running.Start(Program(), "/old"));
  ASSERT_TRUE(WaitForWindow(true));

  // Without the trailing backslash the program's name still gets its separator.
  const std::string folder = m_extras.substr(0, m_extras.size() - 1);
  DWORD started = GetTickCount();
  EXPECT_TRUE(SetDeviceConnectAutorun(true, true, folder.c_str()));
  DWORD elapsed = GetTickCount() - started;

  EXPECT_GE(elapsed, 1000u);
  EXPECT_TRUE(running.Wait(5000, nullptr));
  EXPECT_EQ(Quoted(Program()), RunValue());
  ASSERT_TRUE(WaitForWindow(true));
  for (int i = 0; i < 100 && JournalLines().size() < 3; ++i) Sleep(50);
  EXPECT_EQ((std::vector<std::string>{"start\t/old", "end\t/old", "start\t"}), JournalLines());
}

TEST_F(ExtrasTest, AutorunWithoutAFolderUsesTheSearchBarFolder) {
  const std::string folder = m_extras.substr(0, m_extras.size() - 1);
  struct Case {
    bool keyPresent;
    std::string installFolder;
    bool result;
  };
  const Case cases[] = {
      {true, folder, true},
      {true, m_extras, true},
      {true, Program(), true},
      {true, "", false},
      {false, "", false},
      // A partial folder would be completed from whatever folder Windows starts it in.
      {true, "Snapora Apps\\", false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.keyPresent ? "folder " + test.installFolder : std::string("no search bar key"));
    Reset();
    if (test.keyPresent) {
      ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSearchBarV35, "", test.installFolder));
    }

    EXPECT_EQ(test.result, SetDeviceConnectAutorun(true, false, nullptr));
    EXPECT_EQ(test.result ? Quoted(Program()) : "", RunValue());
    EXPECT_EQ(test.result, WaitForWindow(true, test.result ? 10000 : 500));
  }
}

// Runs a stored command line the way the shell does: the program is whatever the text names.
// The exit code, or 0xFFFFFFFF when it could not start or did not end in time.
DWORD RunStoredCommand(const std::string& command) {
  std::vector<char> buffer(command.begin(), command.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  DWORD exitCode = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &exitCode);
  else
    TerminateProcess(process.hProcess, 99);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

// The runtime in a folder with blanks, and a program planted where an unquoted path is cut at
// its first blank: set-up starts only the real program, and every command it stores names it
// in quotes, so running them as the shell would reaches the real program too.
TEST_F(ExtrasTest, PathsWithBlanksNeverRunAProgramAtTheCutOffPath) {
  const std::string runtime = m_scratch / "TT\\My Apps\\Runtime\\";
  ASSERT_TRUE(MakeFolders(runtime));
  for (const char* name : {"SnaporaDeviceConnect.exe", "SnaporaShellExt.dll", "NimbrelPhotosOutlookAddin.dll"})
    ASSERT_TRUE(CopyFileA((m_extras + name).c_str(), (runtime + name).c_str(), FALSE)) << name;
  // The planted program records its command line beside itself whenever it runs.
  ASSERT_TRUE(CopyFileA(BuildPath("fixtures\\stand_in_ie.exe").c_str(), (m_scratch / "TT\\My.exe").c_str(), FALSE));
  const std::string plantedRecord = m_scratch / "TT\\stand_in_ie.log";
  SetEnvironmentVariableA("TOLLIX_STAND_IN_IE_LOG", nullptr);
  const std::string program = Quoted(runtime + "SnaporaDeviceConnect.exe");

  ASSERT_TRUE(SetUpExtras(runtime.c_str(), false));
  EXPECT_TRUE(WaitForWindow(true));

  std::string autoplay, localServer;
  EXPECT_EQ(program, RunValue());
  ReadString(HKEY_CLASSES_ROOT, "Tollix.AutoPlay\\shell\\open\\command", "", &autoplay);
  EXPECT_EQ(program + " /Autoplay \"%1\"", autoplay);
  ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId + "\\LocalServer32", "", &localServer);
  EXPECT_EQ(program + " /WIA", localServer);
  for (const char* kind : {"\\Connected\\", "\\ScanButton\\"}) {
    std::string command;
    ReadString(HKEY_LOCAL_MACHINE, kSE + kind + kStillId, "CmdLine", &command);
    EXPECT_EQ(program + " /WIA", command) << kind;
  }

  std::string drive = autoplay;
  const size_t placeholder = drive.find("%1");
  if (placeholder != std::string::npos) drive.replace(placeholder, 2, "E:\\");
  for (const std::string& command : {RunValue(), drive, localServer})
    EXPECT_EQ(0u, RunStoredCommand(command)) << command;
  EXPECT_EQ((std::vector<std::string>{"start\t", "already running\t", "already running\t/Autoplay \"E:\\\"",
                                      "already running\t/WIA"}),
            JournalLines());
  Sleep(500);
  EXPECT_FALSE(PathExists(plantedRecord));
}

TEST_F(ExtrasTest, RemovalAfterSetUpLeavesNothing) {
  ASSERT_TRUE(WriteTextFile(m_extras + "left.tmp", "x"));
  ASSERT_TRUE(SetUpExtras(m_extras.c_str(), false));
  ASSERT_TRUE(WaitForWindow(true));
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kShellExtClass));
  RecordingChannel channel;

  EXPECT_TRUE(RemoveExtras(m_extras.c_str(), false));

  EXPECT_TRUE(WaitForWindow(false));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kRunValue));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kShellExtClass));
  EXPECT_FALSE(PathExists(DesktopLink()));
  EXPECT_FALSE(PathExists(QuickLaunchFolder() + "\\Snapora.lnk"));
  EXPECT_FALSE(PathExists(m_extras + "SnaporaShellExt.dll"));
  EXPECT_FALSE(PathExists(m_extras + "NimbrelPhotosOutlookAddin.dll"));
  EXPECT_FALSE(PathExists(m_extras + "left.tmp"));
  EXPECT_TRUE(PathExists(Program()));
  EXPECT_TRUE(channel.Texts(kLogError).empty());
}

TEST_F(ExtrasTest, RemovalRenamesAShellExtensionStillLoadedElsewhere) {
  // The holder keeps the extension loaded like Explorer would; a stale renamed copy of an
  // earlier removal and a leftover of another module lie beside it.
  ASSERT_TRUE(WriteTextFile(m_extras + "SnaporaShellExt.dll_tmp", "stale"));
  ASSERT_TRUE(WriteTextFile(m_extras + "Older.dll_tmp", "old"));
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "TollixExtrasTestHolderReady");
  ChildProcess holder;
  ASSERT_TRUE(holder.Start(BuildPath("fixtures\\extras_module_holder.exe"),
                           "\"" + m_extras + "SnaporaShellExt.dll\" TollixExtrasTestHolderReady"));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 15000));
  CloseHandle(ready);

  EXPECT_TRUE(RemoveExtras(m_extras.c_str(), false));

  EXPECT_FALSE(PathExists(m_extras + "SnaporaShellExt.dll"));
  EXPECT_TRUE(PathExists(m_extras + "SnaporaShellExt.dll_tmp"));
  EXPECT_FALSE(PathExists(m_extras + "NimbrelPhotosOutlookAddin.dll"));
  EXPECT_FALSE(PathExists(m_extras + "Older.dll_tmp"));
  std::string renamed;
  EXPECT_TRUE(ReadTextFile(m_extras + "SnaporaShellExt.dll_tmp", &renamed));
  EXPECT_NE("stale", renamed);
  EXPECT_NE(std::string::npos, PendingRenames().find("SnaporaShellExt.dll_tmp")) << PendingRenames();
  holder.Kill();
}

TEST_F(ExtrasTest, RemovalWithoutTheFolderStillRemovesTheRest) {
  const std::string gone = m_scratch / "missing\\";
  {
    RecordingChannel channel;
    EXPECT_TRUE(RemoveExtras(gone.c_str(), false));
    EXPECT_TRUE(RemoveExtras(nullptr, false));
    EXPECT_TRUE(channel.Texts().empty());
  }
  ASSERT_TRUE(SetUpExtras(m_extras.c_str(), true));
  ASSERT_TRUE(SetDeviceConnectAutorun(true, false, m_extras.c_str()));
  ASSERT_TRUE(WaitForWindow(true));

  EXPECT_TRUE(RemoveExtras(gone.c_str(), false));

  EXPECT_TRUE(WaitForWindow(false));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kRunValue));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\ScanButton\\" + kStillId));
  EXPECT_FALSE(PathExists(DesktopLink()));
  EXPECT_FALSE(PathExists(QuickLaunchFolder() + "\\Snapora.lnk"));
  // The modules of a folder that was not named stay untouched.
  EXPECT_TRUE(PathExists(m_extras + "SnaporaShellExt.dll"));
}

// An extras folder that is a system folder (C:\Windows, either Program Files view) is refused
// with a message naming it and nothing in it is deleted, while the Run value, the handlers and
// the shortcuts still go.
TEST_F(ExtrasTest, SystemFolderAsExtrasFolderIsRefusedAndTheRestIsRemoved) {
  char native[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("ProgramW6432", native, sizeof native);
  const std::string folders[] = {
      ShellFolder(CSIDL_WINDOWS),
      ShellFolder(CSIDL_PROGRAM_FILES),
      length > 0 && length < sizeof native ? std::string(native) + "\\" : "",
  };
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;  // no native Program Files on this system
    SCOPED_TRACE(folder);
    ASSERT_TRUE(SetUpExtras(m_extras.c_str(), true));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, Program()));
    const std::string canaries[] = {folder + "TollixCanary.tmp", folder + "TollixCanary.dll_tmp"};
    for (const std::string& canary : canaries) ASSERT_TRUE(WriteTextFile(canary, "not ours"));
    RecordingChannel channel;

    EXPECT_TRUE(RemoveExtras(folder.c_str(), false));
    EXPECT_TRUE(RemoveExtras(folder.c_str(), true));

    for (const std::string& canary : canaries) {
      EXPECT_TRUE(PathExists(canary)) << canary;
      DeleteFileA(canary.c_str());
    }
    EXPECT_TRUE(channel.HasPrefix("Refusing to delete \"" + folder + "\": "));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kRunValue));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler));
    EXPECT_FALSE(PathExists(DesktopLink()));
    EXPECT_FALSE(PathExists(QuickLaunchFolder() + "\\Snapora.lnk"));
    Reset();
  }
}

TEST_F(ExtrasTest, CleanUpOnlyKeepsTheRegistrations) {
  ASSERT_TRUE(SetUpExtras(m_extras.c_str(), true));
  EXPECT_TRUE(RemoveExtras(m_extras.c_str(), true));
  EXPECT_FALSE(PathExists(m_extras + "SnaporaShellExt.dll"));
  // Without unregistration the class stays; so do the handlers and shortcuts.
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kShellExtClass));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
  EXPECT_TRUE(PathExists(DesktopLink()));
}

TEST_F(ExtrasTest, WithoutAFolderNothingIsWrittenWithABrokenPath) {
  EXPECT_TRUE(SetUpExtras(nullptr, false));
  EXPECT_TRUE(SetUpExtras("", false));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kShellExtClass));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId));
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kRunValue));
  EXPECT_FALSE(PathExists(DesktopLink()));
  EXPECT_FALSE(PathExists(QuickLaunchFolder() + "\\Snapora.lnk"));
  EXPECT_EQ(kStatusMissingArgument, UpdateExtrasShortcuts(nullptr, true));
  // The clean-up of a path that is no folder must not take its neighbours' files.
  CleanExtrasFolder(Program().c_str());
  CleanExtrasFolder(nullptr);
  EXPECT_TRUE(PathExists(m_extras + "SnaporaShellExt.dll"));
}

TEST_F(ExtrasTest, ShortcutAndModuleCallsAnswerBadInput) {
  const std::string link = m_scratch / "a.lnk";
  struct Case {
    const char* target;
    std::string link;
    Status expected;
  };
  const Case cases[] = {
      {nullptr, link, kStatusMissingArgument},
      {"", link, kStatusMissingArgument},
      {"C:\\x.exe", "", kStatusMissingArgument},
      {"C:\\x.exe", m_scratch / "no such folder\\a.lnk", kStatusFailed},
      {"C:\\x.exe", link, kStatusOk},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.link);
    EXPECT_EQ(test.expected, CreateShortcut(test.target, nullptr, test.link.c_str(), "d", nullptr));
  }
  EXPECT_EQ(kStatusMissingArgument, CreateShortcut("C:\\x.exe", nullptr, nullptr, "d", nullptr));
  EXPECT_EQ(kStatusMissingArgument, DeleteShortcutFile(nullptr));
  EXPECT_EQ(kStatusMissingArgument, DeleteShortcutFile(""));
  EXPECT_EQ(kStatusOk, DeleteShortcutFile(link.c_str()));
  EXPECT_FALSE(PathExists(link));
  EXPECT_EQ(kStatusFailed, DeleteShortcutFile(link.c_str()));

  EXPECT_EQ(0, CallDllRegistration((m_scratch / "missing.dll").c_str(), true));
  EXPECT_EQ(0, CallDllRegistration(nullptr, true));
  EXPECT_EQ(1, CallDllRegistration((m_extras + "NimbrelPhotosOutlookAddin.dll").c_str(), true));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kAddinClass));
  EXPECT_EQ(1, CallDllRegistration((m_extras + "NimbrelPhotosOutlookAddin.dll").c_str(), false));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAddinClass));
  EXPECT_TRUE(IsFolder(m_extras.c_str()));
  EXPECT_FALSE(IsFolder(Program().c_str()));
  EXPECT_FALSE(IsFolder(nullptr));
}

TEST_F(ExtrasTest, ShortcutsWhenADesktopOrQuickLaunchFolderIsMissing) {
  const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::string common, user;
  bool hadCommon = ReadString(HKEY_LOCAL_MACHINE, shellFolders, "Common Desktop", &common);
  bool hadUser = ReadString(HKEY_CURRENT_USER, shellFolders, "Desktop", &user);
  const std::string desktopLink = DesktopLink();
  ASSERT_FALSE(desktopLink.empty());
  // The all-users desktop is the one used whenever the system names it.
  EXPECT_EQ(0u, desktopLink.find(common)) << desktopLink;

  auto removeValue = [](HKEY root, const std::string& path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, name);
      RegCloseKey(key);
    }
  };
  removeValue(HKEY_LOCAL_MACHINE, shellFolders, "Common Desktop");
  removeValue(HKEY_CURRENT_USER, shellFolders, "Desktop");
  Status noDesktop = UpdateExtrasShortcuts(m_extras.c_str(), true);
  if (hadCommon) SetString(HKEY_LOCAL_MACHINE, shellFolders, "Common Desktop", common);
  if (hadUser) SetString(HKEY_CURRENT_USER, shellFolders, "Desktop", user);

  EXPECT_EQ(kStatusOk, noDesktop);
  EXPECT_FALSE(PathExists(desktopLink));
  ExpectShortcut(QuickLaunchFolder() + "\\Snapora.lnk", Program());

  // A Quick Launch folder that does not exist cannot take a shortcut; the desktop still gets one.
  Reset();
  const std::string quickLaunch = QuickLaunchFolder();
  ASSERT_TRUE(RemoveTree(quickLaunch));
  EXPECT_EQ(kStatusFailed, UpdateExtrasShortcuts(m_extras.c_str(), true));
  ExpectShortcut(desktopLink, Program());
  EXPECT_EQ(kStatusFailed, UpdateExtrasShortcuts(m_extras.c_str(), false));
  EXPECT_FALSE(PathExists(desktopLink));
  MakeFolders(quickLaunch);
}

}  // namespace
