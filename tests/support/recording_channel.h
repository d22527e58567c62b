// An in-process diagnostic channel that records every posted message, so tests can assert on
// the exact texts and levels. Installed for the lifetime of the object.
#pragma once

#include <string>
#include <vector>

#include "base/debug_interfaces.h"
#include "base/heap_string.h"

struct PostedMessage {
  int level;
  std::string text;
};

class RecordingChannel {
 public:
  explicit RecordingChannel(int verbosity = 3);
  ~RecordingChannel();
  RecordingChannel(const RecordingChannel&) = delete;
  RecordingChannel& operator=(const RecordingChannel&) = delete;

  const std::vector<PostedMessage>& Messages() const;
  std::vector<std::string> Texts() const;           // every text, in order
  std::vector<std::string> Texts(int level) const;  // the texts of one level
  bool Has(const std::string& text) const;          // a message with exactly this text
  bool Has(int level, const std::string& text) const;
  bool HasPrefix(const std::string& prefix) const;
  int Count(const std::string& text) const;
  // Index of the first message with this text at or after start, or -1.
  int IndexOf(const std::string& text, int start = 0) const;
  void Clear();
  void SetVerbosity(int verbosity);

 private:
  class Channel;
  Channel* m_channel;
};
