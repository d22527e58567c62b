// SystemInfo: what a product edition's system info module ("TollixSystemInfo.dll") tells the
// installer. The slot order and the __stdcall convention are a binary contract with every
// edition's module; part of the edition maker's kit.
#pragma once

#include <windows.h>

#include "base/heap_string.h"

// Folder kinds: odd names the vendor's private folder, even the shared runtime's. Files are
// copied to kinds 2 and 3; existence tests, removal and the uninstall command use 0 and 1.
// Kinds 0 and 2 name the same folder, and so do 1 and 3.
const int kFolderRuntime = 0;
const int kFolderPrivate = 1;
const int kFolderRuntimeCopy = 2;
const int kFolderPrivateCopy = 3;

// Key kinds. Pairs naming the same key: 4 and 6 (runtime "Version"), 5 and 7 (product
// "Version", "SnaporaBranded"), 1 and 3 ("InstallID", "TollixID").
const int kKeyPrivateRead = 1;
const int kKeyRuntimeVersioned = 2;  // version dependent runtime key
const int kKeyPrivate = 3;           // private toolbar key
const int kKeyRuntimeRead = 4;
const int kKeyProductRead = 5;
const int kKeyRuntime = 6;  // version independent runtime key
const int kKeyProduct = 7;  // private key that holds the product's "Version"

// Access used for every product key the installer opens.
const REGSAM kProductKeyAccess = 0xF003F;

// Slots 2 to 20 return a status: 0 or above success, -43 a registry value that is missing.
struct SystemInfo {
  virtual ULONG __stdcall AddRef() = 0;
  virtual ULONG __stdcall Release() = 0;
  virtual long __stdcall GetRuntimeVendorKey(HeapString* out) = 0;
  virtual long __stdcall GetRuntimeKeyName(HeapString* out) = 0;
  virtual long __stdcall GetVendorName(HeapString* out) = 0;
  virtual long __stdcall GetProductName(HeapString* out) = 0;
  virtual long __stdcall GetProductVersionKey(HeapString* out) = 0;
  virtual long __stdcall GetProductVersion(DWORD* out) = 0;
  virtual long __stdcall GetToolbarClsid(HeapString* out) = 0;
  virtual long __stdcall GetActiveXClsid(HeapString* out) = 0;
  virtual long __stdcall GetBrowserHelperClsid(HeapString* out) = 0;
  virtual long __stdcall GetProgramFilesFolder(int kind, HeapString* out) = 0;
  virtual long __stdcall GetAllUsersDataFolder(int kind, HeapString* out) = 0;
  virtual long __stdcall GetUserDataFolder(int kind, HeapString* out) = 0;
  virtual long __stdcall OpenRegKey(int kind, HKEY root, DWORD reserved, REGSAM access, HKEY* out) = 0;
  virtual long __stdcall QueryRegDword(int kind, HKEY root, DWORD reserved, const char* name, DWORD* out) = 0;
  virtual long __stdcall QueryRegString(int kind, HKEY root, DWORD reserved, const char* name, HeapString* out) = 0;
  virtual long __stdcall GetInstallId(HeapString* out) = 0;
  virtual long __stdcall GetRuntimeVersionKey(HeapString* out) = 0;
  virtual long __stdcall GetRuntimeVersion(DWORD* out) = 0;
  virtual long __stdcall SetRegDword(int kind, HKEY root, DWORD reserved, const char* name, DWORD value) = 0;
};

// Exports of a system info module and of the toolbar modules.
typedef long(__stdcall* GetTollixSystemInfoProc)(SystemInfo** out);
typedef HRESULT(__stdcall* DllRegistrationProc)(void);
typedef long(__stdcall* ToolbarRegistrationProc)(SystemInfo* systemInfo);

// Packed versions: one byte per part, major in the top byte (3.6.0.0 is 0x03060000).
inline DWORD PackVersion(DWORD major, DWORD minor, DWORD build, DWORD revision) {
  return (major << 24) | ((minor & 0xFF) << 16) | ((build & 0xFF) << 8) | (revision & 0xFF);
}
