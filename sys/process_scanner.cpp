// Finding the processes that hold the toolbar's modules, on both Windows families, asking the
// user once and ending them.
#include "sys/process_scanner.h"

#include <string.h>
#include <tlhelp32.h>

#include "base/module_loader.h"
#include "sys/file_removal.h"

const char kInstallCloseBrowserQuestion[] =
    "To complete the installation we need to close all of your Internet Explorer windows. Is "
    "that OK?";
const char kUninstallCloseBrowserQuestion[] =
    "We have detected that Internet Explorer is currently running. The uninstaller must close all "
    "Internet Explorer windows to complete uninstallation for this toolbar. Click on the \"YES\" "
    "button to close all Internet Explorer Windows and uninstall the toolbar.";
const char kCloseBrowserCaption[] = "Internet Explorer Running";

namespace {

typedef HANDLE(WINAPI* CreateSnapshotFunction)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkFunction)(HANDLE, PROCESSENTRY32*);
typedef BOOL(WINAPI* ModuleWalkFunction)(HANDLE, MODULEENTRY32*);
typedef BOOL(WINAPI* EnumProcessesFunction)(DWORD*, DWORD, DWORD*);
typedef BOOL(WINAPI* EnumProcessModulesFunction)(HANDLE, HMODULE*, DWORD, DWORD*);
typedef DWORD(WINAPI* GetModuleFileNameExFunction)(HANDLE, HMODULE, LPSTR, DWORD);
typedef BOOL(WINAPI* TaskEnumFunction)(DWORD, WORD, WORD, LPSTR, LPSTR, LPARAM);
typedef INT(WINAPI* VdmEnumTaskWowExFunction)(DWORD, TaskEnumFunction, LPARAM);

template <typename Function>
Function As(FARPROC entry) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(entry));
}

const DWORD kMaxEnumBytes = 16 * 1024 * 1024;

// One process, or one 16-bit task inside an NTVDM.
struct ProcessRecord {
  HeapString name;
  DWORD processId;
  DWORD threadId;
  WORD task16;
  HANDLE process;  // NT family only; may be null
};

struct ModuleRecord {
  HeapString path;
  HMODULE module;
};

enum Family { kNoFamily, kWindows95Family, kNtFamily };

Family FamilyOf(const ProcessApi& api) {
  if (api.enumProcesses && api.enumProcessModules && api.getModuleFileNameExA) return kNtFamily;
  if (api.createToolhelp32Snapshot && api.process32First && api.process32Next && api.module32First && api.module32Next)
    return kWindows95Family;
  return kNoFamily;
}

bool IsNamedNtvdm(const char* name) {
  size_t length = strlen(name);
  return length >= 9 && lstrcmpiA(name + length - 9, "NTVDM.EXE") == 0;
}

// The scan under way, handed through the enumeration callbacks.
struct Scan {
  const ProcessApi* api;
  ProcessModuleHandler* handler;
  bool stopped;
};

bool Report(Scan* scan, const ProcessRecord& record, const ModuleRecord& module) {
  const char* processName = record.name.IsEmpty() ? nullptr : record.name.Text();
  const char* moduleName = module.path.IsEmpty() ? nullptr : module.path.Text();
  if (!scan->handler->OnProcessModule(processName, moduleName, record.processId)) {
    scan->stopped = true;
    return false;
  }
  return true;
}

// Every module of one process; false once the handler has stopped the scan.
bool ScanModules(Scan* scan, const ProcessRecord& record) {
  const ProcessApi& api = *scan->api;
  if (FamilyOf(api) == kNtFamily) {
    if (!record.process) return true;
    EnumProcessModulesFunction enumModules = As<EnumProcessModulesFunction>(api.enumProcessModules);
    GetModuleFileNameExFunction moduleFileName = As<GetModuleFileNameExFunction>(api.getModuleFileNameExA);
    HANDLE heap = GetProcessHeap();
    DWORD bytes = sizeof(HMODULE);
    HMODULE* modules = nullptr;
    DWORD needed = 0;
    for (;;) {
      modules = static_cast<HMODULE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes));
      if (!modules) return true;
      if (!enumModules(record.process, modules, bytes, &needed)) {
        HeapFree(heap, 0, modules);
        return true;
      }
      if (needed < bytes || bytes >= kMaxEnumBytes) break;
      HeapFree(heap, 0, modules);
      bytes *= 2;
    }
    DWORD count = (needed < bytes ? needed : bytes) / sizeof(HMODULE);
    bool goOn = true;
    // The first module is the executable itself.
    for (DWORD i = 1; i < count && goOn; ++i) {
      char path[kPathBufferSize];
      DWORD length = moduleFileName(record.process, modules[i], path, sizeof(path));
      if (length == 0) continue;
      if (length >= sizeof(path)) length = sizeof(path) - 1;
      path[length] = '\0';
      ModuleRecord module;
      module.module = modules[i];
      if (!module.path.Assign(path)) continue;
      goOn = Report(scan, record, module);
    }
    HeapFree(heap, 0, modules);
    return goOn;
  }

  CreateSnapshotFunction createSnapshot = As<CreateSnapshotFunction>(api.createToolhelp32Snapshot);
  HANDLE snapshot = createSnapshot(TH32CS_SNAPMODULE, record.processId);
  if (snapshot == INVALID_HANDLE_VALUE || !snapshot) return true;
  MODULEENTRY32 entry;
  memset(&entry, 0, sizeof(entry));
  entry.dwSize = sizeof(entry);
  bool goOn = true;
  BOOL found = As<ModuleWalkFunction>(api.module32First)(snapshot, &entry);
  while (found && goOn) {
    ModuleRecord module;
    module.module = entry.hModule;
    entry.szExePath[sizeof(entry.szExePath) - 1] = '\0';
    if (module.path.Assign(entry.szExePath)) goOn = Report(scan, record, module);
    if (goOn) {
      entry.dwSize = sizeof(entry);
      found = As<ModuleWalkFunction>(api.module32Next)(snapshot, &entry);
    }
  }
  CloseHandle(snapshot);
  return goOn;
}

