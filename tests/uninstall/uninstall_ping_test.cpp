// The uninstall pass's ping step: sent with the edition's ids, left out when both are empty.
#include <gtest/gtest.h>

#include <string>

#include "support/bench.h"
#include "support/edition.h"
#include "support/loopback_listener.h"
#include "support/recording_channel.h"
#include "uninstall/status_ping.h"
#include "uninstall/uninstaller.h"

namespace {

const char kPrivateKey[] = "Software\\Acme";

// Runs only the ping step of a pass on a copy of the sample edition's module and ini.
void PingOnly(const std::string& folder) {
  Uninstaller uninstaller;
  ASSERT_EQ(0, uninstaller.Initialize((folder + "TollixSystemInfo.dll").c_str(), "/S"));
  UninstallOptions pingOnly;
  pingOnly.sendPing = true;
  ASSERT_EQ(0, uninstaller.Uninstall(pingOnly));
}

}  // namespace

TEST(UninstallPing, SentWithTheEditionsIdsOrNotAtAll) {
  const struct {
    bool keepInstallId;
    bool expectRequest;
  } cases[] = {{true, true}, {false, false}};
  for (const auto& c : cases) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kPrivateKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kPrivateKey);
    ScratchFolder scratch;
    ASSERT_TRUE(CopyTree(SamplePackagePath("Private\\Vendor\\ProgFiles"), scratch.Path()));
    if (!c.keepInstallId) {
      ASSERT_TRUE(
          PatchEditionIni(scratch / "TollixSystemInfo.ini", {{"Edition", {{"InstallId", kRemoveEditionValue}}}}));
    }
    LoopbackListener listener;
    ASSERT_TRUE(listener.IsListening());
    const std::string host = listener.Host();
    SetPingHostForTesting(host.c_str());
    RecordingChannel channel;
    PingOnly(scratch.Path());
    SetPingHostForTesting(nullptr);
    std::string request;
    const bool received = listener.WaitForRequest(c.expectRequest ? 10000 : 1500, &request);
    EXPECT_EQ(c.expectRequest, received) << request;
    EXPECT_EQ(!c.expectRequest, channel.Has("InstallID and/or TollixID weren't set, so not sending uninstall ping."));
    if (c.expectRequest) {
      EXPECT_EQ(0u, request.find("GET /ins.gif?NSBID=&NSB=50856197&EID=VI2&TP=ACME-0001&V=uninstalled&SE=1&TS="))
          << request;
    }
  }
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kPrivateKey);
  DeleteKeyTree(HKEY_CURRENT_USER, kPrivateKey);
}

// A host that takes the request and never answers holds the pass only within the ping's bound;
// an install id with URL characters reaches it as it was given.
TEST(UninstallPing, GoesOnWithinTheBoundWhenTheHostNeverAnswers) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kPrivateKey);
  DeleteKeyTree(HKEY_CURRENT_USER, kPrivateKey);
  const std::string installId = "ACME&B #%C d";
  {
    ScratchFolder scratch;
    ASSERT_TRUE(CopyTree(SamplePackagePath("Private\\Vendor\\ProgFiles"), scratch.Path()));
    ASSERT_TRUE(PatchEditionIni(scratch / "TollixSystemInfo.ini", {{"Edition", {{"InstallId", installId}}}}));
    LoopbackListener listener(LoopbackListener::Answer::kNothing);
    ASSERT_TRUE(listener.IsListening());
    const std::string host = listener.Host();
    SetPingHostForTesting(host.c_str());
    const DWORD start = GetTickCount();
    PingOnly(scratch.Path());
    const DWORD elapsed = GetTickCount() - start;
    SetPingHostForTesting(nullptr);

    std::string request;
    ASSERT_TRUE(listener.WaitForRequest(0, &request));
    EXPECT_LT(elapsed, kStatusPingTimeoutMs + 3000);
    std::string sentId = "(missing)";
    for (const auto& piece : LoopbackListener::QueryOf(request))
      if (piece.first == "TP") sentId = piece.second;
    EXPECT_EQ(installId, sentId) << request;
  }
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kPrivateKey);
  DeleteKeyTree(HKEY_CURRENT_USER, kPrivateKey);
}
