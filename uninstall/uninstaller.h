// Uninstaller: the object one uninstall pass works on, with the dialog-driven driver that
// runs it. Its first fields match ProductSession's.
#pragma once

#include <windows.h>

#include "base/heap_string.h"
#include "base/status.h"
#include "base/system_info.h"
#include "sys/process_scanner.h"

// What one uninstall pass removes. The uninstall driver sets every field but deleteUserData,
// which follows the user's choice; an upgrade chooses its own for the earlier version.
struct UninstallOptions {
  bool removeRuntime = false;   // the photo extras and the runtime's parts, when not shared
  bool removeProduct = false;   // the product's folders and keys
  bool deleteUserData = false;  // the current user's data folders too
  bool sendPing = false;        // the "uninstalled" status ping
  bool unregisterToolbar = false;
  bool removeUninstallEntry = false;  // the Add/Remove Programs entry, and the "UninstallDate" stamp
  // Take the product's value off the runtime's toolbar list at the end. Only a complete
  // uninstallation does: an upgrade's pass leaves it for the version that replaces this one.
  bool removeFromRuntimeList = false;
};

class Uninstaller : public ProcessModuleHandler {
 public:
  Uninstaller();
  ~Uninstaller() override;
  Uninstaller(const Uninstaller&) = delete;
  Uninstaller& operator=(const Uninstaller&) = delete;

  bool OnProcessModule(const char* processName, const char* moduleName, DWORD processId) override;

  // 0 loaded, 1 the user refused to close Internet Explorer, -1 no module or object.
  Status Initialize(const char* moduleFileName, const char* arguments);
  Status LoadSystemInfo(const char* moduleFileName, const char* arguments);
  // Borrows another pass's object; -50 for null.
  Status SetSystemInfo(SystemInfo* systemInfo);

  // Hands this package's uninstaller to an earlier toolbar: 0, 1 no "Vendor\ProgFiles", -1.
  Status ReplaceUninstaller();

  Status Uninstall(const UninstallOptions& options);
  Status IsRuntimeShared();
  Status CountOtherToolbars(long* count);
  // The pass hands over its three first flags; only removeRuntime decides anything today.
  Status RemovePhotoExtras(bool removeRuntime, bool removeProduct, bool deleteUserData);
  Status RemovePrivateProgramFiles();
  Status RemoveRuntimeProgramFiles();
  Status RemovePrivateAppData(bool deleteUserData);
  Status RemoveRuntimeAppData(bool deleteUserData);
  Status RemovePrivateRegistryKeys();
  Status RemoveRuntimeRegistryKeys();
  static void RemoveEmptyParents(char* folderPath);

  Status UnregisterToolbar();
  Status RemoveComponentRegistration();

  HeapString m_modulePath;
  HMODULE m_module;
  SystemInfo* m_systemInfo;
  HeapString m_arguments;
  DWORD m_mayCloseBrowser;
  bool m_askedToCloseBrowser;
  bool m_forceRuntimeRemoval;
};

// 0 (also when no in-process server is registered) or -1.
Status UnregisterServerByClsid(const char* clsid);
