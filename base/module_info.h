// The program's module information object, published through the export QMXGetModuleInfo.
#pragma once

#include <windows.h>
#include <unknwn.h>

// {9CF6E88E-97B9-4F5B-83D8-54532C10598C}
static const GUID kIidModuleInfo = {0x9CF6E88E, 0x97B9, 0x4F5B, {0x83, 0xD8, 0x54, 0x53, 0x2C, 0x10, 0x59, 0x8C}};

struct ModuleInfo : public IUnknown {
  virtual HMODULE __stdcall ModuleHandle() = 0;
  virtual const char* __stdcall ModulePath() = 0;
  virtual const char* __stdcall ModuleFileName() = 0;
  virtual const char* __stdcall VersionText() = 0;
  virtual DWORD __stdcall VersionNumber() = 0;
};

extern "C" __declspec(dllexport) IUnknown* __stdcall QMXGetModuleInfo(void);
