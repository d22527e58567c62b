// The process-wide ModuleInfo object: module handle, path, file name and version of the program.
#include "base/module_info.h"

#include <string.h>

#include "base/status.h"
#include "version.h"

namespace {

const DWORD kVersionNumber =
    (TOLLIX_VERSION_MAJOR << 24) | (TOLLIX_VERSION_MINOR << 16) | (TOLLIX_VERSION_BUILD << 8) | TOLLIX_VERSION_REVISION;

LONG g_moduleLockCount = 0;

class ProgramModuleInfo : public ModuleInfo {
 public:
  ProgramModuleInfo() : m_pathKnown(false) { m_path[0] = '\0'; }
  ~ProgramModuleInfo() {
    if (g_moduleLockCount != 0) {
      OutputDebugStringA(TOLLIX_VERSION_TEXT);
      OutputDebugStringA(" - m_refcount nonzero\n");
    }
  }

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIidModuleInfo)) {
      *out = static_cast<ModuleInfo*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG __stdcall AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&g_moduleLockCount)); }
  ULONG __stdcall Release() override { return static_cast<ULONG>(InterlockedDecrement(&g_moduleLockCount)); }

  // The executable's instance handle variable is null, which stands for the program itself.
  HMODULE __stdcall ModuleHandle() override { return nullptr; }
  const char* __stdcall ModulePath() override {
    if (!m_pathKnown) {
      DWORD length = ::GetModuleFileNameA(nullptr, m_path, sizeof m_path);
      if (length == 0 || length >= sizeof m_path) lstrcpynA(m_path, "_Unknown_", sizeof m_path);
      m_pathKnown = true;
    }
    return m_path;
  }
  const char* __stdcall ModuleFileName() override {
    const char* path = ModulePath();
    const char* name = path;
    for (const char* p = path; *p; ++p)
      if (*p == '\\' || *p == '/') name = p + 1;
    return name;
  }
  const char* __stdcall VersionText() override { return TOLLIX_VERSION_TEXT; }
  DWORD __stdcall VersionNumber() override { return kVersionNumber; }

 private:
  bool m_pathKnown;
  char m_path[kPathBufferSize];
};

ProgramModuleInfo g_moduleInfo;

}  // namespace

extern "C" __declspec(dllexport) IUnknown* __stdcall QMXGetModuleInfo(void) {
  return static_cast<ModuleInfo*>(&g_moduleInfo);
}
