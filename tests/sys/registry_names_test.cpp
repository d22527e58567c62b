// Key names and class ids from outside: exactly one key name, exactly one GUID in braces.
#include "sys/registry_names.h"

#include <gtest/gtest.h>

#include <string>

TEST(RegistryNames, OneKeyName) {
  const struct {
    const char* name;
    KeyNameVerdict verdict;
  } cases[] = {
      {"Acme Toolbar", kKeyNameAllowed},
      {"3.8", kKeyNameAllowed},
      {"...", kKeyNameAllowed},
      {".hidden", kKeyNameAllowed},
      {"a/b", kKeyNameAllowed},
      {nullptr, kKeyNameEmpty},
      {"", kKeyNameEmpty},
      {"\\", kKeyNameHasSeparator},
      {"Acme\\..", kKeyNameHasSeparator},
      {"Acme\\", kKeyNameHasSeparator},
      {"\\Acme", kKeyNameHasSeparator},
      {".", kKeyNameDots},
      {"..", kKeyNameDots},
  };
  for (const auto& c : cases) EXPECT_EQ(c.verdict, JudgeKeyName(c.name)) << (c.name ? c.name : "(null)");
  EXPECT_EQ(kKeyNameAllowed, JudgeKeyName(std::string(255, 'a').c_str()));
  EXPECT_EQ(kKeyNameTooLong, JudgeKeyName(std::string(256, 'a').c_str()));
}

TEST(RegistryNames, ClassIdIsOneGuidInBraces) {
  const struct {
    const char* text;
    bool guid;
  } cases[] = {
      {"{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201}", true},
      {"{5e3b1c72-2a4d-4c8e-9b16-7d0f3a61c201}", true},
      {nullptr, false},
      {"", false},
      {"5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201", false},
      {"{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C20}", false},
      {"{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C2011}", false},
      {"{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201}\\", false},
      {"{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201}\\InProcServer32", false},
      {"\\{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C201}", false},
      {"{5E3B1C72_2A4D-4C8E-9B16-7D0F3A61C201}", false},
      {"{5E3B1C72-2A4D-4C8E-9B16-7D0F3A61C2G1}", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.guid, IsBracedGuid(c.text)) << (c.text ? c.text : "(null)");
}