struct TaskScan {
  Scan* scan;
  DWORD processId;
};

BOOL WINAPI OnTask(DWORD threadId, WORD module16, WORD task16, LPSTR moduleName, LPSTR fileName, LPARAM context) {
  (void)module16;
  (void)moduleName;
  TaskScan* tasks = reinterpret_cast<TaskScan*>(context);
  ProcessRecord record;
  record.processId = tasks->processId;
  record.threadId = threadId;
  record.task16 = task16;
  record.process = nullptr;
  if (fileName) record.name.Assign(fileName);
  // Returning TRUE ends VDMEnumTaskWOWEx.
  return ScanModules(tasks->scan, record) ? FALSE : TRUE;
}

void ScanNtProcesses(Scan* scan) {
  const ProcessApi& api = *scan->api;
  EnumProcessesFunction enumProcesses = As<EnumProcessesFunction>(api.enumProcesses);
  HANDLE heap = GetProcessHeap();
  DWORD bytes = 1024;
  DWORD* ids = nullptr;
  DWORD returned = 0;
  for (;;) {
    ids = static_cast<DWORD*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes));
    if (!ids) return;
    if (!enumProcesses(ids, bytes, &returned)) {
      HeapFree(heap, 0, ids);
      return;
    }
    if (returned != bytes || bytes >= kMaxEnumBytes) break;
    HeapFree(heap, 0, ids);
    bytes *= 2;
  }
  DWORD count = returned / sizeof(DWORD);
  for (DWORD i = 0; i < count && !scan->stopped; ++i) {
    char name[kPathBufferSize];
    DWORD nameLength = 0;
    if (!GetProcessImageName(api, ids[i], name, sizeof(name), &nameLength)) name[0] = '\0';
    ProcessRecord record;
    record.processId = ids[i];
    record.threadId = 0;
    record.task16 = 0;
    record.name.Assign(name);
    record.process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    bool goOn = ScanModules(scan, record);
    if (record.process) CloseHandle(record.process);
    if (!goOn) break;
    if (api.vdmEnumTaskWOWEx && IsNamedNtvdm(name)) {
      TaskScan tasks = {scan, ids[i]};
      As<VdmEnumTaskWowExFunction>(api.vdmEnumTaskWOWEx)(ids[i], OnTask, reinterpret_cast<LPARAM>(&tasks));
    }
  }
  HeapFree(heap, 0, ids);
}

void Scan95Processes(Scan* scan) {
  const ProcessApi& api = *scan->api;
  HANDLE snapshot = As<CreateSnapshotFunction>(api.createToolhelp32Snapshot)(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE || !snapshot) return;
  PROCESSENTRY32 entry;
  memset(&entry, 0, sizeof(entry));
  entry.dwSize = sizeof(entry);
  BOOL found = As<ProcessWalkFunction>(api.process32First)(snapshot, &entry);
  while (found) {
    ProcessRecord record;
    entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
    record.name.Assign(entry.szExeFile);
    record.processId = entry.th32ProcessID;
    record.threadId = 0;
    record.task16 = 0;
    record.process = nullptr;
    if (!ScanModules(scan, record)) break;
    entry.dwSize = sizeof(entry);
    found = As<ProcessWalkFunction>(api.process32Next)(snapshot, &entry);
  }
  CloseHandle(snapshot);
}

