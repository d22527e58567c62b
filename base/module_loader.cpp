// The module loader: the one place where the program loads a module.
#include "base/module_loader.h"

#include <string.h>

#include "base/debug_channel.h"
#include "base/status.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR folder);
typedef BOOL(WINAPI* InternetGetConnectedStateFunction)(DWORD* flags, DWORD reserved);
typedef HRESULT(WINAPI* CreateURLMonikerFunction)(IMoniker* context, LPCWSTR url, IMoniker** moniker);
typedef HRESULT(WINAPI* RegisterBindStatusCallbackFunction)(IBindCtx* context, IBindStatusCallback* callback,
                                                            IBindStatusCallback** previous, DWORD reserved);
typedef HRESULT(WINAPI* RevokeBindStatusCallbackFunction)(IBindCtx* context, IBindStatusCallback* callback);

const DWORD kDataFileOnly = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE;

bool g_searchFlagsUnavailableForTesting = false;

// Modules whose functions are looked up at their first use; they stay loaded for the run, since
// objects made by them (a URL moniker) may outlive the call that made them.
HMODULE g_wininet = nullptr;
HMODULE g_urlmon = nullptr;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Looked up at run time: a static import of a function that Windows 2000 or XP lacks would
// keep the program from starting at all there.
FARPROC FindKernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? GetProcAddress(kernel, name) : nullptr;
}

// The search flags of LoadLibraryEx came with SetDefaultDllDirectories (Windows 8, and an update
// for Vista and 7); older systems refuse them as an invalid parameter.
bool SearchFlagsSupported() {
  if (g_searchFlagsUnavailableForTesting) return false;
  static const bool supported = FindKernelFunction("SetDefaultDllDirectories") != nullptr;
  return supported;
}

// LoadLibraryEx wants the folder of an absolute path written with backslashes; this also
// settles "." and ".." parts.
bool CanonicalPath(const char* path, char* out, DWORD size) {
  char* filePart = nullptr;
  const DWORD length = GetFullPathNameA(path, size, out, &filePart);
  return length > 0 && length < size;
}

FARPROC FindSystemFunction(HMODULE* module, const char* moduleName, const char* functionName) {
  if (!*module) {
    *module = LoadSystemModule(moduleName);
    if (!*module) {
      const DWORD error = GetLastError();
      LogMessage(kLogError)
          .Text("Failed to load ")
          .Text(moduleName)
          .Text(" from the system folder (")
          .Unsigned(error)
          .Text(")");
      SetLastError(error);
      return nullptr;
    }
  }
  FARPROC function = GetProcAddress(*module, functionName);
  if (!function) {
    const DWORD error = GetLastError();
    LogMessage(kLogError)
        .Text("The system's ")
        .Text(moduleName)
        .Text(" has no ")
        .Text(functionName)
        .Text(" (")
        .Unsigned(error)
        .Text(")");
    SetLastError(error);
  }
  return function;
}

}  // namespace

bool RestrictModuleSearch() {
  SetDefaultDllDirectoriesFunction setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(FindKernelFunction("SetDefaultDllDirectories")));
  if (setDefaultDirectories && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
  // Without it, at least the current directory leaves the search order (XP SP1 and later); the
  // program's own folder stays in it, which is why nothing is loaded by a bare name but from the
  // system folder's full path (LoadSystemModule).
  SetDllDirectoryFunction setDllDirectory =
      reinterpret_cast<SetDllDirectoryFunction>(reinterpret_cast<void*>(FindKernelFunction("SetDllDirectoryA")));
  return setDllDirectory && setDllDirectory("");
}

