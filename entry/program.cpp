// Program entry: the nine start-up steps, the administrator test and the browser launch.
#include "entry/program.h"

#include <objbase.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "base/status.h"
#include "entry/install_driver.h"
#include "entry/uninstall_driver.h"
#include "sys/options.h"
#include "sys/command_line.h"

namespace {

const char kTestKeyName[] = "InstallerTestKeyTriedToDetermineWriteAccess";

}  // namespace

int RunProgram(HINSTANCE instance, const char* commandTail, const char* programPath) {
  CoInitialize(nullptr);
  const bool startedChannel = StartDebugChannel("Tollix Installer", nullptr);
  LogInfo("Initializing");
  LogInfo("Tollix installer/uninstaller starting: '", commandTail, "'");

  int exitCode = kExitSuccess;
  if (!HasAdministratorRights()) {
    ShowNotification("Please log in as an Administrator to install or uninstall this toolbar.",
                     "Insufficient Permissions", true);
    LogInfo("Exiting");
    exitCode = kExitFailure;
  } else {
    const bool uninstall =
        FindOption(commandTail, "/u", false) || (programPath && strstr(programPath, "Uninstaller.exe"));
    const long status = uninstall ? RunUninstall(commandTail, instance) : InstallDriver(commandTail);
    if (status < 0) {
      LogMessage(kLogError).Text("The install/uninstall failed. (").Signed(status).Text(")");
      exitCode = kExitFailure;
    } else if (status == kStatusCancelled) {
      LogInfo("User cancelled the operation.");
    } else {
      HeapString address;
      if (GetOptionValue(commandTail, "/url", &address) && !address.IsEmpty())
        LaunchBrowser(address.Text(), AddressNeedsConnection(address.Text()));
      else
        LogInfo("No /url parameter, not launching IE.");
    }
    LogInfo("Exiting");
  }

  if (startedChannel) StopDebugChannel();
  CoUninitialize();
  return exitCode;
}

bool HasAdministratorRights() {
  ScopedRegKey classes;
  if (classes.Create(HKEY_CLASSES_ROOT, "CLSID", KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
  ScopedRegKey testKey;
  if (testKey.Create(classes.Get(), kTestKeyName, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;

  bool result = true;
  const DWORD value = 123;
  if (RegSetValueExA(testKey.Get(), "TestValue", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
      ERROR_SUCCESS) {
    if (RegDeleteValueA(testKey.Get(), "TestValue") != ERROR_SUCCESS) result = false;
  } else {
    result = false;
  }
  testKey.Close();
  if (RegDeleteKeyA(classes.Get(), kTestKeyName) != ERROR_SUCCESS) result = false;
  return result;
}

void ShowNotification(const char* text, const char* caption, bool warning) {
  if (!text) return;
  MessageBoxA(nullptr, text, caption ? caption : "Notification",
              MB_OK | MB_TASKMODAL | (warning ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

bool IsBareAddress(const char* address) {
  if (!address || _stricmp(address, "about:blank") == 0) return false;
  if (address[0] == '\\' && address[1] == '\\') return false;
  for (const char* p = address; *p; ++p) {
    if (*p == ':' && (p[1] == '/' || p[1] == '\\' || p[1] == ':')) return false;
    if (*p == '?' || *p == '/' || *p == '\\') return true;
  }
  return true;
}

bool AddressNeedsConnection(const char* address) {
  if (IsBareAddress(address)) return false;
  if (address[0] && address[1] == ':') return false;
  if (strncmp(address, "file://", 7) == 0) return false;
  if (address[0] == '\\' && address[1] == '\\') return false;
  return true;
}

void LaunchBrowser(const char* address, bool requireOnline) {
  if (requireOnline) {
    DWORD flags = 0;
    if (!InternetGetConnectedStateFromSystem(&flags, 0)) {
      LogInfo("Not opening IE since we are offline.");
      return;
    }
  }

  char browser[kPathBufferSize] = {};
  ScopedRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
               KEY_QUERY_VALUE) == ERROR_SUCCESS) {
    key.ReadText(nullptr, browser, sizeof browser);
    key.Close();
  }

  // The log shows the browser's arguments; the program itself is started by its full path,
  // which also leads its command line in quotes.
  HeapString arguments;
  arguments.Assign(" -new \"");
  arguments.Append(address);
  arguments.Append("\"");
  LogInfo("Launching IE: ", arguments.Text());

  if (!StartProgram(browser, arguments.Text(), CREATE_NEW_PROCESS_GROUP)) {
    const DWORD error = GetLastError();
    LogMessage(kLogError).Text("Failed to launch IE: ").Unsigned(error);
  }
}