void LoadProcessApi(ProcessApi* api) {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    api->firstLibrary = LoadSystemModule("Kernel32.DLL");
    if (!api->firstLibrary) return;
    api->createToolhelp32Snapshot = GetProcAddress(api->firstLibrary, "CreateToolhelp32Snapshot");
    api->module32First = GetProcAddress(api->firstLibrary, "Module32First");
    api->module32Next = GetProcAddress(api->firstLibrary, "Module32Next");
    api->process32First = GetProcAddress(api->firstLibrary, "Process32First");
    api->process32Next = GetProcAddress(api->firstLibrary, "Process32Next");
  } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    api->firstLibrary = LoadSystemModule("PSAPI.DLL");
    if (!api->firstLibrary) return;
    api->enumProcesses = GetProcAddress(api->firstLibrary, "EnumProcesses");
    api->enumProcessModules = GetProcAddress(api->firstLibrary, "EnumProcessModules");
    api->getModuleFileNameExA = GetProcAddress(api->firstLibrary, "GetModuleFileNameExA");
    // 16-bit tasks are an extra: a system without VDMDBG still has its browsers found.
    api->vdmLibrary = LoadSystemModule("VDMDBG.DLL");
    if (api->vdmLibrary) api->vdmEnumTaskWOWEx = GetProcAddress(api->vdmLibrary, "VDMEnumTaskWOWEx");
  }
}

}  // namespace

ProcessScanner::ProcessScanner() : m_handler(nullptr) {
  memset(&m_api, 0, sizeof(m_api));
  LoadProcessApi(&m_api);
}

ProcessScanner::~ProcessScanner() {
  if (m_api.vdmLibrary) FreeLibrary(m_api.vdmLibrary);
  if (m_api.firstLibrary) FreeLibrary(m_api.firstLibrary);
  memset(&m_api, 0, sizeof(m_api));
}

void ProcessScanner::ScanProcesses(ProcessModuleHandler* handler) {
  if (!handler) return;
  m_handler = handler;
  Scan scan = {&m_api, handler, false};
  switch (FamilyOf(m_api)) {
    case kNtFamily:
      ScanNtProcesses(&scan);
      break;
    case kWindows95Family:
      Scan95Processes(&scan);
      break;
    case kNoFamily:
      break;
  }
  m_handler = nullptr;
}

int CloseProcess(DWORD processId, DWORD waitMs) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
  if (process == nullptr) return kCloseProcessNotOpened;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, waitMs);
  CloseHandle(process);
  return kCloseProcessTerminated;
}

bool GetProcessImageName(const ProcessApi& api, DWORD processId, char* out, DWORD outSize, DWORD* outLength) {
  if (outLength) *outLength = 0;
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  char name[kPathBufferSize];
  name[0] = '\0';
  Family family = FamilyOf(api);
  if (family == kNtFamily) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return false;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (As<EnumProcessModulesFunction>(api.enumProcessModules)(process, &first, sizeof(first), &needed)) {
      DWORD length = As<GetModuleFileNameExFunction>(api.getModuleFileNameExA)(process, first, name, sizeof(name));
      if (length >= sizeof(name)) length = sizeof(name) - 1;
      name[length] = '\0';
    }
    CloseHandle(process);
  } else if (family == kWindows95Family) {
    HANDLE snapshot = As<CreateSnapshotFunction>(api.createToolhelp32Snapshot)(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE || !snapshot) return false;
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = As<ProcessWalkFunction>(api.process32First)(snapshot, &entry); more;
         more = As<ProcessWalkFunction>(api.process32Next)(snapshot, &entry)) {
      if (entry.th32ProcessID == processId) {
        entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
        lstrcpynA(name, entry.szExeFile, sizeof(name));
        found = true;
        break;
      }
      entry.dwSize = sizeof(entry);
    }
    CloseHandle(snapshot);
    if (!found) return false;
  } else {
    return false;
  }
  lstrcpynA(out, name, static_cast<int>(outSize));
  if (outLength) *outLength = static_cast<DWORD>(strlen(out));
  return true;
}

bool AskYesNo(const char* text, const char* caption, UINT style) {
  return MessageBoxA(nullptr, text, caption, style) == IDYES;
}

bool CloseBrowserHoldingToolbar(const char* moduleName, DWORD processId, const char* question, DWORD* mayCloseBrowser,
                                bool* askedToCloseBrowser) {
  static const char* const kToolbarModules[] = {"tollix.dll", "tollixbho.dll", "tollixpics.dll", "tollix_.dll",
                                                "tollix__.dll"};
  if (!moduleName || !mayCloseBrowser || !askedToCloseBrowser) return true;
  // The installer may itself have a toolbar module loaded for a moment: ending itself would
  // leave a half-done installation.
  if (processId == GetCurrentProcessId()) return true;
  for (size_t i = 0; i < sizeof(kToolbarModules) / sizeof(kToolbarModules[0]); ++i) {
    if (!FindTextNoCase(moduleName, kToolbarModules[i])) continue;
    if (!*askedToCloseBrowser) {
      *mayCloseBrowser = AskYesNo(question, kCloseBrowserCaption, MB_YESNO | MB_TASKMODAL) ? 1 : 0;
      *askedToCloseBrowser = true;
    }
    if (*mayCloseBrowser) {
      ProcessScanner scanner;
      CloseProcess(processId, 10000);
      break;
    }
  }
  return true;
}
