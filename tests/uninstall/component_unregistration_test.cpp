// Unregistering in-process servers by class id, and the shared runtime's registrations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bench.h"
#include "support/edition.h"
#include "support/recording_channel.h"
#include "uninstall/uninstaller.h"

namespace {

const char kClsid[] = "{7D1E0A10-0000-4F00-9A00-00000000AB01}";
const char kClsidKey[] = "CLSID\\{7D1E0A10-0000-4F00-9A00-00000000AB01}";
const char kTypeLib[] = "TypeLib\\{E060D9D9-E979-4C2F-A840-BE5150F84AC5}";
const char kRuntimeList[] = "Software\\Nimbrel\\Toolbar Runtime";
const char kMachineServerKey[] = "Software\\Classes\\CLSID\\{7D1E0A10-0000-4F00-9A00-00000000AB01}\\InProcServer32";
const char kUserClasses[] = "Software\\Tollix Test User Classes";

// HKEY_CLASSES_ROOT as Windows merges it for a user who registered the class for themselves:
// their HKCU\Software\Classes entry wins. Wine's HKEY_CLASSES_ROOT shows the machine's classes
// only, so this process's HKEY_CLASSES_ROOT is pointed at a key holding the user's entry.
class UserClassesRoot {
 public:
  explicit UserClassesRoot(const std::string& userServer) {
    DeleteKeyTree(HKEY_CURRENT_USER, kUserClasses);
    if (!userServer.empty()) {
      SetString(HKEY_CURRENT_USER, std::string(kUserClasses) + "\\" + kClsidKey + "\\InProcServer32", "", userServer);
    }
    RegCreateKeyExA(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    m_overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, m_key) == ERROR_SUCCESS;
  }
  ~UserClassesRoot() {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (m_key) RegCloseKey(m_key);
    DeleteKeyTree(HKEY_CURRENT_USER, kUserClasses);
  }
  bool IsOverridden() const { return m_overridden; }

 private:
  HKEY m_key = nullptr;
  bool m_overridden = false;
};

// The modules whose DllUnregisterServer ran, by the journal of the sample modules.
std::vector<std::string> UnregisteredModules() {
  std::vector<std::string> modules;
  for (const std::string& line : ReadSampleJournal()) {
    const size_t tab = line.find('\t');
    if (line.find("\tDllUnregisterServer") != std::string::npos) modules.push_back(line.substr(0, tab));
  }
  return modules;
}

}  // namespace

TEST(ComponentUnregistration, ServerByClsid) {
  const struct {
    const char* server;  // null: no InProcServer32 key
    long expected;
    const char* message;
  } cases[] = {
      {nullptr, 0, nullptr},
      {"", 0, nullptr},
      {"C:\\tollix-tests\\missing\\Nothing.dll", -1, "Failed to load C:\\tollix-tests\\missing\\Nothing.dll"},
  };
  for (const auto& c : cases) {
    DeleteKeyTree(HKEY_CLASSES_ROOT, kClsidKey);
    if (c.server) {
      ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InProcServer32", "", c.server));
    }
    RecordingChannel channel;
    EXPECT_EQ(c.expected, UnregisterServerByClsid(kClsid)) << (c.server ? c.server : "(no key)");
    EXPECT_TRUE(channel.Has(std::string("Unregistering ") + kClsid));
    if (c.message) {
      EXPECT_TRUE(channel.Has(0, c.message));
    }
  }
  DeleteKeyTree(HKEY_CLASSES_ROOT, kClsidKey);
}

TEST(ComponentUnregistration, SharedRuntimeKeepsItsRegistrations) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kRuntimeList);
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "One", "x"));
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "Two", "y"));
  ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, std::string(kTypeLib) + "\\1.0", "", "Runtime"));
  Uninstaller uninstaller;
  RecordingChannel channel;
  EXPECT_EQ(0, uninstaller.RemoveComponentRegistration());
  EXPECT_TRUE(channel.Has("Not removing the runtime snapora extras."));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string(kTypeLib) + "\\1.0"));

  // Not shared, no SystemInfo: the type library goes, the control class needs the object.
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kRuntimeList);
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRuntimeList, "One", "x"));
  channel.Clear();
  EXPECT_EQ(-1, uninstaller.RemoveComponentRegistration());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLib));
  EXPECT_TRUE(channel.Has("Could not delete Type Library registry keys."));  // "1.0\0" was never there
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kRuntimeList);
  DeleteKeyTree(HKEY_CLASSES_ROOT, kTypeLib);
}

