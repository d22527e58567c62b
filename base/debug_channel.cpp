// The diagnostic channel: one process-wide DebugChannel from the optional debugger module.
#include "base/debug_channel.h"

#include <string.h>

#include "base/module_loader.h"
#include "base/scoped.h"
#include "base/status.h"

namespace {

struct DebugCategory {
  const char* name;
  bool enabled;
};

// One record per component of the component runtime; the installer posts only as "Installer".
DebugCategory g_categories[27] = {
    {"Core", true},      {"Toolbar", true},       {"Browser", true},     {"Search", true},    {"Skin", true},
    {"Options", true},   {"Network", true},       {"Update", true},      {"Registry", true},  {"Files", true},
    {"Process", true},   {"Installer", true},     {"Uninstaller", true}, {"Runtime", true},   {"Menu", true},
    {"Buttons", true},   {"Personalize", true},   {"Popup", true},       {"Highlight", true}, {"History", true},
    {"Photos", true},    {"DeviceConnect", true}, {"Autoplay", true},    {"Shell", true},     {"Ping", true},
    {"Resources", true}, {"Debugger", true},
};
const DebugCategory& kInstallerCategory = g_categories[11];
const char kCategoryName[] = "Installer";

// The executable itself: this variable stays null, which stands for the program's own module.
HMODULE g_ownModule = nullptr;

DebugChannel* g_channel = nullptr;
DebugModuleRegistry* g_registry = nullptr;
DWORD g_moduleCookie = 0;
HMODULE g_debuggerModule = nullptr;

struct ChannelLock {
  ChannelLock() { InitializeCriticalSection(&section); }
  ~ChannelLock() {
    // Process end: drop a channel that nobody stopped.
    if (g_channel) SetDebugChannel(nullptr);
    DeleteCriticalSection(&section);
  }
  CRITICAL_SECTION section;
} g_lock;

class Locked {
 public:
  Locked() { EnterCriticalSection(&g_lock.section); }
  ~Locked() { LeaveCriticalSection(&g_lock.section); }
};

void Detach() {
  if (g_channel) {
    DebugChannel* channel = g_channel;
    g_channel = nullptr;
    channel->Release();
  }
  if (g_registry) {
    HMODULE toFree = g_registry->UnregisterModule(g_ownModule, &g_moduleCookie);
    DebugModuleRegistry* registry = g_registry;
    g_registry = nullptr;
    registry->Release();
    if (toFree) FreeLibrary(toFree);
  }
}

void Attach(DebugChannel* channel) {
  if (!channel) return;
  channel->AddRef();
  g_channel = channel;
  void* registry = nullptr;
  if (SUCCEEDED(channel->QueryInterface(kIidDebugModuleRegistry, &registry)) && registry) {
    g_registry = static_cast<DebugModuleRegistry*>(registry);
    if (!g_registry->RegisterModule(g_ownModule, &g_moduleCookie)) {
      g_registry->Release();
      g_registry = nullptr;
    }
  }
}

bool UnloadDebuggerModule() {
  if (!g_debuggerModule) return true;
  HMODULE module = g_debuggerModule;
  g_debuggerModule = nullptr;
  CanUnloadNowProc canUnload =
      reinterpret_cast<CanUnloadNowProc>(reinterpret_cast<void*>(GetProcAddress(module, "QMXCanUnloadNow")));
  if (canUnload && canUnload()) {
    FreeLibrary(module);
    return true;
  }
  return false;
}

// The per-program switch under HKCU.
enum class DebugSwitch {
  kOff,            // exactly "0": no channel for this program
  kOn,             // anything else, or no readable value: the module named in HKLM
  kBesideProgram,  // exactly "1": also the module in the program's own folder
};

// A missing or unreadable value is (re)written as "0" and this run still tries the channel.
DebugSwitch ReadSwitch(const char* programName) {
  ScopedRegKey key;
  if (key.Create(HKEY_CURRENT_USER, "Software\\Nimbrel\\Content Debugger", KEY_ALL_ACCESS) != ERROR_SUCCESS)
    return DebugSwitch::kOn;
  char value[10];
  if (key.ReadText(programName, value, sizeof value) != ERROR_SUCCESS) {
    key.SetText(programName, "0");
    return DebugSwitch::kOn;
  }
  if (strcmp(value, "0") == 0) return DebugSwitch::kOff;
  return strcmp(value, "1") == 0 ? DebugSwitch::kBesideProgram : DebugSwitch::kOn;
}

// Only by an absolute path: a module the process runs as administrator must not be picked up
// from the download folder, the current directory or the current drive's root.
HMODULE LoadDebuggerModule(const char* moduleFolder, bool besideProgram) {
  HMODULE module = nullptr;
  ScopedRegKey key;
  if (key.Create(HKEY_LOCAL_MACHINE, "Software\\Nimbrel", KEY_ALL_ACCESS) == ERROR_SUCCESS) {
    char path[kPathBufferSize];
    if (key.ReadText("ContentDebuggerDLL", path, sizeof path) == ERROR_SUCCESS) module = LoadModuleFromPath(path);
  }
  // The program's own folder is a support engineer's explicit opt-in (the switch set to "1").
  if (!module && besideProgram) {
    HeapString path;
    const char kName[] = "KLP_DebuggerDLL.dll";
    const bool built = moduleFolder ? path.Assign(moduleFolder) && path.Append("\\") && path.Append(kName)
                                    : GetProgramFolderPath(kName, &path);
    if (built && path.Length() < kPathBufferSize) module = LoadModuleFromPath(path.Text());
  }
  return module;
}

}  // namespace

