// ProductSession: a pass over one product edition. It loads the edition's system info module,
// holds the SystemInfo object, and answers the process scan that closes the browser.
#pragma once

#include <windows.h>

#include "base/heap_string.h"
#include "base/status.h"
#include "base/system_info.h"
#include "sys/process_scanner.h"

class ProductSession : public ProcessModuleHandler {
 public:
  ProductSession();
  ~ProductSession() override;
  ProductSession(const ProductSession&) = delete;
  ProductSession& operator=(const ProductSession&) = delete;

  bool OnProcessModule(const char* processName, const char* moduleName, DWORD processId) override;

  // 0, -1 (module, export or object missing) or -108 (a text could not be stored).
  Status LoadSystemInfo(const char* modulePath, const char* arguments);

  HeapString m_modulePath;
  HMODULE m_module;
  SystemInfo* m_systemInfo;
  HeapString m_arguments;
  DWORD m_mayCloseBrowser;
  bool m_askedToCloseBrowser;
  bool m_disableAutoplay;
};
