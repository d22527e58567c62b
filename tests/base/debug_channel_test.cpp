// The diagnostic channel: the switch value, the two places the debugger module is loaded from
// and the places it is never loaded from, the real debugger module and its log, publishing a channel, the posting
// convention, and the module information export.
#include "base/debug_channel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/module_info.h"
#include "version.h"
#include "support/bench.h"

namespace {

const char kSwitchKey[] = "Software\\Nimbrel\\Content Debugger";
const char kProgram[] = "Tollix Installer";
const char kNimbrel[] = "Software\\Nimbrel";
const char kSettingsKey[] = "Software\\Nimbrel\\KLP Debugger";

HMODULE LoadedDebugger() { return GetModuleHandleA("KLP_DebuggerDLL.dll"); }

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, sizeof path);
  return path;
}

// A channel object that records every call the program makes on it.
class TestChannel final : public DebugChannel, public DebugModuleRegistry {
 public:
  struct Posted {
    std::string category;
    int level;
    int reserved1, reserved2, reserved3;
    std::string text;
    DWORD cookie;
  };

  explicit TestChannel(bool withRegistry = true, bool registers = true)
      : m_withRegistry(withRegistry), m_registers(registers) {}

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIidDebugChannel))
      *out = static_cast<DebugChannel*>(this);
    else if (m_withRegistry && IsEqualGUID(iid, kIidDebugModuleRegistry))
      *out = static_cast<DebugModuleRegistry*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return ++refs; }
  ULONG __stdcall Release() override { return --refs; }
  void __stdcall Post(const char* category, int level, int reserved1, const char* text, int reserved2, int reserved3,
                      DWORD cookie) override {
    posts.push_back({category ? category : "", level, reserved1, reserved2, reserved3, text ? text : "", cookie});
  }
  int __stdcall GetVerbosity() override { return verbosity; }
  long __stdcall Reserved5() override { return 0; }
  long __stdcall Reserved6() override { return 0; }
  long __stdcall Reserved7() override { return 0; }
  HeapString* __stdcall GetScratchBuffer() override {
    scratch.Truncate(0);
    return &scratch;
  }
  bool __stdcall RegisterModule(HMODULE module, DWORD* cookie) override {
    ++registered;
    registeredModule = module;
    if (m_registers) *cookie = 0x5150;
    return m_registers;
  }
  HMODULE __stdcall UnregisterModule(HMODULE, DWORD* cookie) override {
    ++unregistered;
    *cookie = 0;
    HMODULE module = moduleToFree;
    moduleToFree = nullptr;
    return module;
  }

  LONG refs = 1;
  int verbosity = 3;
  int registered = 0;
  int unregistered = 0;
  HMODULE registeredModule = reinterpret_cast<HMODULE>(1);
  HMODULE moduleToFree = nullptr;
  std::vector<Posted> posts;
  HeapString scratch;

 private:
  bool m_withRegistry;
  bool m_registers;
};

// An object that answers only IUnknown.
class PlainObject final : public IUnknown {
 public:
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG __stdcall AddRef() override { return ++refs; }
  ULONG __stdcall Release() override { return --refs; }
  LONG refs = 1;
};

class DebugChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDebugChannel(nullptr);
    DeleteKeyTree(HKEY_CURRENT_USER, kSwitchKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kSettingsKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kNimbrel);
    GetCurrentDirectoryA(sizeof m_directory, m_directory);
    SetCurrentDirectoryA(m_scratch.Path().c_str());  // no debugger module in the search path
  }
  void TearDown() override {
    StopDebugChannel();
    SetDebugChannel(nullptr);
    SetCurrentDirectoryA(m_directory);
    DeleteKeyTree(HKEY_CURRENT_USER, kSwitchKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kSettingsKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kNimbrel);
  }
  // Names the real debugger module in HKLM and sends its log to the scratch folder.
  std::string UseRealDebugger(DWORD verbosity = 3) {
    EXPECT_TRUE(SetString(HKEY_LOCAL_MACHINE, kNimbrel, "ContentDebuggerDLL", DebuggerModulePath()));
    const std::string log = m_scratch / "debugger.log";
    EXPECT_TRUE(SetString(HKEY_CURRENT_USER, kSettingsKey, "LogFile", log));
    EXPECT_TRUE(SetDword(HKEY_CURRENT_USER, kSettingsKey, "Verbosity", verbosity));
    return log;
  }
  ScratchFolder m_scratch;
  char m_directory[MAX_PATH] = {};
};

}  // namespace

