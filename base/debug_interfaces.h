// Interfaces of the optional debugger module ("KLP_DebuggerDLL.dll") that receives every
// diagnostic message. Shared with the debugger module that this project builds.
#pragma once

#include <windows.h>
#include <unknwn.h>

class HeapString;

// {9A70A3B0-8999-453C-A90E-70FE006668EB}
static const GUID kIidDebugChannel = {0x9A70A3B0, 0x8999, 0x453C, {0xA9, 0x0E, 0x70, 0xFE, 0x00, 0x66, 0x68, 0xEB}};
// {B0FAFB3D-6CAB-4004-81DF-F67E6F1FB564}
static const GUID kIidDebugModuleRegistry = {
    0xB0FAFB3D, 0x6CAB, 0x4004, {0x81, 0xDF, 0xF6, 0x7E, 0x6F, 0x1F, 0xB5, 0x64}};
// {5C8A96E4-B238-4A81-8B08-AABAFA3D3CB5}
static const GUID kIidDebugChannelControl = {
    0x5C8A96E4, 0xB238, 0x4A81, {0x8B, 0x08, 0xAA, 0xBA, 0xFA, 0x3D, 0x3C, 0xB5}};
// {F3931473-1AFF-47B9-8880-EDC5442F8DD2}: the class whose creator the installer asks for.
static const GUID kClsidDebugChannel = {0xF3931473, 0x1AFF, 0x47B9, {0x88, 0x80, 0xED, 0xC5, 0x44, 0x2F, 0x8D, 0xD2}};

// Message levels.
const int kLogError = 0;
const int kLogInfo = 1;
const int kLogDetail = 2;
const int kLogTrace = 3;

struct DebugChannel : public IUnknown {
  virtual void __stdcall Post(const char* category, int level, int reserved1, const char* text, int reserved2,
                              int reserved3, DWORD cookie) = 0;
  virtual int __stdcall GetVerbosity() = 0;
  virtual long __stdcall Reserved5() = 0;
  virtual long __stdcall Reserved6() = 0;
  virtual long __stdcall Reserved7() = 0;
  // An empty string owned by the channel; the poster appends to it and posts its text.
  virtual HeapString* __stdcall GetScratchBuffer() = 0;
};

struct DebugModuleRegistry : public IUnknown {
  virtual bool __stdcall RegisterModule(HMODULE module, DWORD* cookie) = 0;
  virtual HMODULE __stdcall UnregisterModule(HMODULE module, DWORD* cookie) = 0;
};

struct DebugChannelControl : public IUnknown {
  virtual long __stdcall Reserved3() = 0;
  virtual long __stdcall Reserved4() = 0;
  virtual long __stdcall Reserved5() = 0;
  virtual long __stdcall Reserved6() = 0;
  virtual void __stdcall Shutdown() = 0;
};

typedef long(__stdcall* DebugChannelCreator)(IUnknown** out);
typedef DebugChannelCreator(__stdcall* GetCreatorFunctionProc)(const GUID* clsid);
typedef bool(__stdcall* CanUnloadNowProc)(void);
