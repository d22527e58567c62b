// Component registration: the toolbar's modules register themselves in a fixed order, after
// the system info module was told the version of a newer runtime already installed.
#include <string.h>

#include "base/debug_channel.h"
#include "base/module_loader.h"
#include "base/scoped.h"
#include "install/installer.h"
#include "install/string_block.h"
#include "sys/registry.h"

namespace {

const UINT kRuntimeVersionStringId = 10002;
const WORD kRuntimeVersionLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Loads a module by its full path; its own folder is searched for what it needs.
HMODULE LoadComponent(const char* path) { return LoadModuleFromPath(path); }

void LogLoadFailure(const char* what, const char* path, DWORD error) {
  LogMessage(kLogError).Text(what).Text(path).Text("(").Unsigned(error).Text(")");
}

template <typename Proc>
Proc FindExport(HMODULE module, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads a browser helper object, lets it register itself and frees it again; -1 only when it
// cannot be loaded.
Status RegisterHelperObject(const char* path, const char* loadFailure, const char* resultText) {
  ScopedModule module(LoadComponent(path));
  if (!module.IsValid()) {
    LogLoadFailure(loadFailure, path, GetLastError());
    return kStatusFailed;
  }
  DllRegistrationProc registerServer = FindExport<DllRegistrationProc>(module.Get(), "DllRegisterServer");
  if (registerServer) {
    LogMessage(kLogInfo).Text(resultText).Signed(registerServer());
  } else {
    LogInfo("Failed to obtain the DllRegisterServer entry point for the BHO.");
  }
  return kStatusOk;
}

// Reads the block that holds the runtime version out of a module file.
bool ReadVersionBlock(const char* modulePath, StringBlock* block) {
  ScopedModule module(LoadModuleAsData(modulePath));
  if (!module.IsValid()) {
    LogMessage(kLogError)
        .Text("Failed to load ")
        .Text(modulePath)
        .Text(" as a data file (")
        .Unsigned(GetLastError())
        .Text(")");
    return false;
  }
  HRSRC resource =
      FindResourceExA(module.Get(), MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(block->BlockNumber()), block->Language());
  if (!resource) {
    LogError("The module has no US English string block for the runtime version: ", modulePath);
    return false;
  }
  HGLOBAL loaded = LoadResource(module.Get(), resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || !block->Parse(data, SizeofResource(module.Get(), resource))) {
    LogError("The runtime version string block is unreadable in ", modulePath);
    return false;
  }
  return true;
}

}  // namespace

bool FormatDottedVersion(DWORD version, HeapString* out) {
  if (version == 0) return out->Assign("");
  return out->Format("%lu.%lu.%lu.%lu", static_cast<unsigned long>((version >> 24) & 0xFF),
                     static_cast<unsigned long>((version >> 16) & 0xFF),
                     static_cast<unsigned long>((version >> 8) & 0xFF), static_cast<unsigned long>(version & 0xFF));
}

Status SetRuntimeVersionResource(const char* modulePath, const HeapString& version) {
  if (!modulePath || !*modulePath) return kStatusFailed;
  StringBlock block(StringBlockOf(kRuntimeVersionStringId), kRuntimeVersionLanguage);
  if (!ReadVersionBlock(modulePath, &block)) return kStatusFailed;
  if (!block.SetEntryFromAnsi(StringEntryOf(kRuntimeVersionStringId), version.Text())) return kStatusFailed;

  size_t size = block.SerializedSize();
  void* data = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (!data) return kStatusFailed;
  block.Serialize(data);

  Status status = kStatusFailed;
  HANDLE update = BeginUpdateResourceA(modulePath, FALSE);
  if (!update) {
    LogMessage(kLogError)
        .Text("Cannot update the resources of ")
        .Text(modulePath)
        .Text(" (")
        .Unsigned(GetLastError())
        .Text(")");
  } else if (!UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(block.BlockNumber()), block.Language(),
                              data, static_cast<DWORD>(size))) {
    LogMessage(kLogError)
        .Text("Cannot replace the runtime version string of ")
        .Text(modulePath)
        .Text(" (")
        .Unsigned(GetLastError())
        .Text(")");
    // Nothing of a failed update may reach the file.
    EndUpdateResourceA(update, TRUE);
  } else if (!EndUpdateResourceA(update, FALSE)) {
    LogMessage(kLogError)
        .Text("Cannot write the resources of ")
        .Text(modulePath)
        .Text(" (")
        .Unsigned(GetLastError())
        .Text(")");
  } else {
    status = kStatusOk;
  }
  HeapFree(GetProcessHeap(), 0, data);
  return status;
}

