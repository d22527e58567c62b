// Autoplay and still-image handler registration against the real registry.
#include "extras/autoplay.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/debug_channel.h"
#include "support/bench.h"
#include "support/recording_channel.h"

namespace {

const std::string kAH = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";
const std::string kSE = "SYSTEM\\CurrentControlSet\\Control\\StillImage\\Events";
const std::string kHandler = "NimbrelPicturesHandlerOnArrival";
const std::string kCancelId = "903B475E-E2C0-4c17-A965-CD52BA629ADF";
const std::string kStillId = "{1FB895B8-BC8D-4701-9341-30AE0EC17B64}";
const std::string kStillImageName = "Import and view photos using Snapora";
const char* const kEvents[] = {"ShowPicturesOnArrival", "MixedContentOnArrival", "PlayVideoFilesOnArrival"};

// A REG_SZ value read back with its exact size.
struct RawValue {
  bool found = false;
  DWORD type = 0;
  DWORD size = 0;
  std::string text;
};

RawValue ReadRaw(HKEY root, const std::string& path, const std::string& name) {
  RawValue value;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  char buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) ==
      ERROR_SUCCESS) {
    value.found = true;
    value.size = size;
    value.text = buffer;
  }
  RegCloseKey(key);
  return value;
}

void ExpectText(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
  RawValue value = ReadRaw(root, path, name);
  ASSERT_TRUE(value.found) << path << " : " << name;
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type) << path << " : " << name;
  EXPECT_EQ(text, value.text) << path << " : " << name;
  EXPECT_EQ(text.size() + 1, value.size) << path << " : " << name;
}

void DeleteValue(HKEY root, const std::string& path, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

void CreateKey(HKEY root, const std::string& path) {
  HKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
    RegCloseKey(key);
}

// The shell's own keys (Handlers and the event handler keys) exist on a real system; the test
// makes the ones the bench lacks and removes only those again.
class AutoplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRegistrations();
    m_shellKeys = {kAH + "\\Handlers", kAH + "\\CancelAutoplay\\CLSID"};
    for (const char* event : kEvents) m_shellKeys.push_back(kAH + "\\EventHandlers\\" + event);
    for (const std::string& key : m_shellKeys) {
      if (!KeyExists(HKEY_LOCAL_MACHINE, key)) {
        CreateKey(HKEY_LOCAL_MACHINE, key);
        m_createdKeys.push_back(key);
      }
    }
  }
  void TearDown() override {
    ResetRegistrations();
    for (const std::string& key : m_shellKeys) {
      if (!KeyExists(HKEY_LOCAL_MACHINE, key)) CreateKey(HKEY_LOCAL_MACHINE, key);
    }
    for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it) DeleteKeyTree(HKEY_LOCAL_MACHINE, *it);
  }

  static void ResetRegistrations() {
    DeleteKeyTree(HKEY_CLASSES_ROOT, "Tollix.AutoPlay");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler);
    for (const char* event : kEvents) DeleteValue(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\" + event, kHandler);
    DeleteValue(HKEY_LOCAL_MACHINE, kAH + "\\CancelAutoplay\\CLSID", kCancelId);
    DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kSE + "\\ScanButton\\" + kStillId);
  }

  std::vector<std::string> m_shellKeys;
  std::vector<std::string> m_createdKeys;
};

