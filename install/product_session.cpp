// ProductSession: loading an edition's system info module and holding its SystemInfo object.
#include "install/product_session.h"

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "sys/process_scanner.h"

ProductSession::ProductSession()
    : m_module(nullptr),
      m_systemInfo(nullptr),
      m_mayCloseBrowser(1),
      m_askedToCloseBrowser(false),
      m_disableAutoplay(false) {}

ProductSession::~ProductSession() {
  // The object's code lives in the module: release it before the module goes.
  SystemInfo* systemInfo = m_systemInfo;
  m_systemInfo = nullptr;
  if (systemInfo) systemInfo->Release();
  if (m_module) FreeLibrary(m_module);
  m_module = nullptr;
  m_arguments.Clear();
  m_modulePath.Clear();
}

bool ProductSession::OnProcessModule(const char* /*processName*/, const char* moduleName, DWORD processId) {
  return CloseBrowserHoldingToolbar(moduleName, processId, kInstallCloseBrowserQuestion, &m_mayCloseBrowser,
                                    &m_askedToCloseBrowser);
}

Status ProductSession::LoadSystemInfo(const char* modulePath, const char* arguments) {
  if (!modulePath || !*modulePath) {
    LogError("Failed to load system info module ", modulePath ? modulePath : "");
    return kStatusFailed;
  }
  // A path in the package is relative to its folder, the current directory; the module is
  // loaded by the absolute path, never looked for along the search order.
  HeapString absolutePath;
  if (!MakeAbsoluteFromCurrentFolder(modulePath, &absolutePath)) {
    LogError("Failed to load system info module ", modulePath);
    LogError("Refusing a system info module path that names no place in the package folder: ", modulePath);
    return kStatusFailed;
  }
  HMODULE module = LoadModuleFromPath(absolutePath.Text());
  if (!module) {
    DWORD error = GetLastError();
    LogError("Failed to load system info module ", absolutePath.Text());
    LogMessage(kLogError).Text("LoadLibrary failed with Windows error ").Unsigned(error);
    return kStatusFailed;
  }
  // A second load keeps one module reference per session: the object made by the old module
  // is released before that module is freed.
  SystemInfo* previous = m_systemInfo;
  m_systemInfo = nullptr;
  if (previous) previous->Release();
  if (m_module) FreeLibrary(m_module);
  m_module = module;

  GetTollixSystemInfoProc factory = reinterpret_cast<GetTollixSystemInfoProc>(
      reinterpret_cast<void*>(GetProcAddress(m_module, "GetTollixSystemInfo")));
  if (!factory) {
    LogError("Failed to obtain the system info module entry point.");
    return kStatusFailed;
  }
  SystemInfo* created = nullptr;
  long result = factory(&created);
  if (result < 0 || !created) {
    // What a failing factory left in the out-parameter is not trusted, not even to release.
    LogError("Failed to obtain the system info object.");
    return kStatusFailed;
  }
  m_systemInfo = created;

  if (!m_modulePath.Assign(absolutePath.Text())) return kStatusNoMemory;
  if (!m_arguments.Assign(arguments ? arguments : "")) return kStatusNoMemory;
  return kStatusOk;
}
