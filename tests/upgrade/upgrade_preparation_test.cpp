// Upgrade preparation and re-registration on Installer objects in this process: the early
// returns, the runtime list's broken entries, and when the co-installed toolbars are flagged.
#include <gtest/gtest.h>

#include <string>

#include "install/installer.h"
#include "upgrade/upgrade_preparation.h"
#include "support/bench.h"
#include "support/edition.h"
#include "support/recording_channel.h"
#include "uninstall/uninstaller.h"

namespace {

const char kToolbarListKey[] = "Software\\Nimbrel\\Toolbar Runtime";

class UpgradePreparation : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kToolbarListKey);
    ASSERT_EQ(0, installer.LoadSystemInfo(SamplePackagePath("Private\\Vendor\\ProgFiles\\TollixSystemInfo.dll").c_str(),
                                          "/S"));
    installer.m_silent = true;
    installer.m_productVersion = 0x03080105;
    installer.m_runtimeVersion = 0x03080100;
    installer.m_previousProductVersion = 0x03080104;
  }
  void TearDown() override { DeleteKeyTree(HKEY_LOCAL_MACHINE, kToolbarListKey); }

  RecordingChannel channel;
  Installer installer;
};

TEST_F(UpgradePreparation, EarlyReturnsLeaveTheToolbarsAlone) {
  struct Case {
    const char* name;
    DWORD previousRuntime;
    DWORD previousProduct;
    long expected;
    const char* message;
  } cases[] = {
      {"nothing installed", 0, 0, 0, "No previous runtime was detected so we'll skip trying to uninstall anything."},
      {"newer product", 0x03080100, 0x03080106, 1, "Aborting upgrade preparation, version 50856198 already installed."},
      {"runtime before the list", 0x03050100, 0x03080104, 0, nullptr},
  };
  for (const Case& c : cases) {
    channel.Clear();
    installer.m_previousRuntimeVersion = c.previousRuntime;
    installer.m_previousProductVersion = c.previousProduct;
    bool reregister = false;
    EXPECT_EQ(c.expected, PrepareUpgrade(&installer, &reregister)) << c.name;
    EXPECT_FALSE(reregister) << c.name;
    if (c.message) {
      EXPECT_TRUE(channel.Has(kLogInfo, c.message)) << c.name;
    }
    EXPECT_FALSE(channel.Has("Accessing TollixSystemInfo dll of previous bars.")) << c.name;
  }
}

TEST_F(UpgradePreparation, EmptyListIsWalkedToItsEnd) {
  installer.m_previousRuntimeVersion = 0x03080000;
  for (bool withKey : {false, true}) {
    if (withKey) SetDword(HKEY_LOCAL_MACHINE, kToolbarListKey, "Version", 0x03080000);
    bool reregister = false;
    EXPECT_EQ(0, PrepareUpgrade(&installer, &reregister));
    EXPECT_TRUE(reregister);
  }
}

// What an uninstall ended midway leaves: the toolbar's files gone, its list entry still there.
// Nothing is left to uninstall through it, and stopping on it would refuse every later install.
TEST_F(UpgradePreparation, ListEntryWithoutItsModuleIsPassedOver) {
  ScratchFolder scratch;
  installer.m_previousRuntimeVersion = 0x03080000;
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kToolbarListKey, "Gone Toolbar", scratch / "TollixSystemInfo.dll"));
  bool reregister = false;
  EXPECT_EQ(0, PrepareUpgrade(&installer, &reregister));
  EXPECT_TRUE(reregister);
  EXPECT_TRUE(channel.Has("The system info dll of that toolbar is gone; passing over it."));
  EXPECT_FALSE(channel.Has(kLogError, "Failed to intialize removal of the previous version of the toolbar."));

  // A module that is there but cannot be loaded still stops the preparation.
  channel.Clear();
  ASSERT_TRUE(WriteTextFile(scratch / "TollixSystemInfo.dll", "not a module"));
  reregister = false;
  EXPECT_LT(PrepareUpgrade(&installer, &reregister), 0);
  EXPECT_FALSE(reregister);
  EXPECT_TRUE(channel.Has(kLogError, "Failed to intialize removal of the previous version of the toolbar."));
  ASSERT_TRUE(DeleteFileA((scratch / "TollixSystemInfo.dll").c_str()));

  channel.Clear();
  EXPECT_EQ(-1, ReregisterToolbars());
  EXPECT_TRUE(channel.Has(kLogError, "Failed to load system info module " + (scratch / "TollixSystemInfo.dll")));
}

TEST_F(UpgradePreparation, NoListMeansNothingToRegisterAgain) {
  EXPECT_EQ(0, ReregisterToolbars());
  EXPECT_FALSE(channel.HasPrefix("Initializing IETollix.dll using "));
}

// Another vendor's toolbar cannot be handed an uninstaller from a package that has none.
TEST_F(UpgradePreparation, PackageWithoutProgramFilesHasNoUninstallerToHandOver) {
  ScratchFolder scratch;
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(scratch.Path().c_str()));
  Uninstaller other;
  ASSERT_EQ(0, other.LoadSystemInfo(SamplePackagePath("Private\\Vendor\\ProgFiles\\TollixSystemInfo.dll").c_str(),
                                    "/u /s /safe"));
  EXPECT_EQ(1, other.ReplaceUninstaller());
  EXPECT_TRUE(channel.Has(kLogInfo, "No private program files found to replace."));
  SetCurrentDirectoryA(saved);
}

}  // namespace
