// The Uninstaller pass object: loading the edition's system info module and answering the
// process scan that closes the browser before files are removed.
#include "uninstall/uninstaller.h"

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "sys/options.h"

Uninstaller::Uninstaller()
    : m_module(nullptr),
      m_systemInfo(nullptr),
      m_mayCloseBrowser(1),
      m_askedToCloseBrowser(false),
      m_forceRuntimeRemoval(false) {}

Uninstaller::~Uninstaller() {
  if (m_systemInfo) m_systemInfo->Release();
  m_systemInfo = nullptr;
  if (m_module) FreeLibrary(m_module);
  m_module = nullptr;
}

bool Uninstaller::OnProcessModule(const char* /*processName*/, const char* moduleName, DWORD processId) {
  return CloseBrowserHoldingToolbar(moduleName, processId, kUninstallCloseBrowserQuestion, &m_mayCloseBrowser,
                                    &m_askedToCloseBrowser);
}

Status Uninstaller::Initialize(const char* moduleFileName, const char* arguments) {
  if (!FindOption(arguments ? arguments : "", "/S", false)) {
    ProcessScanner scanner;
    scanner.ScanProcesses(this);
    if (m_mayCloseBrowser == 0) return kStatusCancelled;
  }
  const Status status = LoadSystemInfo(moduleFileName, arguments);
  return status < 0 ? status : kStatusOk;
}

Status Uninstaller::LoadSystemInfo(const char* moduleFileName, const char* arguments) {
  if (!moduleFileName || !*moduleFileName) return kStatusFailed;
  // By its absolute path only: a bare name would be looked for along the search order.
  ScopedModule module(LoadModuleFromPath(moduleFileName));
  if (!module.IsValid()) {
    const DWORD error = GetLastError();
    LogMessage(kLogInfo).Text("Failed to load ").Text(moduleFileName).Text(", error ").Unsigned(error);
    return kStatusFailed;
  }
  GetTollixSystemInfoProc factory = module.Find<GetTollixSystemInfoProc>("GetTollixSystemInfo");
  if (!factory) {
    LogInfo("The system info module has no GetTollixSystemInfo entry point: ", moduleFileName);
    return kStatusFailed;
  }
  if (m_systemInfo) m_systemInfo->Release();
  m_systemInfo = nullptr;
  SystemInfo* created = nullptr;
  if (factory(&created) < 0 || !created) {
    LogInfo("The system info module gave no SystemInfo object: ", moduleFileName);
    return kStatusFailed;
  }
  m_systemInfo = created;
  // The object's code lives in the module, so the module stays for as long as the object.
  if (m_module) FreeLibrary(m_module);
  m_module = module.Release();
  if (!m_modulePath.Assign(moduleFileName) || !m_arguments.Assign(arguments ? arguments : "")) {
    return kStatusNoMemory;
  }
  return kStatusOk;
}

Status Uninstaller::SetSystemInfo(SystemInfo* systemInfo) {
  if (!systemInfo) return kStatusMissingArgument;
  if (systemInfo != m_systemInfo) {
    SystemInfo* previous = m_systemInfo;
    m_systemInfo = systemInfo;
    m_systemInfo->AddRef();
    if (previous) previous->Release();
  }
  return kStatusOk;
}
