// HeapString: growth, aliasing, truncation, search, formatting bounds.
#include "base/heap_string.h"

#include <gtest/gtest.h>

#include <string>

TEST(HeapString, StartsEmptyWithoutBuffer) {
  HeapString s;
  EXPECT_EQ(nullptr, s.Buffer());
  EXPECT_EQ(0u, s.Capacity());
  EXPECT_EQ(0, s.Length());
  EXPECT_STREQ("", s.Text());
  EXPECT_TRUE(s.WriteAt(nullptr, -1, 0));  // no buffer and no text: nothing to do
  EXPECT_EQ(nullptr, s.Buffer());
}

TEST(HeapString, GrowsByDoubling) {
  HeapString s;
  ASSERT_TRUE(s.Assign("abc"));
  EXPECT_EQ(4u, s.Capacity());
  ASSERT_TRUE(s.Append("de"));
  EXPECT_EQ(9u, s.Capacity());
  ASSERT_TRUE(s.Append("fgh"));
  EXPECT_EQ(9u, s.Capacity());
  EXPECT_STREQ("abcdefgh", s.Text());
}

TEST(HeapString, SelfAssignAtZeroChangesNothing) {
  HeapString s("hello");
  EXPECT_TRUE(s.WriteAt(s.Text(), -1, 0));
  EXPECT_STREQ("hello", s.Text());
  EXPECT_TRUE(s.WriteAt(s.Text(), 2, 0));  // even with a shorter length
  EXPECT_STREQ("hello", s.Text());
}

TEST(HeapString, AliasedWriteMatchesCopy) {
  struct Case {
    const char* start;
    int from, length, position;
  } cases[] = {{"abcdef", 2, 3, 6}, {"abcdef", 0, 6, 6}, {"abcdef", 1, -1, 3}, {"abcdefghijklmnop", 4, 8, 16}};
  for (const Case& c : cases) {
    HeapString aliased(c.start);
    HeapString copied(c.start);
    std::string source = std::string(c.start).substr(c.from);
    EXPECT_TRUE(aliased.WriteAt(aliased.Text() + c.from, c.length, c.position));
    EXPECT_TRUE(copied.WriteAt(source.c_str(), c.length, c.position));
    EXPECT_STREQ(copied.Text(), aliased.Text()) << c.start << " " << c.from;
  }
}

TEST(HeapString, WriteWithLengthZeroTruncates) {
  HeapString s("abcdef");
  EXPECT_TRUE(s.WriteAt("xyz", 0, 2));
  EXPECT_STREQ("ab", s.Text());
  EXPECT_TRUE(s.Truncate(0));
  EXPECT_STREQ("", s.Text());
}

TEST(HeapString, WritePastLengthIsRefused) {
  HeapString s("ab");
  EXPECT_FALSE(s.WriteAt("x", -1, 5));
  EXPECT_STREQ("ab", s.Text());
}

TEST(HeapString, WriteCutsTheTailAndStopsAtSourceNul) {
  HeapString s("abcdef");
  EXPECT_TRUE(s.WriteAt("XY", -1, 1));
  EXPECT_STREQ("aXY", s.Text());
  EXPECT_TRUE(s.WriteAt("Q\0ZZ", 4, 1));
  EXPECT_STREQ("aQ", s.Text());
}

TEST(HeapString, Prepend) {
  HeapString s("world");
  EXPECT_TRUE(s.Prepend("hello "));
  EXPECT_STREQ("hello world", s.Text());
  EXPECT_TRUE(s.Prepend(nullptr));
  EXPECT_TRUE(s.Prepend("xyz", 0));
  EXPECT_STREQ("hello world", s.Text());
  EXPECT_TRUE(s.Prepend(s.Text() + 6));  // from its own text
  EXPECT_STREQ("worldhello world", s.Text());
}

TEST(HeapString, FindAndOffsetOf) {
  HeapString s("abcabc");
  EXPECT_EQ(0, s.Find("abc", 0));
  EXPECT_EQ(3, s.Find("abc", 1));
  EXPECT_EQ(-1, s.Find("abc", 6));
  EXPECT_EQ(-1, s.Find("abc", 60));
  EXPECT_EQ(-1, s.Find(nullptr, 0));
  EXPECT_EQ(2, s.OffsetOf(s.Text() + 2));
  EXPECT_EQ(-1, s.OffsetOf(s.Text() + 6));  // the terminator is not inside the text
  EXPECT_EQ(-1, s.OffsetOf("abc"));
}

TEST(HeapString, RemoveAll) {
  struct Case {
    const char *text, *pattern, *expected;
  } cases[] = {{"aabab", "ab", "a"},          {"aabab", "", "aabab"}, {"Default.skin", ".skin", "Default"},
               {"x.skin.skin", ".skin", "x"}, {"aaaa", "aa", ""},     {"abc", "zz", "abc"}};
  for (const Case& c : cases) {
    HeapString s(c.text);
    EXPECT_TRUE(s.RemoveAll(c.pattern));
    EXPECT_STREQ(c.expected, s.Text()) << c.text << " - " << c.pattern;
  }
}