DebugChannel* GetDebugChannel() { return g_channel; }

bool StartDebugChannel(const char* programName, const char* moduleFolder) {
  Locked lock;
  if (g_debuggerModule) return true;
  const DebugSwitch debugSwitch = programName && *programName ? ReadSwitch(programName) : DebugSwitch::kOn;
  if (debugSwitch == DebugSwitch::kOff) return false;

  g_debuggerModule = LoadDebuggerModule(moduleFolder, debugSwitch == DebugSwitch::kBesideProgram);
  if (!g_debuggerModule) return false;

  GetCreatorFunctionProc getCreator = reinterpret_cast<GetCreatorFunctionProc>(
      reinterpret_cast<void*>(GetProcAddress(g_debuggerModule, "QMXGetCreatorFunction")));
  DebugChannelCreator creator = getCreator ? getCreator(&kClsidDebugChannel) : nullptr;
  IUnknown* object = nullptr;
  long status = creator ? creator(&object) : kStatusFailed;
  if (status >= 0 && object) {
    SetDebugChannel(object);
    object->Release();
    return true;
  }
  if (object) object->Release();
  UnloadDebuggerModule();
  return false;
}

void StopDebugChannel() {
  Locked lock;
  DebugChannelControl* control = nullptr;
  if (g_channel) {
    void* out = nullptr;
    if (SUCCEEDED(g_channel->QueryInterface(kIidDebugChannelControl, &out)))
      control = static_cast<DebugChannelControl*>(out);
  }
  if (control) control->Shutdown();
  SetDebugChannel(nullptr);
  // The control reference goes before the module may be unloaded, never after.
  if (control) control->Release();
  if (g_debuggerModule) UnloadDebuggerModule();
}

bool SetDebugChannel(IUnknown* object) {
  DebugChannel* channel = nullptr;
  if (object) {
    void* out = nullptr;
    if (SUCCEEDED(object->QueryInterface(kIidDebugChannel, &out))) channel = static_cast<DebugChannel*>(out);
  }
  bool result = !channel || !g_channel || channel == g_channel;
  if (channel != g_channel) {
    Detach();
    Attach(channel);
  }
  if (channel) channel->Release();
  return result;
}

bool IsLogEnabled(int level) {
  DebugChannel* channel = g_channel;
  if (!channel) return false;
  if (level <= kLogError) return true;
  return kInstallerCategory.enabled && channel->GetVerbosity() >= level;
}

LogMessage::LogMessage(int level) : m_level(level), m_channel(nullptr), m_text(nullptr) {
  if (!IsLogEnabled(level)) return;
  m_channel = g_channel;
  m_text = m_channel->GetScratchBuffer();
  if (!m_text) m_channel = nullptr;
}

LogMessage::~LogMessage() {
  if (m_channel) m_channel->Post(kCategoryName, m_level, 0, m_text->Text(), 0, 0, g_moduleCookie);
}

LogMessage& LogMessage::Text(const char* text) {
  if (m_text && text) m_text->Append(text);
  return *this;
}

LogMessage& LogMessage::Signed(long value) {
  if (m_text) HeapString::AppendSigned(*m_text, value);
  return *this;
}

LogMessage& LogMessage::Unsigned(unsigned long value) {
  if (m_text) HeapString::AppendUnsigned(*m_text, value);
  return *this;
}

void Log(int level, const char* a, const char* b, const char* c) {
  LogMessage message(level);
  message.Text(a).Text(b).Text(c);
}
