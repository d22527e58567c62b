// Every module the program loads goes through here: the process's search order cut down to the
// system folder before anything else loads, Windows DLLs only from the system folder, and
// edition and debugger modules only by an absolute path.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <urlmon.h>

#include "base/heap_string.h"

// The first act of the program: later loads by a bare name look in the system folder only
// (SetDefaultDllDirectories where the system has it, else SetDllDirectoryA("") takes the
// current directory out). False when neither could be applied.
bool RestrictModuleSearch();

// A DLL of Windows by its bare file name ("PSAPI.DLL"), taken from the system folder only.
// Null (last error set) when it cannot be loaded; a name with a folder part is refused.
HMODULE LoadSystemModule(const char* fileName);

// A module by its absolute path; the modules it imports are taken from its own folder and the
// system folder. A path that is not absolute is refused (logged, last error
// ERROR_BAD_PATHNAME): it would be looked for along the search order.
HMODULE LoadModuleFromPath(const char* path);

// A module file's resources only, by its absolute path: none of its code runs.
HMODULE LoadModuleAsData(const char* path);

// "C:\..." (or "C:/...") and "\\server\share\..." are absolute; "name.dll", "folder\name.dll",
// "\name.dll" (the current drive's root) and "C:name.dll" (drive C's current folder) are not.
bool IsAbsolutePath(const char* path);

// The path of a file in the running program's own folder (from GetModuleFileName).
bool GetProgramFolderPath(const char* fileName, HeapString* out);

// A path relative to the current directory made absolute ("Vendor\ProgFiles\x.dll" in the
// package folder); an absolute path is kept. Drive- and root-relative forms are refused.
bool MakeAbsoluteFromCurrentFolder(const char* path, HeapString* out);

// Functions of Windows DLLs that the program does not import, looked up in the system folder's
// copy at their first use (the DLL then stays loaded for the run). Without the DLL or the
// function: FALSE with the Windows error, or a failing HRESULT.
BOOL InternetGetConnectedStateFromSystem(DWORD* flags, DWORD reserved);
HRESULT CreateURLMonikerFromSystem(IMoniker* context, LPCWSTR url, IMoniker** moniker);
HRESULT RegisterBindStatusCallbackFromSystem(IBindCtx* context, IBindStatusCallback* callback,
                                             IBindStatusCallback** previous, DWORD reserved);
HRESULT RevokeBindStatusCallbackFromSystem(IBindCtx* context, IBindStatusCallback* callback);

// Tests only: behave as a system without the search flags of LoadLibraryEx (Windows before 8
// without the update that brought SetDefaultDllDirectories), or again as this system is.
void SetSearchFlagsUnavailableForTesting(bool unavailable);
