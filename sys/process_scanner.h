// Finding the processes that hold the toolbar's modules, on both Windows families, asking the
// user once and ending them.
#pragma once

#include <windows.h>

#include "base/heap_string.h"

// The scan's callback. It is the first virtual operation of both pass objects (ProductSession
// and Uninstaller); returning false stops the whole scan.
class ProcessModuleHandler {
 public:
  virtual bool OnProcessModule(const char* processName, const char* moduleName, DWORD processId) = 0;
  virtual ~ProcessModuleHandler() {}
};

// Entry points loaded at run time for the running platform.
struct ProcessApi {
  FARPROC createToolhelp32Snapshot;
  FARPROC process32First;
  FARPROC process32Next;
  FARPROC module32First;
  FARPROC module32Next;
  FARPROC enumProcesses;
  FARPROC enumProcessModules;
  FARPROC getModuleFileNameExA;
  FARPROC vdmEnumTaskWOWEx;
  HMODULE firstLibrary;  // "Kernel32.DLL" or "PSAPI.DLL"
  HMODULE vdmLibrary;    // "VDMDBG.DLL"
};

class ProcessScanner {
 public:
  ProcessScanner();
  ~ProcessScanner();
  ProcessScanner(const ProcessScanner&) = delete;
  ProcessScanner& operator=(const ProcessScanner&) = delete;

  // Calls handler->OnProcessModule for every module of every process until it returns false.
  void ScanProcesses(ProcessModuleHandler* handler);
  const ProcessApi& Api() const { return m_api; }

 private:
  ProcessApi m_api;
  ProcessModuleHandler* m_handler;
};

// Results of CloseProcess.
const int kCloseProcessNotOpened = 0;
const int kCloseProcessTerminated = 2;

int CloseProcess(DWORD processId, DWORD waitMs);
bool GetProcessImageName(const ProcessApi& api, DWORD processId, char* out, DWORD outSize, DWORD* outLength);
// MessageBoxA without an owner; true exactly when the user chose Yes.
bool AskYesNo(const char* text, const char* caption, UINT style);

// The shared behaviour of both passes' OnProcessModule: for a module of the toolbar, ask the
// question once per pass (the answer goes to mayCloseBrowser, 1 Yes or 0 No) and end the
// process when allowed. Always returns true so the scan goes on.
bool CloseBrowserHoldingToolbar(const char* moduleName, DWORD processId, const char* question, DWORD* mayCloseBrowser,
                                bool* askedToCloseBrowser);

extern const char kInstallCloseBrowserQuestion[];
extern const char kUninstallCloseBrowserQuestion[];
extern const char kCloseBrowserCaption[];