TEST(HeapString, ToLowerOnlyAsciiLetters) {
  HeapString s("AbC-Z\xC4\xD6");
  EXPECT_TRUE(s.ToLower());
  EXPECT_STREQ("abc-z\xC4\xD6", s.Text());
}

TEST(HeapString, AppendNumbers) {
  HeapString s;
  HeapString::AppendSigned(s, -1);
  EXPECT_STREQ("-1", s.Text());
  s.Truncate(0);
  HeapString::AppendUnsigned(s, 0xFFFFFFFFu);
  EXPECT_STREQ("4294967295", s.Text());
}

TEST(HeapString, FormatIsBounded) {
  HeapString s;
  EXPECT_FALSE(s.Format(nullptr));
  EXPECT_TRUE(s.Format("%s-%u", "v", 7u));
  EXPECT_STREQ("v-7", s.Text());
  std::string big(1023, 'x');
  EXPECT_TRUE(s.Format("%s", big.c_str()));
  std::string huge(5000, 'y');
  EXPECT_FALSE(s.Format("%s", huge.c_str()));
  EXPECT_LT(s.Length(), static_cast<int>(s.Capacity()));
}

TEST(HeapString, AppendFormatReservesAndIsBounded) {
  HeapString s("start:");
  EXPECT_TRUE(s.AppendFormat("%d", 42));
  EXPECT_STREQ("start:42", s.Text());
  std::string huge(3000, 'z');
  EXPECT_FALSE(s.AppendFormat("%s", huge.c_str()));
  EXPECT_LT(s.Length(), static_cast<int>(s.Capacity()));
  EXPECT_EQ(0, s.Find("start:42"));
}

// The conversions the program's fixed messages use, through the Windows run-time's formatter:
// each must read exactly as a C99 printf writes it.
TEST(HeapString, FormatsTheProgramsConversionsExactly) {
  struct Case {
    bool ok;
    HeapString text;
    const char* expected;
  };
  Case cases[6];
  cases[0].ok = cases[0].text.Format("%lu.%lu.%lu.%lu", 3ul, 5ul, 1ul, 255ul);
  cases[0].expected = "3.5.1.255";
  cases[1].ok = cases[1].text.Format("&NSB=%ld&TS=%lu", -2147483647L - 1, 4294967295ul);
  cases[1].expected = "&NSB=-2147483648&TS=4294967295";
  cases[2].ok = cases[2].text.Format("%04u-%02u-%02u %02u:%02u:%02u.%03u", 2024u, 1u, 2u, 3u, 4u, 5u, 6u);
  cases[2].expected = "2024-01-02 03:04:05.006";
  cases[3].ok = cases[3].text.Format("%08X|%x|%d%%", 0x1Au, 0xBEEFu, -7);
  cases[3].expected = "0000001A|beef|-7%";
  cases[4].ok = cases[4].text.Format("%s\t%s\r\n", "Tollix.dll", "");
  cases[4].expected = "Tollix.dll\t\r\n";
  cases[5].ok = cases[5].text.Format("%s", "");
  cases[5].expected = "";
  for (const Case& c : cases) {
    EXPECT_TRUE(c.ok) << c.expected;
    EXPECT_STREQ(c.expected, c.text.Text());
  }
}

// Output of 1024 characters or more is a failure; the string then holds the output cut at the
// buffer's room and terminated, as C99's vsnprintf leaves it.
TEST(HeapString, FormatFailsFromExactlyTheRoomOn) {
  HeapString s;
  EXPECT_TRUE(s.Format("%s", std::string(1023, 'x').c_str()));
  EXPECT_EQ(1023, s.Length());
  EXPECT_FALSE(s.Format("%s", std::string(1024, 'y').c_str()));
  EXPECT_EQ(std::string(1024, 'y'), s.Text());
  EXPECT_FALSE(s.Format("%s", std::string(5000, 'z').c_str()));
  EXPECT_EQ(std::string(1024, 'z'), s.Text());

  HeapString a("start:");
  EXPECT_TRUE(a.AppendFormat("%s", std::string(1023, 'x').c_str()));
  EXPECT_EQ(6 + 1023, a.Length());
  HeapString b("start:");
  EXPECT_FALSE(b.AppendFormat("%s", std::string(1024, 'y').c_str()));
  EXPECT_EQ("start:" + std::string(1024, 'y'), b.Text());
  EXPECT_LT(b.Length(), static_cast<int>(b.Capacity()));
}

TEST(HeapString, SwapAndClear) {
  HeapString a("one");
  HeapString b("two");
  EXPECT_TRUE(a.Swap(b));
  EXPECT_STREQ("two", a.Text());
  EXPECT_STREQ("one", b.Text());
  a.Clear();
  EXPECT_EQ(nullptr, a.Buffer());
  EXPECT_EQ(0u, a.Capacity());
}