// The elevated uninstaller loads the server the machine registered: not a per-user one (the
// same user, unelevated, could point it at a module of theirs), an expandable path expanded,
// and a path that is relative or does not fit refused, never cut or searched for.
TEST(ComponentUnregistration, ServerPathIsTheMachinesFullPath) {
  ScratchFolder scratch;
  // Two sample modules that journal their DllUnregisterServer under their own names.
  const std::string machine = scratch / "Machine.dll";
  const std::string user = scratch / "User.dll";
  ASSERT_TRUE(CopyFileA(BuildPath("sample\\SnaporaShellExt.dll").c_str(), machine.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(BuildPath("sample\\NimbrelPhotosOutlookAddin.dll").c_str(), user.c_str(), FALSE));
  const std::string scratchFolder = scratch.Path().substr(0, scratch.Path().size() - 1);
  SetEnvironmentVariableA("TOLLIX_CLASS_TEST", scratchFolder.c_str());
  SetEnvironmentVariableA("TOLLIX_CLASS_LONG", ("C:\\" + std::string(300, 'a')).c_str());
  const char kMachine[] = "SnaporaShellExt.dll";
  const struct {
    const char* name;
    std::string machineServer;  // empty: no machine registration
    DWORD type;
    bool userServer;  // the user registered User.dll for the class
    long expected;
    const char* unregistered;  // the module whose DllUnregisterServer ran, or null
    std::string error;         // the start of the expected error, or empty
  } cases[] = {
      {"machine and user", machine, REG_SZ, true, 0, kMachine, ""},
      {"user only", "", REG_SZ, true, 0, nullptr, ""},
      {"expandable", "%TOLLIX_CLASS_TEST%\\Machine.dll", REG_EXPAND_SZ, false, 0, kMachine, ""},
      {"quoted", "\"" + machine + "\"", REG_SZ, false, 0, kMachine, ""},
      {"relative", "Machine.dll", REG_SZ, false, -1, nullptr,
       std::string("Refusing the in-process server \"Machine.dll\" of class ") + kClsid + ": not a full path."},
      {"expanded too long", "%TOLLIX_CLASS_LONG%\\Machine.dll", REG_EXPAND_SZ, false, -1, nullptr,
       "Refusing the in-process server \"%TOLLIX_CLASS_LONG%\\Machine.dll\" of class "},
  };
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  SetCurrentDirectoryA(scratch.Path().c_str());  // where a relative name would be found
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kMachineServerKey);
    DeleteKeyTree(HKEY_CLASSES_ROOT, kClsidKey);
    if (!c.machineServer.empty()) {
      ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineServerKey, "", c.machineServer, c.type));
    }
    ClearSampleJournal();
    RecordingChannel channel;
    long result;
    if (c.userServer) {
      UserClassesRoot userClasses(user);
      ASSERT_TRUE(userClasses.IsOverridden());
      result = UnregisterServerByClsid(kClsid);
    } else {
      result = UnregisterServerByClsid(kClsid);
    }
    EXPECT_EQ(c.expected, result);
    const std::vector<std::string> ran = UnregisteredModules();
    EXPECT_EQ(c.unregistered ? std::vector<std::string>{c.unregistered} : std::vector<std::string>{}, ran);
    if (!c.error.empty()) {
      EXPECT_TRUE(channel.HasPrefix(c.error)) << c.error;
    } else {
      EXPECT_TRUE(channel.Texts(0).empty());
    }
  }
  SetCurrentDirectoryA(saved);
  SetEnvironmentVariableA("TOLLIX_CLASS_TEST", nullptr);
  SetEnvironmentVariableA("TOLLIX_CLASS_LONG", nullptr);
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kMachineServerKey);
  DeleteKeyTree(HKEY_CLASSES_ROOT, kClsidKey);
  DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\{6D1F0B24-7C35-4A89-B3E2-4F8A0C5D2E51}");
  DeleteKeyTree(HKEY_CLASSES_ROOT, "Snapora.ShellExt");
}

// A class id is exactly one GUID in braces: one too long for the key path was cut before and
// then named another key (here a registered sub-key of the class); a path behind the id names
// other classes' keys. Both are refused before anything is opened or loaded.
TEST(ComponentUnregistration, ClassIdMustBeOneGuid) {
  ScratchFolder scratch;
  const std::string machine = scratch / "Machine.dll";
  ASSERT_TRUE(CopyFileA(BuildPath("sample\\SnaporaShellExt.dll").c_str(), machine.c_str(), FALSE));
  const std::string tooLong = std::string(kClsid) + "\\" + std::string(300, 'a');
  // "CLSID\" and the id cut to 259 characters end in this many 'a's.
  const std::string cutKey = std::string(kClsidKey) + "\\" + std::string(259 - 6 - 39, 'a');
  ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, cutKey, "", machine));
  ASSERT_TRUE(SetString(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InProcServer32", "", machine));
  const std::string refused[] = {
      tooLong,
      std::string(kClsid) + "\\..",
      "{7D1E0A10-0000-4F00-9A00-00000000AB0}",
      "7D1E0A10-0000-4F00-9A00-00000000AB01",
  };
  for (const std::string& clsid : refused) {
    ClearSampleJournal();
    RecordingChannel channel;
    EXPECT_EQ(-1, UnregisterServerByClsid(clsid.c_str())) << clsid;
    EXPECT_TRUE(UnregisteredModules().empty()) << clsid;
    EXPECT_TRUE(channel.HasPrefix("Refusing the class id \"" + clsid + "\"")) << clsid;
  }
  DeleteKeyTree(HKEY_CLASSES_ROOT, kClsidKey);
  DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\{6D1F0B24-7C35-4A89-B3E2-4F8A0C5D2E51}");
  DeleteKeyTree(HKEY_CLASSES_ROOT, "Snapora.ShellExt");
}
