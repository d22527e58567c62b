// Checks on the parts of a registry key path that come from outside (an edition module, a
// registry value) before the path is opened, deleted or loaded from: each part must name
// exactly one key, or "Software\<vendor>\<product>" could name another program's key or a
// whole tree above the product's own.
#pragma once

enum KeyNameVerdict {
  kKeyNameAllowed = 0,
  kKeyNameEmpty,
  kKeyNameHasSeparator,  // a backslash would make it several names
  kKeyNameDots,          // "." or ".."
  kKeyNameTooLong,       // more than the 255 characters of a key name
};

// Pure.
KeyNameVerdict JudgeKeyName(const char* name);
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" with hexadecimal digits. Pure.
bool IsBracedGuid(const char* text);

// The checks with a message: true when allowed; otherwise logs an error naming what (for
// example "runtime key name"), the text and the reason, and returns false.
bool CheckKeyName(const char* what, const char* name);
bool CheckClassId(const char* what, const char* clsid);
