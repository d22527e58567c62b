// The status ping: its URL and check value, and the request that really reaches a listener.
#include "uninstall/status_ping.h"

#include <gtest/gtest.h>

#include "support/loopback_listener.h"
#include "support/recording_channel.h"

TEST(StatusPing, CheckValueHashesTheLowerCasedText) {
  const struct {
    const char* text;
    DWORD expected;
  } cases[] = {
      {"", 0u},
      {"abc", 108966u},
      {"ABC", 108966u},  // capitals count as lower case
      {"a", 97u},
      // Bytes above 127 count as negative; the sum wraps and is reduced modulo 0x7FFFFFFF.
      {"\xff", static_cast<DWORD>(0xFFFFFFFFu % 0x7FFFFFFFu)},
      {"zzzzzzzzzzzzzzzz", 0u},  // filled in below
  };
  for (const auto& c : cases) {
    if (c.text[0] == 'z') {
      uint32_t h = 0;
      for (const char* p = c.text; *p; ++p) h = h * 33u + static_cast<uint32_t>(*p);
      EXPECT_EQ(h % 0x7FFFFFFFu, PingCheckValue(c.text));
      continue;
    }
    EXPECT_EQ(c.expected, PingCheckValue(c.text)) << c.text;
  }
}

TEST(StatusPing, UrlCarriesEveryPieceInOrder) {
  const struct {
    const char* installId;
    const char* toolbarId;
    long version;
    bool selected;
    const char* state;
    const char* expectedStart;
  } cases[] = {
      {"ACME-0001", "TB-1", 0x03080105, true, "uninstalled",
       "http://h:81/ins.gif?NSBID=TB-1&NSB=50856197&EID=VI2&TP=ACME-0001&V=uninstalled&SE=1&TS=1234"},
      {"", "Tb", -5, false, nullptr, "http://h:81/ins.gif?NSBID=Tb&NSB=-5&EID=VI2&TP=&V=&SE=0&TS=1234"},
      {"a b&c", "", 0, false, "x", "http://h:81/ins.gif?NSBID=&NSB=0&EID=VI2&TP=a b&c&V=x&SE=0&TS=1234"},
  };
  for (const auto& c : cases) {
    HeapString url;
    ASSERT_TRUE(BuildStatusPingUrl("h:81", c.installId, c.toolbarId, c.version, c.selected, c.state,
                                   1234, &url));
    const std::string text = url.Text();
    const std::string start = c.expectedStart;
    ASSERT_EQ(start, text.substr(0, start.size()));
    EXPECT_EQ("&HC=" + std::to_string(PingCheckValue(start.c_str())), text.substr(start.size()));
  }
}

TEST(StatusPing, IdsDifferingInCaseGiveTheSameCheckValue) {
  HeapString upper;
  HeapString lower;
  ASSERT_TRUE(BuildStatusPingUrl("h", "ACME", "TB", 1, true, "uninstalled", 99, &upper));
  ASSERT_TRUE(BuildStatusPingUrl("h", "acme", "tb", 1, true, "uninstalled", 99, &lower));
  const std::string a = upper.Text();
  const std::string b = lower.Text();
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(a.find("&HC=")), b.substr(b.find("&HC=")));
}

TEST(StatusPing, TimeStampIsUtcReadAsLocalTime) {
  const time_t now = time(nullptr);
  struct tm utc = *gmtime(&now);
  const DWORD expected = static_cast<DWORD>(mktime(&utc));
  const DWORD stamp = PingTimeStamp();
  EXPECT_LE(stamp - expected, 2u);
}

TEST(StatusPing, RequestArrivesAtTheListener) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.IsListening());
  const std::string host = listener.Host();
  SetPingHostForTesting(host.c_str());
  RecordingChannel channel;
  const bool sent = SendStatusPing("ACME-0001", "TB-7", 50856197, true, "uninstalled");
  SetPingHostForTesting(nullptr);
  std::string request;
  ASSERT_TRUE(listener.WaitForRequest(10000, &request));
  EXPECT_TRUE(sent);
  const std::string line = request.substr(0, request.find("\r\n"));
  const std::string expected =
      "GET /ins.gif?NSBID=TB-7&NSB=50856197&EID=VI2&TP=ACME-0001&V=uninstalled&SE=1&TS=";
  ASSERT_EQ(expected, line.substr(0, expected.size())) << line;
  EXPECT_NE(std::string::npos, line.find("&HC=")) << line;
  EXPECT_TRUE(channel.HasPrefix("Sending ping - http://" + host + "/ins.gif?NSBID=TB-7&"));
}