HMODULE LoadSystemModule(const char* fileName) {
  if (!fileName || !*fileName || strpbrk(fileName, "\\/:")) {
    LogError("Refusing to load a system module by a name with a folder part: ", fileName ? fileName : "(none)");
    SetLastError(ERROR_BAD_PATHNAME);
    return nullptr;
  }
  if (SearchFlagsSupported()) return LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);

  char folder[kPathBufferSize];
  const UINT length = GetSystemDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return nullptr;
  HeapString path;
  if (!path.Assign(folder) || !path.Append("\\") || !path.Append(fileName)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return LoadLibraryExA(path.Text(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadModuleFromPath(const char* path) {
  char full[kPathBufferSize];
  if (!IsAbsolutePath(path) || !CanonicalPath(path, full, sizeof full)) {
    LogError("Refusing to load a module by a path that is not absolute (it would be searched for): ",
             path ? path : "(none)");
    SetLastError(ERROR_BAD_PATHNAME);
    return nullptr;
  }
  // Where the flags are missing, the altered search order still puts the module's own folder
  // first for what it imports.
  const DWORD flags = SearchFlagsSupported() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                             : LOAD_WITH_ALTERED_SEARCH_PATH;
  return LoadLibraryExA(full, nullptr, flags);
}

HMODULE LoadModuleAsData(const char* path) {
  char full[kPathBufferSize];
  if (!IsAbsolutePath(path) || !CanonicalPath(path, full, sizeof full)) {
    LogError("Refusing to read a module file by a path that is not absolute: ", path ? path : "(none)");
    SetLastError(ERROR_BAD_PATHNAME);
    return nullptr;
  }
  return LoadLibraryExA(full, nullptr, kDataFileOnly);
}

bool IsAbsolutePath(const char* path) {
  if (!path || !path[0]) return false;
  if (IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) return true;
  // "\\server\share\..." and "\\?\C:\...": a name follows the two separators.
  return IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != '\0' && !IsSeparator(path[2]);
}

bool GetProgramFolderPath(const char* fileName, HeapString* out) {
  if (!out) return false;
  char program[kPathBufferSize];
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return false;  // a cut path names another folder
  program[length] = '\0';
  int folderLength = -1;
  for (DWORD i = 0; i < length; ++i)
    if (IsSeparator(program[i])) folderLength = static_cast<int>(i) + 1;
  if (folderLength <= 0) return false;
  return out->Assign(program, folderLength) && out->Append(fileName ? fileName : "");
}

bool MakeAbsoluteFromCurrentFolder(const char* path, HeapString* out) {
  if (!out || !path || !path[0]) return false;
  if (IsAbsolutePath(path)) return out->Assign(path);
  // "\x" names the current drive's root and "C:x" drive C's current folder, not this one.
  if (IsSeparator(path[0]) || path[1] == ':') return false;
  char full[kPathBufferSize];
  return CanonicalPath(path, full, sizeof full) && out->Assign(full);
}

namespace {

// The failure of a function that could not be looked up.
HRESULT MissingFunctionResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

BOOL InternetGetConnectedStateFromSystem(DWORD* flags, DWORD reserved) {
  InternetGetConnectedStateFunction function = reinterpret_cast<InternetGetConnectedStateFunction>(
      reinterpret_cast<void*>(FindSystemFunction(&g_wininet, "wininet.dll", "InternetGetConnectedState")));
  if (!function) {
    if (flags) *flags = 0;
    return FALSE;
  }
  return function(flags, reserved);
}

HRESULT CreateURLMonikerFromSystem(IMoniker* context, LPCWSTR url, IMoniker** moniker) {
  CreateURLMonikerFunction function = reinterpret_cast<CreateURLMonikerFunction>(
      reinterpret_cast<void*>(FindSystemFunction(&g_urlmon, "urlmon.dll", "CreateURLMoniker")));
  if (!function) {
    if (moniker) *moniker = nullptr;
    return MissingFunctionResult();
  }
  return function(context, url, moniker);
}

HRESULT RegisterBindStatusCallbackFromSystem(IBindCtx* context, IBindStatusCallback* callback,
                                             IBindStatusCallback** previous, DWORD reserved) {
  RegisterBindStatusCallbackFunction function = reinterpret_cast<RegisterBindStatusCallbackFunction>(
      reinterpret_cast<void*>(FindSystemFunction(&g_urlmon, "urlmon.dll", "RegisterBindStatusCallback")));
  if (!function) return MissingFunctionResult();
  return function(context, callback, previous, reserved);
}

HRESULT RevokeBindStatusCallbackFromSystem(IBindCtx* context, IBindStatusCallback* callback) {
  RevokeBindStatusCallbackFunction function = reinterpret_cast<RevokeBindStatusCallbackFunction>(
      reinterpret_cast<void*>(FindSystemFunction(&g_urlmon, "urlmon.dll", "RevokeBindStatusCallback")));
  if (!function) return MissingFunctionResult();
  return function(context, callback);
}

void SetSearchFlagsUnavailableForTesting(bool unavailable) { g_searchFlagsUnavailableForTesting = unavailable; }
