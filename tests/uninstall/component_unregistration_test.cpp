// Unregistering in-process servers by class id, and the shared runtime's registrations.
#include <gtest/gtest.h>

#include "support/bench.h"
#include "support/recording_channel.h"
#include "uninstall/uninstaller.h"

namespace {

const char kClsid[] = "{7D1E0A10-0000-4F00-9A00-00000000AB01}";
const char kClsidKey[] = "CLSID\\{7D1E0A10-0000-4F00-9A00-00000000AB01}";
const char kTypeLib[] = "TypeLib\\{E060D9D9-E979-4C2F-A840-BE5150F84AC5}";
const char kRuntimeList[] = "Software\\Nimbrel\\Toolbar Runtime";

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
