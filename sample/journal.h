// The sample modules' call journal: one line per call, appended to the file named by the
// environment variable TOLLIX_SAMPLE_JOURNAL, so tests can check order and arguments.
#pragma once

#include "base/system_info.h"

// Line: "<module>\t<entry>\t<vendor>\t<product>", or "<module>\t<entry>\tnull" without a
// SystemInfo object ("?" stands for a name the object could not give).
void JournalCall(const char* module, const char* entry, SystemInfo* systemInfo);
// Line: "<module>\t<entry>\t<text>".
void JournalText(const char* module, const char* entry, const char* text);
