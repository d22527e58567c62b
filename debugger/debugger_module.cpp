// The debugger module: serves the installer's diagnostic channel and appends every posted
// message, one line each, to a log file. Configured under HKCU "Software\Nimbrel\KLP Debugger":
// "LogFile" (REG_SZ, default %TEMP%\KLP_Debugger.log) and "Verbosity" (REG_DWORD 0 to 3,
// default 3: every message).
#include <string.h>
#include <windows.h>

#include <new>

#include "base/debug_interfaces.h"
#include "base/heap_string.h"

namespace {

const char kSettingsKey[] = "Software\\Nimbrel\\KLP Debugger";
LONG g_objectCount = 0;

const char* LevelName(int level) {
  switch (level) {
    case kLogError:
      return "ERROR ";
    case kLogInfo:
      return "INFO  ";
    case kLogDetail:
      return "DETAIL";
    case kLogTrace:
      return "TRACE ";
    default:
      return "LEVEL?";
  }
}

class FileChannel final : public DebugChannel, public DebugModuleRegistry, public DebugChannelControl {
 public:
  FileChannel() : m_refs(1), m_verbosity(kLogTrace) {
    InterlockedIncrement(&g_objectCount);
    ReadSettings();
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, sizeof program - 1);
    HeapString header;
    header.Format("---- %s (process %lu), verbosity %d ----", program, GetCurrentProcessId(), m_verbosity);
    WriteLine(header.Text());
  }
  ~FileChannel() { InterlockedDecrement(&g_objectCount); }

  // IUnknown, shared by the three interfaces.
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIidDebugChannel))
      *out = static_cast<DebugChannel*>(this);
    else if (IsEqualGUID(iid, kIidDebugModuleRegistry))
      *out = static_cast<DebugModuleRegistry*>(this);
    else if (IsEqualGUID(iid, kIidDebugChannelControl))
      *out = static_cast<DebugChannelControl*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG __stdcall Release() override {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  // DebugChannel.
  void __stdcall Post(const char* category, int level, int, const char* text, int, int, DWORD) override {
    if (level > m_verbosity) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    HeapString line;
    line.Format("%04u-%02u-%02u %02u:%02u:%02u.%03u %s %s: ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond, now.wMilliseconds, LevelName(level), category ? category : "?");
    line.Append(text ? text : "");
    WriteLine(line.Text());
  }
  int __stdcall GetVerbosity() override { return m_verbosity; }
  long __stdcall Reserved5() override { return 0; }
  long __stdcall Reserved6() override { return 0; }
  long __stdcall Reserved7() override { return 0; }
  HeapString* __stdcall GetScratchBuffer() override {
    m_scratch.Truncate(0);
    return &m_scratch;
  }

  // DebugModuleRegistry.
  bool __stdcall RegisterModule(HMODULE, DWORD* cookie) override {
    if (cookie) *cookie = GetCurrentProcessId();
    return true;
  }
  HMODULE __stdcall UnregisterModule(HMODULE, DWORD* cookie) override {
    if (cookie) *cookie = 0;
    return nullptr;
  }

  // DebugChannelControl (its reserved slots 5 and 6 share the overrides above).
  long __stdcall Reserved3() override { return 0; }
  long __stdcall Reserved4() override { return 0; }
  void __stdcall Shutdown() override { WriteLine("---- channel shut down ----"); }

 private:
  void ReadSettings() {
    DWORD size = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      DWORD verbosity = 0;
      DWORD type = 0;
      size = sizeof verbosity;
      if (RegQueryValueExA(key, "Verbosity", nullptr, &type, reinterpret_cast<BYTE*>(&verbosity), &size) ==
              ERROR_SUCCESS &&
          type == REG_DWORD)
        m_verbosity = static_cast<int>(verbosity);
      size = sizeof m_logFile - 1;
      if (RegQueryValueExA(key, "LogFile", nullptr, &type, reinterpret_cast<BYTE*>(m_logFile), &size) !=
              ERROR_SUCCESS ||
          type != REG_SZ)
        size = 0;
      m_logFile[size] = '\0';
      RegCloseKey(key);
    }
    if (!m_logFile[0]) {
      DWORD length = GetTempPathA(sizeof m_logFile, m_logFile);
      if (length == 0 || length + 20 >= sizeof m_logFile) m_logFile[0] = '\0';
      strcat(m_logFile, "KLP_Debugger.log");
    }
  }

  // Opened per line, so the log is complete even when the program dies.
  void WriteLine(const char* text) {
    HANDLE file = CreateFileA(m_logFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
  }

  LONG m_refs;
  int m_verbosity;
  char m_logFile[MAX_PATH + 1] = {};
  HeapString m_scratch;
};

long __stdcall CreateChannel(IUnknown** out) {
  if (!out) return E_POINTER;
  FileChannel* channel = new (std::nothrow) FileChannel();
  *out = static_cast<DebugChannel*>(channel);
  return channel ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

extern "C" __declspec(dllexport) DebugChannelCreator __stdcall QMXGetCreatorFunction(const GUID* clsid) {
  return clsid && IsEqualGUID(*clsid, kClsidDebugChannel) ? &CreateChannel : nullptr;
}

extern "C" __declspec(dllexport) bool __stdcall QMXCanUnloadNow(void) { return g_objectCount == 0; }
