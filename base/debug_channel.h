// The process-wide diagnostic channel: finding and loading the debugger module, publishing
// its channel, and posting messages under the "Installer" category.
#pragma once

#include "base/debug_interfaces.h"
#include "base/heap_string.h"

// Returns the current channel without a reference (null when there is none).
DebugChannel* GetDebugChannel();
// Loads the debugger module named by its absolute path in HKLM "Software\Nimbrel" value
// "ContentDebuggerDLL", else, only when the program's switch value is "1", "KLP_DebuggerDLL.dll"
// in moduleFolder (an absolute folder; null: the running program's own folder).
bool StartDebugChannel(const char* programName, const char* moduleFolder);
void StopDebugChannel();
bool SetDebugChannel(IUnknown* object);

// True when a message of this level would be posted now.
bool IsLogEnabled(int level);

// One diagnostic message, built in the channel's scratch buffer and posted when it goes out
// of scope. Does nothing at all when the level is not enabled.
class LogMessage {
 public:
  explicit LogMessage(int level);
  ~LogMessage();
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  LogMessage& Text(const char* text);
  LogMessage& Text(const HeapString& text) { return Text(text.Text()); }
  LogMessage& Signed(long value);
  LogMessage& Unsigned(unsigned long value);

 private:
  int m_level;
  DebugChannel* m_channel;
  HeapString* m_text;
};

// Shorthands for messages made of one to three texts.
void Log(int level, const char* a, const char* b = nullptr, const char* c = nullptr);
inline void LogError(const char* a, const char* b = nullptr, const char* c = nullptr) { Log(kLogError, a, b, c); }
inline void LogInfo(const char* a, const char* b = nullptr, const char* c = nullptr) { Log(kLogInfo, a, b, c); }
inline void LogDetail(const char* a, const char* b = nullptr, const char* c = nullptr) { Log(kLogDetail, a, b, c); }
inline void LogTrace(const char* a, const char* b = nullptr, const char* c = nullptr) { Log(kLogTrace, a, b, c); }
