// Uninstall mode: keeping other installer and uninstaller runs out, asking which kind of
// removal is wanted (dialog 118), and running one uninstall pass.
#include "entry/uninstall_driver.h"

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "base/status.h"
#include "res/resource.h"
#include "uninstall/uninstaller.h"

namespace {

const char kAlreadyRunning[] = "There is already an installer/uninstaller running. Exiting.";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The last wait given to a running installer; the waits double from 1 ms up to this.
const DWORD kLastInstallerWaitMs = 4096;

// Waits for an installer's mutex with doubling time-outs; true when this run now owns it.
bool WaitForInstallerMutex(HANDLE mutex) {
  for (DWORD timeout = 1;; timeout *= 2) {
    const DWORD result = WaitForSingleObject(mutex, timeout);
    if (result != WAIT_TIMEOUT) return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    if (timeout >= kLastInstallerWaitMs) return false;
  }
}

void ClearRunOnceEntries() {
  ScopedRegKey runOnce;
  if (runOnce.Open(HKEY_LOCAL_MACHINE, kRunOnceKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
  RegDeleteValueA(runOnce.Get(), "TollixUninstaller");
  RegDeleteValueA(runOnce.Get(), "txrunon.exe");
}

}  // namespace

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) {
    CheckRadioButton(dialog, IDC_TOOLBAR_UNINSTALL, IDC_COMPLETE_UNINSTALL, IDC_TOOLBAR_UNINSTALL);
    return FALSE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int command = LOWORD(wParam);
  if (command == IDC_TOOLBAR_UNINSTALL || command == IDC_COMPLETE_UNINSTALL) {
    CheckRadioButton(dialog, IDC_TOOLBAR_UNINSTALL, IDC_COMPLETE_UNINSTALL, command);
    return FALSE;
  }
  if (command == IDOK) {
    if (IsDlgButtonChecked(dialog, IDC_TOOLBAR_UNINSTALL) == BST_CHECKED) {
      EndDialog(dialog, IDC_TOOLBAR_UNINSTALL);
    } else if (IsDlgButtonChecked(dialog, IDC_COMPLETE_UNINSTALL) == BST_CHECKED) {
      EndDialog(dialog, IDC_COMPLETE_UNINSTALL);
    } else {
      EndDialog(dialog, static_cast<INT_PTR>(wParam));
    }
    return TRUE;
  }
  if (command == IDCANCEL) {
    EndDialog(dialog, static_cast<INT_PTR>(wParam));
    return TRUE;
  }
  return FALSE;
}

namespace {

// Everything between taking the mutexes and releasing them.
Status RunUninstallPass(const char* commandLine, HINSTANCE instance) {
  LogInfo("Uninstalling");
  const INT_PTR choice = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UNINSTALL), nullptr, UninstallDialogProc, 0);
  if (choice == IDCANCEL) return kStatusCancelled;
  if (choice == -1 || choice == 0) {
    LogMessage(kLogError).Text("Could not show the uninstall dialog, error ").Unsigned(GetLastError());
    return kStatusFailed;
  }
  const bool deleteUserData = choice == IDC_COMPLETE_UNINSTALL;

  ClearRunOnceEntries();

  // The edition's module is the one beside this program, never one found along the search order.
  HeapString modulePath;
  if (!GetProgramFolderPath("TollixSystemInfo.dll", &modulePath)) {
    LogMessage(kLogError)
        .Text("Unable to name the system info module beside the program. (")
        .Unsigned(GetLastError())
        .Text(")");
    return kStatusFailed;
  }
  Uninstaller uninstaller;
  const Status initialized = uninstaller.Initialize(modulePath.Text(), commandLine ? commandLine : "");
  if (initialized != kStatusOk) return initialized;

  UninstallOptions everything;
  everything.removeRuntime = true;
  everything.removeProduct = true;
  everything.deleteUserData = deleteUserData;
  everything.sendPing = true;
  everything.unregisterToolbar = true;
  everything.removeUninstallEntry = true;
  everything.removeFromRuntimeList = true;
  const Status status = uninstaller.Uninstall(everything);
  if (status < 0) {
    LogMessage(kLogError).Text("Unstallation did not complete: err = ").Signed(status);
    return status;
  }
  return kStatusOk;
}

}  // namespace

Status RunUninstall(const char* commandLine, HINSTANCE instance) {
  ScopedHandle uninstallerMutex(CreateMutexA(nullptr, FALSE, "TollixUninstaller"));
  if (uninstallerMutex.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS) {
    LogInfo(kAlreadyRunning);
    return kStatusAlreadyRunning;
  }

  ScopedHandle installerMutex(CreateMutexA(nullptr, FALSE, "TollixInstaller"));
  bool ownsInstallerMutex = false;
  if (installerMutex.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS) {
    ownsInstallerMutex = WaitForInstallerMutex(installerMutex.Get());
    if (!ownsInstallerMutex) {
      LogInfo(kAlreadyRunning);
      return kStatusAlreadyRunning;
    }
  }

  const Status status = RunUninstallPass(commandLine, instance);
  if (ownsInstallerMutex) ReleaseMutex(installerMutex.Get());
  return status;
}
