// Checks on registry key names that come from outside, before they become part of a key path.
#include "sys/registry_names.h"

#include <string.h>

#include "base/debug_channel.h"

namespace {

const size_t kMaxKeyNameLength = 255;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

const char* DescribeKeyNameVerdict(KeyNameVerdict verdict) {
  switch (verdict) {
    case kKeyNameAllowed:
      return "";
    case kKeyNameEmpty:
      return "it is empty";
    case kKeyNameHasSeparator:
      return "it holds a backslash";
    case kKeyNameDots:
      return "it is a dot name";
    case kKeyNameTooLong:
      return "it is too long";
  }
  return "refused";
}

void LogRefusal(const char* what, const char* text, const char* reason) {
  LogMessage(kLogError)
      .Text("Refusing the ")
      .Text(what ? what : "name")
      .Text(" \"")
      .Text(text ? text : "")
      .Text("\" as a registry key name: ")
      .Text(reason)
      .Text(".");
}

}  // namespace

KeyNameVerdict JudgeKeyName(const char* name) {
  if (!name || !*name) return kKeyNameEmpty;
  if (strchr(name, '\\')) return kKeyNameHasSeparator;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return kKeyNameDots;
  if (strlen(name) > kMaxKeyNameLength) return kKeyNameTooLong;
  return kKeyNameAllowed;
}

bool IsBracedGuid(const char* text) {
  static const char kPattern[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (!text) return false;
  for (size_t i = 0; i < sizeof kPattern - 1; ++i) {
    const char c = text[i];
    if (kPattern[i] == 'x' ? !IsHexDigit(c) : c != kPattern[i]) return false;
  }
  return text[sizeof kPattern - 1] == '\0';
}

bool CheckKeyName(const char* what, const char* name) {
  const KeyNameVerdict verdict = JudgeKeyName(name);
  if (verdict == kKeyNameAllowed) return true;
  LogRefusal(what, name, DescribeKeyNameVerdict(verdict));
  return false;
}

bool CheckClassId(const char* what, const char* clsid) {
  if (IsBracedGuid(clsid)) return true;
  LogRefusal(what, clsid, "it is not a class id in braces");
  return false;
}