Status Installer::RegisterComponents() {
  if (!m_systemInfo) return kStatusFailed;
  HeapString runtimeFolder;
  HeapString privateFolder;
  long status = m_systemInfo->GetProgramFilesFolder(kFolderRuntime, &runtimeFolder);
  if (status < 0) return status;
  status = m_systemInfo->GetProgramFilesFolder(kFolderPrivate, &privateFolder);
  if (status < 0) return status;

  HeapString path;
  if (!path.Assign(privateFolder.Text()) || !path.Append("TollixSystemInfo.dll")) return kStatusFailed;

  if (m_runtimeVersion < m_previousRuntimeVersion) {
    HeapString version;
    if (!FormatDottedVersion(m_previousRuntimeVersion, &version) ||
        SetRuntimeVersionResource(path.Text(), version) < 0) {
      LogError("Failed to change the runtime version in", path.Text());
      return kStatusFailed;
    }
  }

  ScopedModule systemInfoModule(LoadComponent(path.Text()));
  if (!systemInfoModule.IsValid()) {
    LogLoadFailure("Failed to load TollixSystemInfo module ", path.Text(), GetLastError());
    return kStatusFailed;
  }
  DllRegistrationProc registerServer = FindExport<DllRegistrationProc>(systemInfoModule.Get(), "DllRegisterServer");
  if (registerServer) {
    LogMessage(kLogInfo).Text("Call of system info module's DllRegisterServer returned ").Signed(registerServer());
  } else {
    LogInfo("Failed to obtain the DllRegisterServer entry point for the system info module.");
  }
  // Declared after the module so that the object is released before its module is freed.
  ScopedComPtr<SystemInfo> systemInfo;
  GetTollixSystemInfoProc factory = FindExport<GetTollixSystemInfoProc>(systemInfoModule.Get(), "GetTollixSystemInfo");
  if (factory) {
    SystemInfo* created = nullptr;
    factory(&created);
    if (created) {
      *systemInfo.Receive() = created;
    } else {
      LogError("Failed to obtain the system info object.");
    }
  } else {
    LogError("Failed to obtain the GetTollixSystemInfo entry point for the system info module.");
  }

  static const char* const kToolbarModules[] = {"Tollix.dll", "IETollix.dll"};
  for (const char* name : kToolbarModules) {
    if (!path.Assign(runtimeFolder.Text()) || !path.Append(name)) return kStatusFailed;
    ScopedModule module(LoadComponent(path.Text()));
    if (!module.IsValid()) {
      LogLoadFailure("Failed to load toolbar ", path.Text(), GetLastError());
      return kStatusFailed;
    }
    ToolbarRegistrationProc doRegister = FindExport<ToolbarRegistrationProc>(module.Get(), "DoRegister");
    if (!doRegister) {
      LogError("Failed to obtain the DoRegister entry point for the toolbar module.");
      return kStatusFailed;
    }
    LogInfo("Registering toolbar using ", path.Text());
    long result = doRegister(systemInfo.Get());
    LogMessage(kLogInfo).Text("Call of toolbar DoRegister returned ").Signed(result);
    if (result < 0) return kStatusFailed;
  }

  if (!path.Assign(privateFolder.Text()) || !path.Append("TollixBHO.dll")) return kStatusFailed;
  if (RegisterHelperObject(path.Text(), "Failed to load BHO ", "Call of BHO's DllRegisterServer returned ") < 0)
    return kStatusFailed;

  if (m_usePersonalization) {
    if (!path.Assign(runtimeFolder.Text()) || !path.Append("TollixProfileExt.dll")) return kStatusFailed;
    if (RegisterHelperObject(path.Text(), "Failed to load Personalization BHO ",
                             "Call of Personalization BHO's DllRegisterServer returned ") < 0)
      return kStatusFailed;
  }

  if (m_snaporaBranded) {
    HeapString clsid;
    HeapString key;
    // An empty class id would name the CLSID key itself.
    if (m_systemInfo->GetToolbarClsid(&clsid) == 0 && !clsid.IsEmpty() && key.Assign("CLSID\\") && key.Append(clsid)) {
      WriteRegistryString(HKEY_CLASSES_ROOT, key.Text(), nullptr, "Snapora Toolbar");
    }
  }
  return kStatusOk;
}
