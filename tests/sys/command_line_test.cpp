// Quoted command lines: which program paths may lead one, and the text that results.
#include "sys/command_line.h"

#include <gtest/gtest.h>

#include <string>

TEST(CommandLine, QuotesOnlyFullPathsThatStayInsideTheQuotes) {
  const struct {
    const char* program;
    const char* arguments;
    const char* expected;  // null: refused
    const char* refusal;
  } cases[] = {
      {"C:\\Program Files\\Tollix\\Snapora.exe", " /WIA", "\"C:\\Program Files\\Tollix\\Snapora.exe\" /WIA", nullptr},
      {"C:\\TT\\My Apps\\Runtime\\a.exe", " /Autoplay \"%1\"", "\"C:\\TT\\My Apps\\Runtime\\a.exe\" /Autoplay \"%1\"",
       nullptr},
      {"c:/tools/a.exe", nullptr, "\"c:/tools/a.exe\"", nullptr},
      {"\\\\server\\share\\my tools\\a.exe", "", "\"\\\\server\\share\\my tools\\a.exe\"", nullptr},
      // Partial paths are completed from the current folder.
      {"a.exe", nullptr, nullptr, "is not a full path"},
      {"My Apps\\a.exe", nullptr, nullptr, "is not a full path"},
      {"C:a.exe", nullptr, nullptr, "is not a full path"},
      {"\\a.exe", nullptr, nullptr, "is not a full path"},
      {"%ProgramFiles%\\a.exe", nullptr, nullptr, "is not a full path"},
      // A quote inside, or a backslash before the closing quote, would end the quoted part.
      {"C:\\x\" \"C:\\y.exe", nullptr, nullptr, "holds a double quote"},
      {"\"C:\\x\\a.exe\"", nullptr, nullptr, "is not a full path"},
      {"C:\\x\\", nullptr, nullptr, "ends with a path separator"},
      {"", nullptr, nullptr, "is empty"},
      {nullptr, nullptr, nullptr, "is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program ? c.program : "(null)");
    const char* refusal = WhyProgramPathIsRefused(c.program);
    EXPECT_STREQ(c.refusal, refusal);
    HeapString command;
    command.Assign("left over");
    EXPECT_EQ(c.expected != nullptr, BuildQuotedCommand(c.program, c.arguments, &command));
    EXPECT_STREQ(c.expected ? c.expected : "", command.Text());
  }
  EXPECT_FALSE(BuildQuotedCommand("C:\\a.exe", nullptr, nullptr));
}
