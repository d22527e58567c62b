// String table blocks: parsing and serializing the counted UTF-16 layout, and the dotted form
// of packed versions written into it.
#include "install/string_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/heap_string.h"
#include "install/installer.h"

namespace {

// Builds a block's bytes from sixteen (or fewer, the rest empty) entries.
std::vector<unsigned char> BlockBytes(const std::vector<std::wstring>& entries) {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < StringBlock::kEntryCount; ++i) {
    std::wstring text = i < static_cast<int>(entries.size()) ? entries[i] : std::wstring();
    bytes.push_back(static_cast<unsigned char>(text.size() & 0xFF));
    bytes.push_back(static_cast<unsigned char>(text.size() >> 8));
    for (wchar_t c : text) {
      bytes.push_back(static_cast<unsigned char>(c & 0xFF));
      bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
  }
  return bytes;
}

std::vector<unsigned char> Serialized(const StringBlock& block) {
  std::vector<unsigned char> out(block.SerializedSize() + 8, 0xCC);
  size_t written = block.Serialize(out.data());
  EXPECT_EQ(block.SerializedSize(), written);
  out.resize(written);
  return out;
}

TEST(StringBlock, RoundTripKeepsEveryEntry) {
  struct Case {
    const char* name;
    std::vector<std::wstring> entries;
  };
  const Case cases[] = {
      {"all empty", {}},
      {"sparse like a resource compiler writes it",
       {L"Tollix Runtime", L"Nimbrel", L"3.8.1.0", L"", L"Sample edition", L"", L"", L"http://x/", L"", L"", L"", L"",
        L"", L"", L"", L"626"}},
      {"non-ASCII and embedded NUL code units", {L"\x00e9t\x00e9", std::wstring(L"a\0b", 3), L"\x4e2d\x6587"}},
      {"a long entry", {std::wstring(3000, L'x')}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> bytes = BlockBytes(c.entries);
    StringBlock block(626, 0x0409);
    ASSERT_TRUE(block.Parse(bytes.data(), bytes.size()));
    for (int i = 0; i < StringBlock::kEntryCount; ++i) {
      std::wstring expected = i < static_cast<int>(c.entries.size()) ? c.entries[i] : std::wstring();
      EXPECT_EQ(expected, std::wstring(block.Entry(i), block.EntryLength(i))) << "entry " << i;
    }
    EXPECT_EQ(bytes, Serialized(block));
  }
}

TEST(StringBlock, ReplacingOneEntryKeepsTheOtherFifteenExactly) {
  std::vector<std::wstring> entries = {L"Tollix Runtime", L"Nimbrel", L"3.8.1.0", L"", L"Sample edition"};
  entries.resize(16);
  entries[15] = L"626";
  std::vector<unsigned char> bytes = BlockBytes(entries);
  StringBlock block(626, 0x0409);
  ASSERT_TRUE(block.Parse(bytes.data(), bytes.size()));
  ASSERT_TRUE(block.SetEntryFromAnsi(2, "3.10.0.255"));
  entries[2] = L"3.10.0.255";
  std::vector<unsigned char> expected = BlockBytes(entries);
  EXPECT_EQ(expected, Serialized(block));
  // Two bytes per count and per code unit.
  size_t units = 0;
  for (const std::wstring& e : entries) units += e.size() + 1;
  EXPECT_EQ(2 * units, block.SerializedSize());

  ASSERT_TRUE(block.SetEntryFromAnsi(2, ""));
  entries[2].clear();
  EXPECT_EQ(BlockBytes(entries), Serialized(block));
}

TEST(StringBlock, MalformedDataIsRefused) {
  std::vector<unsigned char> good = BlockBytes({L"abc", L"de"});
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
  };
  std::vector<unsigned char> countOverruns = good;
  countOverruns[0] = 0xFF;  // entry 0 claims 255 code units
  std::vector<unsigned char> oddTail(good.begin(), good.end() - 1);
  const Case cases[] = {
      {"nothing", {}},
      {"one byte", {0x01}},
      {"fewer than sixteen counts", std::vector<unsigned char>(good.begin(), good.begin() + 20)},
      {"a count beyond the data", countOverruns},
      {"half a count at the end", oddTail},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StringBlock block(626, 0x0409);
    EXPECT_FALSE(block.Parse(c.bytes.empty() ? "" : static_cast<const void*>(c.bytes.data()), c.bytes.size()));
    for (int i = 0; i < StringBlock::kEntryCount; ++i) EXPECT_EQ(0u, block.EntryLength(i));
  }
  StringBlock block(626, 0x0409);
  EXPECT_FALSE(block.Parse(nullptr, 10));
  // Padding after the sixteenth entry (resource data is rounded up) is ignored.
  std::vector<unsigned char> padded = good;
  padded.push_back(0);
  padded.push_back(0);
  ASSERT_TRUE(block.Parse(padded.data(), padded.size()));
  EXPECT_EQ(good, Serialized(block));
}

TEST(StringBlock, EntryIndexesOutsideTheBlockAreRefused) {
  StringBlock block(626, 0x0409);
  EXPECT_FALSE(block.SetEntry(-1, L"x", 1));
  EXPECT_FALSE(block.SetEntry(16, L"x", 1));
  EXPECT_EQ(nullptr, block.Entry(16));
  EXPECT_EQ(626u, StringBlockOf(10002));
  EXPECT_EQ(2, StringEntryOf(10002));
}

TEST(FormatDottedVersion, PrintsEachByteInDecimal) {
  struct Case {
    DWORD version;
    const char* text;
  };
  const Case cases[] = {
      {0x03050100, "3.5.1.0"},
      {0x030501FF, "3.5.1.255"},
      {0x03060000, "3.6.0.0"},
      {0xFFFFFFFF, "255.255.255.255"},
      {0x00000001, "0.0.0.1"},
      {0x0100004A, "1.0.0.74"},
      {0, ""},
  };
  for (const Case& c : cases) {
    HeapString text("stale");
    EXPECT_TRUE(FormatDottedVersion(c.version, &text));
    EXPECT_STREQ(c.text, text.Text()) << std::hex << c.version;
  }
}

}  // namespace