TEST_F(DebugChannelTest, SwitchValueCases) {
  UseRealDebugger();
  struct Case {
    const char* name;
    std::string stored;  // "(none)": no value
    bool started;
    std::string after;
  } cases[] = {
      {"first run", "(none)", true, "0"},  // created as "0", the channel still tried
      {"switched off", "0", false, "0"},
      {"on", "1", true, "1"},
      {"two zeros", "00", true, "00"},
      {"zero and more", "0x", true, "0x"},
      {"longer than the buffer", "0123456789", true, "0"},  // eleven bytes with the terminator
  };
  for (const Case& c : cases) {
    DeleteKeyTree(HKEY_CURRENT_USER, kSwitchKey);
    if (c.stored != "(none)") {
      ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, c.stored));
    }
    EXPECT_EQ(c.started, StartDebugChannel(kProgram, nullptr)) << c.name;
    EXPECT_EQ(c.started, GetDebugChannel() != nullptr) << c.name;
    EXPECT_EQ(c.started, LoadedDebugger() != nullptr) << c.name;
    std::string after;
    EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kSwitchKey, kProgram, &after)) << c.name;
    EXPECT_EQ(c.after, after) << c.name;
    StopDebugChannel();
    EXPECT_EQ(nullptr, GetDebugChannel()) << c.name;
    EXPECT_EQ(nullptr, LoadedDebugger()) << c.name;  // the module allowed its unloading
  }
  // Without a program name the switch is not consulted.
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, "0"));
  EXPECT_TRUE(StartDebugChannel("", nullptr));
  StopDebugChannel();
}

TEST_F(DebugChannelTest, StartingTwiceLoadsOnce) {
  UseRealDebugger();
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, "1"));
  ASSERT_TRUE(StartDebugChannel(kProgram, nullptr));
  DebugChannel* channel = GetDebugChannel();
  ASSERT_NE(nullptr, channel);
  EXPECT_TRUE(StartDebugChannel(kProgram, nullptr));
  EXPECT_EQ(channel, GetDebugChannel());
  StopDebugChannel();
  EXPECT_EQ(nullptr, LoadedDebugger());
}

TEST_F(DebugChannelTest, LoadingPlaces) {
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, "1"));
  // The module folder given by the caller.
  const std::string folder = m_scratch / "modules";
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(CopyFileA(DebuggerModulePath().c_str(), (folder + "\\KLP_DebuggerDLL.dll").c_str(), FALSE));
  ASSERT_TRUE(StartDebugChannel(kProgram, folder.c_str()));
  EXPECT_EQ(folder + "\\KLP_DebuggerDLL.dll", ModulePath(LoadedDebugger()));
  StopDebugChannel();

  // The registry wins over the folder; a registry path that does not load falls through.
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kNimbrel, "ContentDebuggerDLL", DebuggerModulePath()));
  ASSERT_TRUE(StartDebugChannel(kProgram, folder.c_str()));
  EXPECT_EQ(DebuggerModulePath(), ModulePath(LoadedDebugger()));
  StopDebugChannel();
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kNimbrel, "ContentDebuggerDLL", m_scratch / "missing.dll"));
  ASSERT_TRUE(StartDebugChannel(kProgram, folder.c_str()));
  EXPECT_EQ(folder + "\\KLP_DebuggerDLL.dll", ModulePath(LoadedDebugger()));
  StopDebugChannel();

  // Never by the system's search order (here: a copy in the current folder).
  ASSERT_TRUE(CopyFileA(DebuggerModulePath().c_str(), (m_scratch / "KLP_DebuggerDLL.dll").c_str(), FALSE));
  EXPECT_FALSE(StartDebugChannel(kProgram, (m_scratch / "empty").c_str()));
  EXPECT_EQ(nullptr, LoadedDebugger());
  StopDebugChannel();
  ASSERT_TRUE(DeleteFileA((m_scratch / "KLP_DebuggerDLL.dll").c_str()));

  // A folder too long for the 260-byte path is not tried; nothing else is found either.
  const std::string longFolder = "C:\\" + std::string(300, 'x');
  EXPECT_FALSE(StartDebugChannel(kProgram, longFolder.c_str()));
  EXPECT_EQ(nullptr, GetDebugChannel());
  EXPECT_EQ(nullptr, LoadedDebugger());
  // Nothing anywhere: no channel, and posting does nothing.
  EXPECT_FALSE(StartDebugChannel(kProgram, nullptr));
  LogInfo("nobody listens");
  LogError("nobody listens");
  EXPECT_FALSE(IsLogEnabled(kLogError));
}

