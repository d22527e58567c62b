// Set-up and removal of the photo extras: the device-connect program, its shell extension and
// mail-client add-in, the start-with-Windows value, and the desktop and Quick Launch shortcuts.
#include "extras/extras.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "base/system_info.h"
#include "extras/autoplay.h"
#include "sys/os_version.h"
#include "sys/path_tests.h"
#include "sys/command_line.h"
#include "sys/file_cleanup.h"
#include "sys/file_removal.h"
#include "sys/path_guard.h"
#include "sys/path_name.h"
#include "sys/registry.h"

namespace {

const char kProgram[] = "SnaporaDeviceConnect.exe";
const char kShellExtension[] = "SnaporaShellExt.dll";
const char kOutlookAddin[] = "NimbrelPhotosOutlookAddin.dll";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "NimbrelPhotosDeviceConnect";
const char kMarkerClass[] = "STATIC";
const char kMarkerTitle[] = "NimbrelPhotosDeviceConnect";
const char kShortcutName[] = "Snapora.lnk";
const char kShortcutArguments[] = " /Launch";
const char kShortcutDescription[] = "Launch Snapora";
const char kQuickLaunch[] = "Microsoft\\Internet Explorer\\Quick Launch\\";
const char* const kModulesInUse[] = {kOutlookAddin, kShellExtension};

// A program that does not answer within this time is left to end by itself.
const UINT kStopTimeoutMs = 10000;

bool HasText(const char* text) { return text && *text; }

HWND FindDeviceConnectWindow() { return FindWindowA(kMarkerClass, kMarkerTitle); }

void PostStopToDeviceConnect() {
  HWND window = FindDeviceConnectWindow();
  if (window) PostMessageA(window, WM_DESTROY, 0, 0);
}

// The Windows error of opening the Run key; the value itself may be missing.
LONG DeleteRunValue() {
  ScopedRegKey key;
  LONG error = RegOpenKeyA(HKEY_LOCAL_MACHINE, kRunKey, key.Receive());
  if (error == ERROR_SUCCESS) RegDeleteValueA(key.Get(), kRunValue);
  return error;
}

// The device-connect program's path: the extras folder's, or the one beside the earlier search
// bar. False when neither gives a usable path.
bool FindProgramPath(const char* folder, char* out) {
  char base[kPathBufferSize];
  if (HasText(folder)) {
    if (strlen(folder) >= sizeof base) return false;
    lstrcpynA(base, folder, sizeof base);
  } else {
    ScopedRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kSearchBarV35Key, KEY_READ) != ERROR_SUCCESS) return false;
    if (key.ReadText(nullptr, base, sizeof base) != ERROR_SUCCESS || !base[0]) return false;
  }
  if (FindTextNoCase(base, kProgram)) {
    lstrcpynA(out, base, kPathBufferSize);
    return true;
  }
  JoinPath(base, kProgram, out, kPathBufferSize);
  return out[0] != '\0';
}

bool StartDeviceConnect(const char* programPath) {
  if (StartProgram(programPath, nullptr, 0)) return true;
  const DWORD error = GetLastError();
  LogMessage(kLogInfo).Text("Starting ").Text(programPath).Text(" failed, error ").Unsigned(error);
  return false;
}

// The shortcut paths; an empty path where the folder is unknown or the name does not fit.
void FindShortcutPaths(PathName* desktop, PathName* quickLaunch) {
  char folder[kPathBufferSize];
  folder[0] = '\0';
  if (GetDesktopFolder(folder) == ERROR_SUCCESS && folder[0]) {
    desktop->Assign(folder);
    if (desktop->AppendComponent(kShortcutName) != kStatusOk) desktop->Assign(nullptr);
  }
  folder[0] = '\0';
  if (SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE) && folder[0]) {
    quickLaunch->Assign(folder);
    if (quickLaunch->AppendComponent(kQuickLaunch) != kStatusOk ||
        quickLaunch->AppendComponent(kShortcutName) != kStatusOk)
      quickLaunch->Assign(nullptr);
  }
}

}  // namespace

