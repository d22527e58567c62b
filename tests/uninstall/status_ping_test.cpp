// The status ping: its URL and check value, and the request that really reaches a listener.
#include "uninstall/status_ping.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

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

TEST(StatusPing, PercentEncodingKeepsOnlyUnreservedCharacters) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"ACME-0001_a.b~z", "ACME-0001_a.b~z"},
      {"a&b", "a%26b"},
      {"x#y", "x%23y"},
      {"100%", "100%25"},
      {"%41", "%2541"},  // an escape in the text is text, not an escape
      {"a b", "a%20b"},
      {"k=v?/+;:@", "k%3Dv%3F%2F%2B%3B%3A%40"},
      {"\"<>\\", "%22%3C%3E%5C"},
      {"\t\r\n", "%09%0D%0A"},
      {"\x7f\x80\xe9\xff", "%7F%80%E9%FF"},  // bytes above 127 as they are, in capital hex
      {"", ""},
  };
  for (const auto& c : cases) {
    HeapString encoded;
    encoded.Assign("pre:");
    ASSERT_TRUE(AppendPercentEncoded(&encoded, c.text)) << c.text;
    EXPECT_EQ(std::string("pre:") + c.expected, encoded.Text()) << c.text;
  }
  HeapString empty;
  EXPECT_TRUE(AppendPercentEncoded(&empty, nullptr));
  EXPECT_STREQ("", empty.Text());
  EXPECT_FALSE(AppendPercentEncoded(nullptr, "a"));

  // A long text comes out whole across the encoder's chunks.
  std::string longText, longExpected;
  for (int i = 0; i < 1000; ++i) {
    longText += (i % 3 == 0) ? " " : "a";
    longExpected += (i % 3 == 0) ? "%20" : "a";
  }
  HeapString encoded;
  ASSERT_TRUE(AppendPercentEncoded(&encoded, longText.c_str()));
  EXPECT_EQ(longExpected, encoded.Text());
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
      {"a b&c", "#1", 0, false, "x y",
       "http://h:81/ins.gif?NSBID=%231&NSB=0&EID=VI2&TP=a%20b%26c&V=x%20y&SE=0&TS=1234"},
  };
  for (const auto& c : cases) {
    HeapString url;
    ASSERT_TRUE(BuildStatusPingUrl("h:81", c.installId, c.toolbarId, c.version, c.selected, c.state, 1234, &url));
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
  const std::string expected = "GET /ins.gif?NSBID=TB-7&NSB=50856197&EID=VI2&TP=ACME-0001&V=uninstalled&SE=1&TS=";
  ASSERT_EQ(expected, line.substr(0, expected.size())) << line;
  EXPECT_NE(std::string::npos, line.find("&HC=")) << line;
  EXPECT_TRUE(channel.HasPrefix("Sending ping - http://" + host + "/ins.gif?NSBID=TB-7&"));
}

namespace {

typedef std::vector<std::pair<std::string, std::string>> Query;

// Names of a query in order.
std::vector<std::string> NamesOf(const Query& query) {
  std::vector<std::string> names;
  for (const auto& piece : query) names.push_back(piece.first);
  return names;
}

std::string ValueOf(const Query& query, const std::string& name) {
  for (const auto& piece : query)
    if (piece.first == name) return piece.second;
  return "(missing)";
}

}  // namespace

TEST(StatusPing, IdsWithUrlCharactersArriveAsSent) {
  const struct {
    const char* installId;
    const char* toolbarId;
  } cases[] = {
      {"a&b", "x#y"},
      {"100%", "a b"},
      {"A&B #%C d", "%41&TP=forged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installId);
    LoopbackListener listener;
    ASSERT_TRUE(listener.IsListening());
    const std::string host = listener.Host();
    SetPingHostForTesting(host.c_str());
    const bool sent = SendStatusPing(c.installId, c.toolbarId, 7, false, "uninstalled");
    SetPingHostForTesting(nullptr);
    std::string request;
    ASSERT_TRUE(listener.WaitForRequest(3000, &request));
    EXPECT_TRUE(sent);

    const Query query = LoopbackListener::QueryOf(request);
    EXPECT_EQ((std::vector<std::string>{"NSBID", "NSB", "EID", "TP", "V", "SE", "TS", "HC"}), NamesOf(query))
        << request;
    EXPECT_EQ(c.toolbarId, ValueOf(query, "NSBID"));
    EXPECT_EQ(c.installId, ValueOf(query, "TP"));
    EXPECT_EQ("uninstalled", ValueOf(query, "V"));
    // The check value is over the text as it reached the host.
    const std::string target = LoopbackListener::TargetOf(request);
    const std::string checked = "http://" + host + target.substr(0, target.find("&HC="));
    EXPECT_EQ(std::to_string(PingCheckValue(checked.c_str())), ValueOf(query, "HC"));
  }
}

TEST(StatusPing, HostThatNeverAnswersHoldsThePingOnlyWithinTheBound) {
  LoopbackListener listener(LoopbackListener::Answer::kNothing);
  ASSERT_TRUE(listener.IsListening());
  const std::string host = listener.Host();
  SetPingHostForTesting(host.c_str());
  RecordingChannel channel;
  const DWORD start = GetTickCount();
  const bool sent = SendStatusPing("ACME-0001", "TB-7", 1, true, "uninstalled");
  const DWORD elapsed = GetTickCount() - start;
  SetPingHostForTesting(nullptr);

  EXPECT_TRUE(listener.WaitForRequest(0, nullptr)) << "the request never reached the host";
  EXPECT_FALSE(sent);
  EXPECT_GE(elapsed + 100, kStatusPingTimeoutMs);
  EXPECT_LT(elapsed, kStatusPingTimeoutMs + 3000);
  EXPECT_TRUE(channel.Has(kLogInfo, "The ping host did not answer within " + std::to_string(kStatusPingTimeoutMs) +
                                        " ms; going on without it."));
}

TEST(StatusPing, AnswerThatNeverEndsIsCutOff) {
  LoopbackListener listener(LoopbackListener::Answer::kEndless);
  ASSERT_TRUE(listener.IsListening());
  const std::string host = listener.Host();
  SetPingHostForTesting(host.c_str());
  const DWORD start = GetTickCount();
  SendStatusPing("ACME-0001", "TB-7", 1, true, "uninstalled");
  const DWORD elapsed = GetTickCount() - start;
  SetPingHostForTesting(nullptr);
  EXPECT_LT(elapsed, kStatusPingTimeoutMs + 3000);
  // The client stops taking the body long before the listener's own limit.
  unsigned long long bodyBytes = 0;
  ASSERT_TRUE(listener.WaitForClose(20000, &bodyBytes));
  EXPECT_LT(bodyBytes, LoopbackListener::kEndlessBodyLimit);
}