TEST_F(AutoplayTest, RegistersEveryValueWithOneSeparatorWhateverTheFolderEnding) {
  for (const char* folder : {"C:\\Photo Extras", "C:\\Photo Extras\\"}) {
    SCOPED_TRACE(folder);
    ResetRegistrations();
    // The program's path is quoted wherever it leads a command.
    const std::string program = "\"C:\\Photo Extras\\SnaporaDeviceConnect.exe\"";
    const std::string icon = "C:\\Photo Extras\\NimbrelPhotosDeviceConnect.ico";

    EXPECT_TRUE(RegisterAutoplayHandler(folder));
    ExpectText(HKEY_CLASSES_ROOT, "Tollix.AutoPlay\\shell\\open\\command", "", program + " /Autoplay \"%1\"");
    const std::string handler = kAH + "\\Handlers\\" + kHandler;
    ExpectText(HKEY_LOCAL_MACHINE, handler, "Action", "Import and view photos");
    ExpectText(HKEY_LOCAL_MACHINE, handler, "DefaultIcon", icon);
    ExpectText(HKEY_LOCAL_MACHINE, handler, "Provider", "Snapora");
    ExpectText(HKEY_LOCAL_MACHINE, handler, "InvokeVerb", "open");
    ExpectText(HKEY_LOCAL_MACHINE, handler, "InvokeProgID", "Tollix.AutoPlay");
    for (const char* event : kEvents) ExpectText(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\" + event, kHandler, "");
    ExpectText(HKEY_LOCAL_MACHINE, kAH + "\\CancelAutoplay\\CLSID", kCancelId, "");

    EXPECT_TRUE(RegisterStillImageHandler(folder));
    ExpectText(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId + "\\LocalServer32", "", program + " /WIA");
    for (const char* kind : {"\\Connected\\", "\\ScanButton\\"}) {
      const std::string key = kSE + kind + kStillId;
      ExpectText(HKEY_LOCAL_MACHINE, key, "CmdLine", program + " /WIA");
      ExpectText(HKEY_LOCAL_MACHINE, key, "Desc", kStillImageName);
      ExpectText(HKEY_LOCAL_MACHINE, key, "Icon", icon);
      ExpectText(HKEY_LOCAL_MACHINE, key, "Name", kStillImageName);
    }
  }
}

TEST_F(AutoplayTest, RegistrationStopsAtTheFirstMissingShellKey) {
  struct Case {
    std::string missingKey;
    bool commandWritten, handlerWritten, showPicturesWritten, cancelWritten;
  };
  const Case cases[] = {
      {kAH + "\\Handlers", true, false, false, false},
      {kAH + "\\EventHandlers\\ShowPicturesOnArrival", true, true, false, false},
      {kAH + "\\EventHandlers\\PlayVideoFilesOnArrival", true, true, true, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.missingKey);
    ResetRegistrations();
    DeleteKeyTree(HKEY_LOCAL_MACHINE, test.missingKey);

    EXPECT_FALSE(RegisterAutoplayHandler("C:\\Photo Extras\\"));
    EXPECT_EQ(test.commandWritten, KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay\\shell\\open\\command"));
    EXPECT_EQ(test.handlerWritten, KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler));
    EXPECT_EQ(test.showPicturesWritten,
              ValueExists(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\ShowPicturesOnArrival", kHandler));
    EXPECT_EQ(test.cancelWritten, ValueExists(HKEY_LOCAL_MACHINE, kAH + "\\CancelAutoplay\\CLSID", kCancelId));
    // A missing shell key is never made up by the registration.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, test.missingKey));
    CreateKey(HKEY_LOCAL_MACHINE, test.missingKey);
  }
}

TEST_F(AutoplayTest, WithoutAFolderNothingIsWritten) {
  // A partial folder would be completed from whatever folder the shell is in.
  for (const char* folder : {static_cast<const char*>(nullptr), "", "Photo Extras\\"}) {
    SCOPED_TRACE(folder ? folder : "(null)");
    RecordingChannel channel;
    EXPECT_FALSE(RegisterAutoplayHandler(folder));
    EXPECT_FALSE(RegisterStillImageHandler(folder));
    std::vector<std::string> refusals;
    if (folder && *folder) {
      for (const char* kind : {"Autoplay", "still-image"})
        refusals.push_back(std::string("Not registering the ") + kind +
                           " handler for Photo Extras\\SnaporaDeviceConnect.exe: the path is not a full path");
    }
    EXPECT_EQ(refusals, channel.Texts(kLogError));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId));
  }
}

TEST_F(AutoplayTest, RemovalTakesEverythingButTheClassKeyAndTheShellKeys) {
  ASSERT_TRUE(RegisterAutoplayHandler("C:\\Photo Extras"));
  ASSERT_TRUE(RegisterStillImageHandler("C:\\Photo Extras"));
  RecordingChannel channel;

  EXPECT_TRUE(UnregisterAutoplayHandler());
  EXPECT_TRUE(UnregisterStillImageHandler());

  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tollix.AutoPlay"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers"));
  for (const char* event : kEvents) {
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\" + event, kHandler)) << event;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\" + event)) << event;
  }
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kAH + "\\CancelAutoplay\\CLSID", kCancelId));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId + "\\LocalServer32"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\ScanButton\\" + kStillId));
  EXPECT_TRUE(channel.Texts().empty());
}

TEST_F(AutoplayTest, RemovalWhereNothingWasRegisteredSucceedsSilently) {
  // Also without the shell's own keys: a missing key is nothing to remove.
  for (const std::string& key : m_shellKeys) DeleteKeyTree(HKEY_LOCAL_MACHINE, key);
  RecordingChannel channel;
  EXPECT_TRUE(UnregisterAutoplayHandler());
  EXPECT_TRUE(UnregisterStillImageHandler());
  EXPECT_TRUE(channel.Texts().empty());
}

// A key whose access list refuses everyone: opening it fails with "access denied".
class LockedKey {
 public:
  LockedKey(HKEY root, const std::string& path) {
    CreateKey(root, path);
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &m_key) != ERROR_SUCCESS) return;
    InitializeAcl(reinterpret_cast<ACL*>(m_acl), sizeof m_acl, ACL_REVISION);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(m_acl), FALSE);
    m_locked = RegSetKeySecurity(m_key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
  }
  ~LockedKey() {
    if (!m_key) return;
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    RegSetKeySecurity(m_key, DACL_SECURITY_INFORMATION, &descriptor);
    RegCloseKey(m_key);
  }
  bool IsLocked() const { return m_locked; }

 private:
  HKEY m_key = nullptr;
  bool m_locked = false;
  alignas(DWORD) unsigned char m_acl[64] = {};
};

TEST_F(AutoplayTest, RemovalReportsWhatItCouldNotDeleteAndGoesOn) {
  ASSERT_TRUE(RegisterAutoplayHandler("C:\\Photo Extras"));
  ASSERT_TRUE(RegisterStillImageHandler("C:\\Photo Extras"));
  {
    LockedKey command(HKEY_CLASSES_ROOT, "Tollix.AutoPlay");
    LockedKey showPictures(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\ShowPicturesOnArrival");
    LockedKey connected(HKEY_LOCAL_MACHINE, kSE + "\\Connected\\" + kStillId);
    ASSERT_TRUE(command.IsLocked() && showPictures.IsLocked() && connected.IsLocked());
    RecordingChannel channel;

    EXPECT_FALSE(UnregisterAutoplayHandler());
    EXPECT_FALSE(UnregisterStillImageHandler());

    // The event key that could not be opened is only reported; the rest still goes.
    EXPECT_EQ((std::vector<std::string>{"Delete Handler reference, ShowPicturesOnArrival failed!",
                                        "Delete Command failed!", "Delete StillImage Connected Events entry failed!"}),
              channel.Texts(kLogInfo));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kAH + "\\EventHandlers\\MixedContentOnArrival", kHandler));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAH + "\\Handlers\\" + kHandler));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kAH + "\\CancelAutoplay\\CLSID", kCancelId));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSE + "\\ScanButton\\" + kStillId));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kStillId + "\\LocalServer32"));
  }
}

}  // namespace
