// Option scan, program-name skipping and the address tests that decide the browser launch.
#include "sys/options.h"

#include <gtest/gtest.h>

#include <string>

#include "entry/program.h"

TEST(Options, FindOptionCases) {
  struct Case {
    const char* commandLine;
    const char* option;
    bool defaultValue;
    bool expected;
    int offset;  // expected value offset, -1 when it must stay untouched
  } cases[] = {
      {nullptr, "/u", false, false, -1},
      {nullptr, "/u", true, true, -1},
      {"", "/u", false, false, -1},
      {"/u", "/u", false, true, 3},               // end of the text
      {"/u x", "/u", false, true, 3},             // blank
      {"/u+", "/u", false, true, 3},              // plus
      {"/U", "/u", false, true, 3},               // letter case does not matter
      {"/u-", "/u", true, false, -1},             // explicitly absent
      {"/url http://a", "/u", false, false, -1},  // another letter follows
      {"/url http://a", "/url", false, true, 5},
      {"/u /u-", "/u", false, false, 3},  // the last match decides
      {"/u- /u", "/u", false, true, 7},
      {"/S /s- /S+", "/S", false, true, 10},
      {"x/u y", "/u", false, true, 4},              // a match may begin inside a word
      {"/i \"C:\\a/s b\"", "/S", false, true, 11},  // inside a quoted path too
      {"/ux", "/u", true, true, -1},                // no match: the default stays
  };
  for (const Case& c : cases) {
    DWORD offset = 12345;
    EXPECT_EQ(c.expected, FindOption(c.commandLine, c.option, c.defaultValue, &offset))
        << (c.commandLine ? c.commandLine : "(null)") << " / " << c.option;
    EXPECT_EQ(c.offset < 0 ? 12345u : static_cast<DWORD>(c.offset), offset)
        << (c.commandLine ? c.commandLine : "(null)") << " / " << c.option;
    EXPECT_EQ(c.expected, FindOption(c.commandLine, c.option, c.defaultValue));
  }
}

TEST(Options, GetOptionValueCases) {
  struct Case {
    const char* commandLine;
    const char* option;
    bool present;
    const char* value;  // expected value; "untouched" when the option is absent
  } cases[] = {
      {"/url http://a.b/c /S", "/url", true, "http://a.b/c"},
      {"/url \"C:\\My Pages\\p.htm\" /S", "/url", true, "C:\\My Pages\\p.htm"},
      {"/S /url", "/url", true, ""},  // last word: empty value
      {"/url \"C:\\no closing quote", "/url", true, "C:\\no closing quote"},
      {"/url \"", "/url", true, ""},
      {"/url+x y", "/url", true, "x"},
      {"/url  x", "/url", true, ""},  // the value starts right after one blank
      {"/bt rel37", "/bt", true, "rel37"},
      {"/url- http://a", "/url", false, "untouched"},
      {"/S", "/url", false, "untouched"},
      {nullptr, "/url", false, "untouched"},
  };
  for (const Case& c : cases) {
    HeapString value("untouched");
    EXPECT_EQ(c.present, GetOptionValue(c.commandLine, c.option, &value)) << (c.commandLine ? c.commandLine : "(null)");
    EXPECT_STREQ(c.value, value.Text()) << (c.commandLine ? c.commandLine : "(null)");
    EXPECT_EQ(c.present, GetOptionValue(c.commandLine, c.option));
  }
}

TEST(Options, OverLongCommandLine) {
  // Far beyond any buffer of the program: the scan and the value stay exact.
  std::string value(70000, 'v');
  std::string commandLine = std::string(100000, 'x') + " /url \"" + value;  // no closing quote
  HeapString out;
  ASSERT_TRUE(GetOptionValue(commandLine.c_str(), "/url", &out));
  EXPECT_EQ(value, out.Text());
  EXPECT_FALSE(FindOption(commandLine.c_str(), "/u", false));

  commandLine = std::string(100000, 'y') + " /u";
  EXPECT_TRUE(FindOption(commandLine.c_str(), "/u", false));
  std::string skipped = SkipProgramName(("\"C:\\" + std::string(5000, 'p') + ".exe\"   " + commandLine).c_str());
  EXPECT_EQ(commandLine, skipped);
}

TEST(Options, SkipProgramNameCases) {
  struct Case {
    const char* commandLine;
    const char* tail;
  } cases[] = {
      {"\"C:\\Program Files\\T\\TollixInstaller.exe\" /u /S", "/u /S"},
      {"C:\\T\\TollixInstaller.exe /url x", "/url x"},
      {"TollixInstaller.exe", ""},
      {"\"C:\\unclosed quote /u", ""},  // the name runs to the end
      {"a.exe\t\t  /S", "/S"},
      {"\"a b.exe\"/S", "/S"},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(c.tail, SkipProgramName(c.commandLine)) << (c.commandLine ? c.commandLine : "(null)");
}

TEST(Options, AddressCases) {
  struct Case {
    const char* address;
    bool bare;
    bool needsConnection;
  } cases[] = {
      {"about:blank", false, true},
      {"ABOUT:BLANK", false, true},
      {"http://www.nimbrel.com/start", false, true},
      {"www.nimbrel.com/start", true, false},  // host name and path
      {"www.nimbrel.com", true, false},
      {"page.htm?x=http://y", true, false},  // the scan ends at the question mark
      {"C:\\pages\\p.htm", false, false},    // drive path
      {"C:/pages/p.htm", false, false},
      {"file:///C:/p.htm", false, false},
      {"FILE:///C:/p.htm", false, true},  // the file:// test is case-sensitive
      {"\\\\server\\share\\p.htm", false, false},
      {"mailto:someone", true, false},  // no slash after the colon
      {"ab::c", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.bare, IsBareAddress(c.address)) << c.address;
    EXPECT_EQ(c.needsConnection, AddressNeedsConnection(c.address)) << c.address;
  }
  EXPECT_FALSE(IsBareAddress(nullptr));
}