void InstallExtras(SystemInfo* systemInfo, bool disableAutorun) {
  if (!IsWindows2000OrLater()) return;
  HeapString folder;
  if (systemInfo) {
    // A failed query may leave a partial text behind; it must not become a path.
    if (systemInfo->GetProgramFilesFolder(kFolderRuntime, &folder) < 0) folder.Clear();
    systemInfo->SetRegDword(kKeyPrivateRead, HKEY_LOCAL_MACHINE, 0, "Snapora", 1);
  }
  LogInfo(disableAutorun ? "Installing Snapora Extras w/o Autoplay" : "Installing Snapora Extras with Autoplay");
  SetUpExtras(folder.IsEmpty() ? nullptr : folder.Text(), disableAutorun);
}

bool SetUpExtras(const char* folder, bool disableAutorun) {
  PostStopToDeviceConnect();
  DeleteRunValue();

  char path[kPathBufferSize];
  if (HasText(folder)) {
    JoinPath(folder, kShellExtension, path, sizeof path);
    if (path[0]) CallDllRegistration(path, true);
  }

  if (IsWindowsXPOrLater()) {
    if (HasText(folder)) {
      RegisterAutoplayHandler(folder);
      RegisterStillImageHandler(folder);
    }
    if (!disableAutorun) {
      LogInfo("AutoRun set to true");
      SetDeviceConnectAutorun(true, true, folder);
    } else {
      LogInfo("AutoRun set to false");
      SetDeviceConnectAutorun(false, false, nullptr);
    }
  }

  UpdateExtrasShortcuts(folder, true);
  return true;
}

bool SetDeviceConnectAutorun(bool enable, bool restart, const char* folder) {
  if (!enable) {
    PostStopToDeviceConnect();
    return DeleteRunValue() == ERROR_SUCCESS;
  }

  char program[kPathBufferSize];
  if (!FindProgramPath(folder, program)) return false;
  // Windows runs the value as a command line: unquoted, a blank in the path would let a
  // program at the part before it run instead.
  HeapString command;
  if (!BuildQuotedCommand(program, nullptr, &command)) {
    const char* refusal = WhyProgramPathIsRefused(program);
    LogMessage(kLogError)
        .Text("Not making ")
        .Text(program)
        .Text(" start with Windows: the path ")
        .Text(refusal ? refusal : "could not be stored");
    return false;
  }

  ScopedRegKey key;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kRunKey, key.Receive()) != ERROR_SUCCESS) return false;
  if (RegSetValueExA(key.Get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.Text()),
                     static_cast<DWORD>(command.Length() + 1)) != ERROR_SUCCESS)
    return false;
  key.Close();

  if (restart) {
    HWND window = FindDeviceConnectWindow();
    if (window) {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, kStopTimeoutMs, &ignored);
      Sleep(1000);
    }
  }
  return StartDeviceConnect(program);
}

bool RemoveExtras(const char* folder, bool cleanupOnly) {
  // A folder the guard refuses is not the extras' own: nothing in it is touched.
  if (IsFolder(folder) && CheckRemovablePath(folder)) {
    if (!cleanupOnly) {
      char path[kPathBufferSize];
      JoinPath(folder, kOutlookAddin, path, sizeof path);
      if (path[0]) CallDllRegistration(path, false);
      JoinPath(folder, kShellExtension, path, sizeof path);
      if (path[0]) CallDllRegistration(path, false);
    }
    CleanExtrasFolder(folder);
  }
  if (cleanupOnly) return true;

  PostStopToDeviceConnect();

  bool removed = true;
  if (DeleteRunValue() != ERROR_SUCCESS) {
    LogError("Disabling the Snapora auto-run failed.");
    removed = false;
  }
  if (!UnregisterAutoplayHandler()) {
    LogError("Removing registry entries Snapora handling of volume-based devices failed.");
    removed = false;
  }
  if (!UnregisterStillImageHandler()) {
    LogError("Removing registry entries Snapora handling of WIA devices failed.");
    removed = false;
  }
  UpdateExtrasShortcuts(folder, false);
  return removed;
}

