// ScopedRegKey's text read: one terminator rule for texts stored with or without their NUL,
// and nothing read past the value's real size.
#include "base/scoped.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include <string.h>

namespace {

struct TextCase {
  const char* name;
  DWORD type;
  std::string stored;  // the bytes as stored, terminator included or not
  DWORD size;          // the reader's buffer
  LONG error;
  const char* text;  // what the reader gets ("" on failure)
};

TEST(ScopedRegKey, ReadTextEndsAtTheFirstTerminatorAndNeverPastTheValue) {
  const TextCase cases[] = {
      {"terminated", REG_SZ, std::string("abc\0", 4), 16, ERROR_SUCCESS, "abc"},
      {"unterminated", REG_SZ, "abc", 16, ERROR_SUCCESS, "abc"},
      {"exactly fills the buffer with its terminator", REG_SZ, std::string("abc\0", 4), 4, ERROR_SUCCESS, "abc"},
      {"unterminated and filling the buffer", REG_SZ, "abcd", 4, ERROR_MORE_DATA, ""},
      {"longer than the buffer", REG_SZ, std::string("abcdef\0", 7), 4, ERROR_MORE_DATA, ""},
      {"a NUL inside ends the text", REG_SZ, std::string("ab\0cd", 5), 16, ERROR_SUCCESS, "ab"},
      {"expandable text", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), 16, ERROR_SUCCESS, "%TEMP%"},
      {"empty", REG_SZ, "", 16, ERROR_SUCCESS, ""},
      {"not a text", REG_DWORD, std::string("\1\0\0\0", 4), 16, ERROR_INVALID_DATATYPE, ""},
  };
  const std::string keyPath = "Software\\TollixTests\\ScopedRead";
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, keyPath.c_str(), KEY_ALL_ACCESS));
  for (const TextCase& c : cases) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key.Get(), "Value", 0, c.type, reinterpret_cast<const BYTE*>(c.stored.data()),
                             static_cast<DWORD>(c.stored.size())))
        << c.name;
    // The bytes after the buffer must stay as they were.
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    DWORD type = 0;
    EXPECT_EQ(c.error, key.ReadText("Value", buffer, c.size, &type)) << c.name;
    EXPECT_STREQ(c.text, buffer) << c.name;
    if (c.error == ERROR_SUCCESS) {
      EXPECT_EQ(c.type, type) << c.name;
    }
    for (DWORD i = c.size; i < sizeof buffer; ++i) EXPECT_EQ('x', buffer[i]) << c.name << " byte " << i;
  }
  // Asked for, any type's bytes are read as a text, by the same terminator rule.
  ASSERT_EQ(ERROR_SUCCESS, key.SetDword("Value", 0x00636261));
  char bytes[16];
  EXPECT_EQ(ERROR_SUCCESS, key.ReadText("Value", bytes, sizeof bytes, nullptr, ScopedRegKey::ValueTypes::kAny));
  EXPECT_STREQ("abc", bytes);
  char buffer[8] = "old";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadText("Missing", buffer, sizeof buffer, nullptr));
  EXPECT_STREQ("", buffer);
  key.Close();
  RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
}

}  // namespace
