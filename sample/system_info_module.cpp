// TollixSystemInfo.dll of the sample edition: tells the installer who the edition is, read from
// TollixSystemInfo.ini beside the module, and its runtime version from its own string table.
#include <new>

#include <stdlib.h>
#include <string.h>

#include "base/status.h"
#include "base/system_info.h"
#include "sample/edition_settings.h"
#include "sample/journal.h"

namespace {

HMODULE g_module = nullptr;

const char kModuleName[] = "TollixSystemInfo.dll";
const WORD kVersionBlock = 626;
const int kVersionIndex = 10002 % 16;
const WORD kVersionLanguage = 0x0409;

// Reads entry kVersionIndex of string block 626 from a module's resources.
bool ReadVersionString(HMODULE module, HeapString* out) {
  HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(kVersionBlock), kVersionLanguage);
  if (!resource) return false;
  DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  const WORD* entry = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
  if (!entry) return false;
  const WORD* end = entry + size / sizeof(WORD);
  for (int index = 0; index < kVersionIndex; ++index) {
    if (entry >= end) return false;
    entry += 1 + *entry;
  }
  if (entry >= end || entry + 1 + *entry > end) return false;
  int length = *entry;
  if (length == 0) return out->Assign("");
  int bytes =
      WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(entry + 1), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0 || !out->Reserve(static_cast<uint32_t>(bytes) + 1, false)) return false;
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(entry + 1), length, out->Buffer(), bytes, nullptr,
                      nullptr);
  out->Buffer()[bytes] = '\0';
  return true;
}