void CleanExtrasFolder(const char* folder) {
  // Names are only replaced inside an existing folder: on any other path the file name part
  // would be taken for the folder and a neighbouring file deleted instead.
  if (!IsFolder(folder) || !CheckRemovablePath(folder)) return;
  PathName module;
  module.Assign(folder);
  module.AddTrailingBackslashIfFolder();
  PathName renamed(module);

  ShellDeleteFiles(folder, "*.tmp", false);

  for (const char* name : kModulesInUse) {
    if (module.ReplaceFileName(name) != kStatusOk || !module.Exists()) continue;
    if (DeleteFileOrSchedule(module, false) == kStatusOk) continue;
    // Loaded somewhere: move it out of the way so a new copy can take its name.
    HeapString renamedName;
    if (!renamedName.Format("%s_tmp", name) || renamed.ReplaceFileName(renamedName.Text()) != kStatusOk) continue;
    // A leftover of an earlier removal would block the move; it goes first when it can.
    if (renamed.Exists()) DeleteFileOrSchedule(renamed, false);
    if (PathName::MoveTo(module.Text(), renamed.Text()) != kStatusOk) {
      LogMessage(kLogInfo).Text("Moving ").Text(module.Text()).Text(" aside failed, error ").Unsigned(GetLastError());
      continue;
    }
    ScheduleDeleteOnReboot(renamed);
  }

  DeleteMatchingFiles(folder, "*.dll_tmp", false);
}

Status UpdateExtrasShortcuts(const char* folder, bool create) {
  PathName desktop;
  PathName quickLaunch;
  FindShortcutPaths(&desktop, &quickLaunch);

  if (!create) {
    DeleteShortcutFile(desktop.Text());
    return DeleteShortcutFile(quickLaunch.Text());
  }
  if (!HasText(folder)) return kStatusMissingArgument;
  char target[kPathBufferSize];
  JoinPath(folder, kProgram, target, sizeof target);
  CreateShortcut(target, kShortcutArguments, desktop.Text(), kShortcutDescription, nullptr);
  return CreateShortcut(target, kShortcutArguments, quickLaunch.Text(), kShortcutDescription, nullptr);
}

Status CreateShortcut(const char* target, const char* arguments, const char* link, const char* description,
                      const char* icon) {
  if (!HasText(target) || !HasText(link)) return kStatusMissingArgument;

  ScopedComPtr<IShellLinkA> shellLink;
  if (FAILED(
          CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, shellLink.ReceiveVoid())))
    return kStatusFailed;
  shellLink->SetPath(target);
  if (arguments) shellLink->SetArguments(arguments);
  shellLink->SetDescription(description ? description : "");
  if (icon) shellLink->SetIconLocation(icon, 0);

  ScopedComPtr<IPersistFile> file;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return kStatusFailed;
  WCHAR widePath[kPathBufferSize];
  if (!MultiByteToWideChar(CP_ACP, 0, link, -1, widePath, kPathBufferSize)) return kStatusFailed;
  return SUCCEEDED(file->Save(widePath, TRUE)) ? kStatusOk : kStatusFailed;
}

Status DeleteShortcutFile(const char* link) {
  if (!HasText(link)) return kStatusMissingArgument;
  // A list of one name: the text and two terminating NULs.
  char from[kPathBufferSize + 1];
  if (strlen(link) >= kPathBufferSize) return kStatusFailed;
  ZeroMemory(from, sizeof from);
  lstrcpynA(from, link, kPathBufferSize);

  SHFILEOPSTRUCTA operation;
  ZeroMemory(&operation, sizeof operation);
  operation.wFunc = FO_DELETE;
  operation.pFrom = from;
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
  return SHFileOperationA(&operation) == 0 ? kStatusOk : kStatusFailed;
}

INT_PTR CallDllRegistration(const char* path, bool doRegister) {
  HMODULE module = HasText(path) ? LoadModuleFromPath(path) : nullptr;
  if (reinterpret_cast<UINT_PTR>(module) < 32) return reinterpret_cast<INT_PTR>(module);
  DllRegistrationProc entry = reinterpret_cast<DllRegistrationProc>(
      reinterpret_cast<void*>(GetProcAddress(module, doRegister ? "DllRegisterServer" : "DllUnregisterServer")));
  if (entry) entry();
  return FreeLibrary(module);
}

bool IsFolder(const char* path) { return IsExistingDirectory(path); }