// The program runs as administrator from a download folder: a debugger module is taken only by
// an absolute path, from HKLM or, on a support engineer's explicit "1", from the program's folder.
TEST_F(DebugChannelTest, PlacesNeverTried) {
  const std::string folder = m_scratch / "modules";
  const std::string besideTests = BuildPath("tests\\KLP_DebuggerDLL.dll");
  const char kDriveRoot[] = "C:\\KLP_DebuggerDLL.dll";
  ASSERT_TRUE(MakeFolders(folder));
  for (const std::string& copy :
       {folder + "\\KLP_DebuggerDLL.dll", m_scratch / "KLP_DebuggerDLL.dll", std::string(kDriveRoot), besideTests}) {
    ASSERT_TRUE(CopyFileA(DebuggerModulePath().c_str(), copy.c_str(), FALSE)) << copy;
  }
  struct Case {
    const char* name;
    const char* switchValue;
    const char* registryPath;  // null: no value
    const char* moduleFolder;  // "(folder)": the folder holding a copy
    std::string loaded;        // empty: nothing
  } cases[] = {
      {"folder without the opt-in", "on", nullptr, "(folder)", ""},
      {"folder with the opt-in", "1", nullptr, "(folder)", folder + "\\KLP_DebuggerDLL.dll"},
      {"program's folder with the opt-in", "1", nullptr, nullptr, besideTests},
      {"program's folder, first run", "(none)", nullptr, nullptr, ""},
      {"bare name in HKLM, copy in the current folder", "on", "KLP_DebuggerDLL.dll", "(folder)", ""},
      {"drive-relative name in HKLM", "1", "C:KLP_DebuggerDLL.dll", "(folder)", folder + "\\KLP_DebuggerDLL.dll"},
      {"the current drive's root from HKLM", "on", "\\KLP_DebuggerDLL.dll", "(folder)", ""},
      {"the current drive's root as an empty folder", "1", nullptr, "", ""},
  };
  for (const Case& c : cases) {
    DeleteKeyTree(HKEY_CURRENT_USER, kSwitchKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kNimbrel);
    if (std::string(c.switchValue) != "(none)") {
      ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, c.switchValue));
    }
    if (c.registryPath) {
      ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kNimbrel, "ContentDebuggerDLL", c.registryPath));
    }
    const char* moduleFolder =
        c.moduleFolder && std::string(c.moduleFolder) == "(folder)" ? folder.c_str() : c.moduleFolder;
    EXPECT_EQ(!c.loaded.empty(), StartDebugChannel(kProgram, moduleFolder)) << c.name;
    EXPECT_EQ(c.loaded, LoadedDebugger() ? ModulePath(LoadedDebugger()) : std::string()) << c.name;
    StopDebugChannel();
    EXPECT_EQ(nullptr, LoadedDebugger()) << c.name;
  }
  DeleteFileA(kDriveRoot);
  DeleteFileA(besideTests.c_str());
}

