// Option scan: plain substring matches, no tokenising; only option values know quotes.
#include "sys/options.h"

#include <string.h>

bool FindOption(const char* commandLine, const char* option, bool defaultValue, DWORD* valueOffset) {
  if (!commandLine) return defaultValue;
  bool result = defaultValue;
  const size_t n = option ? strlen(option) : 0;
  if (n == 0) return defaultValue;
  for (size_t p = 0; commandLine[p]; ++p) {
    if (_strnicmp(commandLine + p, option, n) != 0) continue;
    const char next = commandLine[p + n];
    if (next == ' ' || next == '+' || next == '\0') {
      result = true;
      if (valueOffset) *valueOffset = static_cast<DWORD>(p + n + 1);
    } else if (next == '-') {
      result = false;
    }
  }
  return result;
}

bool GetOptionValue(const char* commandLine, const char* option, HeapString* value) {
  DWORD offset = 0;
  if (!FindOption(commandLine, option, false, &offset)) return false;
  if (!value) return true;
  // The option ended the text: its value is empty.
  if (offset > strlen(commandLine)) {
    value->Assign("");
    return true;
  }
  const char* start = commandLine + offset;
  char terminator = ' ';
  if (*start == '"') {
    ++start;
    terminator = '"';
  }
  const char* end = strchr(start, terminator);
  value->Assign(start, end ? static_cast<int>(end - start) : -1);
  return true;
}

const char* SkipProgramName(const char* commandLine) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine ? commandLine : "");
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}