// The version as the module's file holds it now; a rewritten file is read afresh, so the
// loaded image is only the fallback.
bool ReadRuntimeVersion(HeapString* out) {
  HeapString path;
  if (ModulePath(g_module, &path)) {
    HMODULE file =
        LoadLibraryExA(path.Text(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!file) file = LoadLibraryExA(path.Text(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE);
    // Systems before Vista know only the plain data file mapping.
    if (!file) file = LoadLibraryExA(path.Text(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (file) {
      bool ok = ReadVersionString(file, out);
      FreeLibrary(file);
      return ok;
    }
  }
  return ReadVersionString(g_module, out);
}

class SampleSystemInfo final : public SystemInfo {
 public:
  // The edition's identity is read once, as a vendor's module holds it in itself: the installer
  // asks again after the module's own folder is gone.
  void ReadIdentity() {
    HeapString ini;
    if (!EditionIniPath(g_module, &ini) || !ReadWholeTextFile(ini.Text(), &m_ini)) m_ini.Clear();
  }

  ULONG __stdcall AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG __stdcall Release() override {
    LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  long __stdcall GetRuntimeVendorKey(HeapString* out) override { return Edition("RuntimeVendorKey", out); }
  long __stdcall GetRuntimeKeyName(HeapString* out) override { return Edition("RuntimeKeyName", out); }
  long __stdcall GetVendorName(HeapString* out) override { return Edition("Vendor", out); }
  long __stdcall GetProductName(HeapString* out) override { return Edition("Product", out); }
  long __stdcall GetProductVersionKey(HeapString* out) override { return Edition("ProductVersionKey", out); }
  long __stdcall GetProductVersion(DWORD* out) override {
    HeapString text;
    if (!out || Edition("ProductVersion", &text) < 0) return kStatusFailed;
    return ParseDottedVersion(text.Text(), out) ? kStatusOk : kStatusFailed;
  }
  long __stdcall GetToolbarClsid(HeapString* out) override { return Edition("ToolbarClsid", out); }
  long __stdcall GetActiveXClsid(HeapString* out) override { return Edition("ActiveXClsid", out); }
  long __stdcall GetBrowserHelperClsid(HeapString* out) override { return Edition("BrowserHelperClsid", out); }
  long __stdcall GetProgramFilesFolder(int kind, HeapString* out) override {
    return Folder(kind, "RuntimeProgramFiles", "PrivateProgramFiles", out);
  }
  long __stdcall GetAllUsersDataFolder(int kind, HeapString* out) override {
    return Folder(kind, "RuntimeAllUsersData", "PrivateAllUsersData", out);
  }
  long __stdcall GetUserDataFolder(int kind, HeapString* out) override {
    return Folder(kind, "RuntimeUserData", "PrivateUserData", out);
  }

  long __stdcall OpenRegKey(int kind, HKEY root, DWORD, REGSAM access, HKEY* out) override {
    if (!out) return kStatusMissingArgument;
    *out = nullptr;
    HeapString path;
    long status = KeyPath(kind, &path);
    if (status < 0) return status;
    // Kinds 2, 3, 6 and 7 are where records are written: they are made when missing. Kinds 1,
    // 4 and 5 read and remove, and must not bring a removed key back.
    LONG error;
    if (kind == 2 || kind == 3 || kind == 6 || kind == 7) {
      error = RegCreateKeyExA(root, path.Text(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, out, nullptr);
    } else {
      error = RegOpenKeyExA(root, path.Text(), 0, access, out);
    }
    if (error == ERROR_SUCCESS) return kStatusOk;
    *out = nullptr;
    return error == ERROR_FILE_NOT_FOUND ? kStatusValueMissing : kStatusFailed;
  }

  long __stdcall QueryRegDword(int kind, HKEY root, DWORD, const char* name, DWORD* out) override {
    if (!out) return kStatusMissingArgument;
    HKEY key = nullptr;
    long status = OpenForReading(kind, root, &key);
    if (status < 0) return status;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG error = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (error == ERROR_FILE_NOT_FOUND) return kStatusValueMissing;
    if (error != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return kStatusFailed;
    *out = value;
    return kStatusOk;
  }

  long __stdcall QueryRegString(int kind, HKEY root, DWORD, const char* name, HeapString* out) override {
    if (!out) return kStatusMissingArgument;
    HKEY key = nullptr;
    long status = OpenForReading(kind, root, &key);
    if (status < 0) return status;
    DWORD type = 0;
    DWORD size = 0;
    LONG error = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (error == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) error = ERROR_INVALID_DATA;
    if (error == ERROR_SUCCESS && out->Reserve(size + 1, false)) {
      // The stored data may lack its terminator: end the text after the bytes really read.
      error = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out->Buffer()), &size);
      if (error == ERROR_SUCCESS) out->Buffer()[size] = '\0';
    } else if (error == ERROR_SUCCESS) {
      error = ERROR_OUTOFMEMORY;
    }
    RegCloseKey(key);
    if (error == ERROR_FILE_NOT_FOUND) return kStatusValueMissing;
    return error == ERROR_SUCCESS ? kStatusOk : kStatusFailed;
  }

  long __stdcall GetInstallId(HeapString* out) override { return Edition("InstallId", out); }
  long __stdcall GetRuntimeVersionKey(HeapString* out) override { return Edition("RuntimeVersionKey", out); }
  long __stdcall GetRuntimeVersion(DWORD* out) override {
    HeapString text;
    if (!out || !ReadRuntimeVersion(&text)) return kStatusFailed;
    return ParseDottedVersion(text.Text(), out) ? kStatusOk : kStatusFailed;
  }

  long __stdcall SetRegDword(int kind, HKEY root, DWORD reserved, const char* name, DWORD value) override {
    HKEY key = nullptr;
    long status = OpenRegKey(kind, root, reserved, KEY_SET_VALUE, &key);
    if (status < 0) return status;
    LONG error = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
    return error == ERROR_SUCCESS ? kStatusOk : kStatusFailed;
  }

 private:
  long Value(const char* section, const char* key, HeapString* out) {
    if (!out) return kStatusMissingArgument;
    if (FindIniValue(m_ini.Text(), section, key, out)) return kStatusOk;
    out->Truncate(0);
    return kStatusFailed;
  }
  long Edition(const char* key, HeapString* out) { return Value("Edition", key, out); }

  long Folder(int kind, const char* runtimeKey, const char* privateKey, HeapString* out) {
    if (!out) return kStatusMissingArgument;
    if (kind < 0 || kind > 3) return kStatusFailed;
    HeapString text;
    long status = Value("Folders", (kind % 2) ? privateKey : runtimeKey, &text);
    if (status < 0) return status;
    return ExpandEditionFolder(text.Text(), out) ? kStatusOk : kStatusFailed;
  }

  long KeyPath(int kind, HeapString* path) {
    if (kind < 1 || kind > 7) return kStatusFailed;
    char name[8];
    wsprintfA(name, "Key%d", kind);
    if (FindIniValue(m_ini.Text(), "Keys", name, path)) {
      return path->IsEmpty() ? kStatusFailed : kStatusOk;
    }
    HeapString first, second, third;
    long status;
    if (kind % 2) {
      if ((status = Edition("Vendor", &first)) < 0 || (status = Edition("Product", &second)) < 0) {
        return status;
      }
    } else if ((status = Edition("RuntimeVendorKey", &first)) < 0 ||
               (status = Edition("RuntimeKeyName", &second)) < 0 ||
               (kind == 2 && (status = Edition("RuntimeVersionKey", &third)) < 0)) {
      return status;
    }
    bool ok = path->Format("Software\\%s\\%s", first.Text(), second.Text());
    if (ok && kind == 2) ok = path->Append("\\") && path->Append(third);
    return ok ? kStatusOk : kStatusNoMemory;
  }

  long OpenForReading(int kind, HKEY root, HKEY* key) {
    HeapString path;
    long status = KeyPath(kind, &path);
    if (status < 0) return status;
    LONG error = RegOpenKeyExA(root, path.Text(), 0, KEY_QUERY_VALUE, key);
    if (error == ERROR_FILE_NOT_FOUND) return kStatusValueMissing;
    return error == ERROR_SUCCESS ? kStatusOk : kStatusFailed;
  }

  LONG m_references = 1;
  HeapString m_ini;
};

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

__declspec(dllexport) long __stdcall GetTollixSystemInfo(SystemInfo** out) {
  if (!out) return kStatusMissingArgument;
  *out = nullptr;
  // [Sample] FactoryStatus makes an edition whose factory fails (for trying out installers).
  HeapString ini;
  HeapString forced;
  if (EditionIniPath(g_module, &ini) && ReadEditionValue(ini.Text(), "Sample", "FactoryStatus", &forced)) {
    long status = strtol(forced.Text(), nullptr, 10);
    if (status < 0) {
      JournalText(kModuleName, "GetTollixSystemInfo", "null");
      return status;
    }
  }
  SampleSystemInfo* info = new (std::nothrow) SampleSystemInfo();
  // Without its ini the edition knows nothing: every query fails, as a broken edition's would.
  if (info) info->ReadIdentity();
  *out = info;
  JournalCall(kModuleName, "GetTollixSystemInfo", *out);
  return *out ? kStatusOk : kStatusNoMemory;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
  JournalText(kModuleName, "DllRegisterServer", "null");
  return S_OK;
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
  JournalText(kModuleName, "DllUnregisterServer", "null");
  return S_OK;
}

}  // extern "C"