TEST_F(DebugChannelTest, RealDebuggerWritesLog) {
  const std::string log = UseRealDebugger(kLogInfo);
  ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kSwitchKey, kProgram, "1"));
  ASSERT_TRUE(StartDebugChannel(kProgram, nullptr));
  LogInfo("Initializing");
  LogMessage(kLogInfo).Text("Version ").Unsigned(0x030501FF).Text(", status ").Signed(-43);
  LogTrace("not wanted at verbosity 1");
  LogError("The install/uninstall failed. (", "-1", ")");
  StopDebugChannel();

  std::string text;
  ASSERT_TRUE(ReadTextFile(log, &text));
  EXPECT_NE(std::string::npos, text.find(" INFO   Installer: Initializing\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find(" INFO   Installer: Version 50659839, status -43\r\n")) << text;
  EXPECT_NE(std::string::npos, text.find(" ERROR  Installer: The install/uninstall failed. (-1)\r\n")) << text;
  EXPECT_EQ(std::string::npos, text.find("not wanted")) << text;
  EXPECT_NE(std::string::npos, text.find("channel shut down")) << text;
  // Each line starts with the local time with milliseconds: "yyyy-mm-dd hh:mm:ss.mmm ".
  const size_t line = text.find("Initializing");
  const size_t start = text.rfind('\n', line) + 1;
  const std::string stamp = text.substr(start, 24);
  EXPECT_EQ('-', stamp[4]);
  EXPECT_EQ(':', stamp[13]);
  EXPECT_EQ('.', stamp[19]);
}

TEST_F(DebugChannelTest, SetDebugChannelResultAndAttachment) {
  TestChannel first;
  TestChannel second;
  EXPECT_TRUE(SetDebugChannel(static_cast<DebugChannel*>(&first)));  // no current channel
  EXPECT_EQ(&first, GetDebugChannel());
  EXPECT_EQ(1, first.registered);
  EXPECT_EQ(nullptr, first.registeredModule);  // the executable itself
  EXPECT_EQ(3, first.refs);                    // the channel and its registry interface

  EXPECT_TRUE(SetDebugChannel(static_cast<DebugChannel*>(&first)));  // the current one: nothing changes
  EXPECT_EQ(1, first.registered);
  EXPECT_EQ(3, first.refs);

  // UnregisterModule hands back a module that the program frees.
  first.moduleToFree = LoadLibraryA(DebuggerModulePath().c_str());
  ASSERT_NE(nullptr, first.moduleToFree);
  EXPECT_FALSE(SetDebugChannel(static_cast<DebugChannel*>(&second)));  // replaces another channel
  EXPECT_EQ(&second, GetDebugChannel());
  EXPECT_EQ(1, first.unregistered);
  EXPECT_EQ(1, first.refs);
  EXPECT_EQ(nullptr, LoadedDebugger());
  EXPECT_EQ(1, second.registered);

  PlainObject plain;
  EXPECT_TRUE(SetDebugChannel(&plain));  // no DebugChannel: installs no channel at all
  EXPECT_EQ(nullptr, GetDebugChannel());
  EXPECT_EQ(1, second.unregistered);
  EXPECT_EQ(1, second.refs);
  EXPECT_EQ(1, plain.refs);

  // A registry that refuses the module is given up again; the channel stays.
  TestChannel refusing(true, false);
  EXPECT_TRUE(SetDebugChannel(static_cast<DebugChannel*>(&refusing)));
  EXPECT_EQ(&refusing, GetDebugChannel());
  EXPECT_EQ(2, refusing.refs);
  EXPECT_TRUE(SetDebugChannel(nullptr));
  EXPECT_EQ(0, refusing.unregistered);
  EXPECT_EQ(1, refusing.refs);

  TestChannel noRegistry(false);
  EXPECT_TRUE(SetDebugChannel(static_cast<DebugChannel*>(&noRegistry)));
  EXPECT_TRUE(SetDebugChannel(nullptr));
  EXPECT_EQ(1, noRegistry.refs);
}

TEST_F(DebugChannelTest, PostingConvention) {
  TestChannel channel;
  SetDebugChannel(static_cast<DebugChannel*>(&channel));
  for (int verbosity = 0; verbosity <= 3; ++verbosity) {
    channel.verbosity = verbosity;
    channel.posts.clear();
    for (int level = kLogError; level <= kLogTrace; ++level) {
      EXPECT_EQ(level == kLogError || level <= verbosity, IsLogEnabled(level)) << verbosity << "/" << level;
      Log(level, "level ", std::to_string(level).c_str());
    }
    ASSERT_EQ(static_cast<size_t>(verbosity + 1), channel.posts.size()) << verbosity;
    for (size_t i = 0; i < channel.posts.size(); ++i) {
      const TestChannel::Posted& post = channel.posts[i];
      EXPECT_EQ("Installer", post.category);
      EXPECT_EQ(static_cast<int>(i), post.level);
      EXPECT_EQ("level " + std::to_string(i), post.text);
      EXPECT_EQ(0, post.reserved1);
      EXPECT_EQ(0, post.reserved2);
      EXPECT_EQ(0, post.reserved3);
      EXPECT_EQ(0x5150u, post.cookie);  // the cookie RegisterModule wrote
    }
  }
  // Errors go out even when the channel wants nothing at all.
  channel.verbosity = -1;
  channel.posts.clear();
  LogError("always");
  LogInfo("never");
  ASSERT_EQ(1u, channel.posts.size());
  EXPECT_EQ("always", channel.posts[0].text);

  channel.verbosity = 3;
  channel.posts.clear();
  LogMessage(kLogDetail).Text("a").Signed(-1).Text(" ").Unsigned(0xFFFFFFFFu).Text(nullptr);
  ASSERT_EQ(1u, channel.posts.size());
  EXPECT_EQ("a-1 4294967295", channel.posts[0].text);
  SetDebugChannel(nullptr);
}

TEST(ModuleInfo, ObjectDescribesTheProgram) {
  IUnknown* object = QMXGetModuleInfo();
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(object, QMXGetModuleInfo());  // process-wide

  void* out = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(kIidModuleInfo, &out));
  ModuleInfo* info = static_cast<ModuleInfo*>(out);
  void* unknown = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, &unknown));
  EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(kIidDebugChannel, &out));

  EXPECT_EQ(nullptr, info->ModuleHandle());
  const std::string path = ModulePath(nullptr);
  EXPECT_EQ(path, info->ModulePath());
  EXPECT_EQ(path.substr(path.find_last_of('\\') + 1), info->ModuleFileName());
  EXPECT_STREQ("tollix_tests.exe", info->ModuleFileName());
  EXPECT_STREQ(TOLLIX_VERSION_TEXT, info->VersionText());
  EXPECT_EQ(static_cast<DWORD>(TOLLIX_VERSION_MAJOR << 24 | TOLLIX_VERSION_MINOR << 16 | TOLLIX_VERSION_BUILD << 8 |
                               TOLLIX_VERSION_REVISION),
            info->VersionNumber());

  // References count the module lock up and down.
  const ULONG count = info->AddRef();
  EXPECT_EQ(count - 1, info->Release());
  info->Release();
  static_cast<IUnknown*>(unknown)->Release();
}

TEST(ModuleInfo, ProgramExportsOnlyModuleInfo) {
  HMODULE program = LoadLibraryExA(InstallerPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(nullptr, program);
  EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(program, "QMXGetModuleInfo")));
  // The one export, read from the export directory.
  const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<UINT_PTR>(program) & ~static_cast<UINT_PTR>(3));
  const IMAGE_NT_HEADERS* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(0u, directory.VirtualAddress);
  const IMAGE_EXPORT_DIRECTORY* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  ASSERT_EQ(1u, exports->NumberOfNames);
  const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  EXPECT_STREQ("QMXGetModuleInfo", reinterpret_cast<const char*>(base + names[0]));
  FreeLibrary(program);
}
