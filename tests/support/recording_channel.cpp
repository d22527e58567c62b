// The recording channel, installed with SetDebugChannel.
#include "support/recording_channel.h"

#include "base/debug_channel.h"

class RecordingChannel::Channel final : public DebugChannel {
 public:
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIidDebugChannel)) {
      *out = static_cast<DebugChannel*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG __stdcall AddRef() override { return ++refs; }
  ULONG __stdcall Release() override { return --refs; }  // owned by RecordingChannel
  void __stdcall Post(const char*, int level, int, const char* text, int, int, DWORD) override {
    messages.push_back({level, text ? text : ""});
  }
  int __stdcall GetVerbosity() override { return verbosity; }
  long __stdcall Reserved5() override { return 0; }
  long __stdcall Reserved6() override { return 0; }
  long __stdcall Reserved7() override { return 0; }
  HeapString* __stdcall GetScratchBuffer() override {
    scratch.Truncate(0);
    return &scratch;
  }

  ULONG refs = 1;
  int verbosity = 3;
  std::vector<PostedMessage> messages;
  HeapString scratch;
};

RecordingChannel::RecordingChannel(int verbosity) : m_channel(new Channel) {
  m_channel->verbosity = verbosity;
  SetDebugChannel(m_channel);
}

RecordingChannel::~RecordingChannel() {
  SetDebugChannel(nullptr);
  delete m_channel;
}

const std::vector<PostedMessage>& RecordingChannel::Messages() const { return m_channel->messages; }

std::vector<std::string> RecordingChannel::Texts() const {
  std::vector<std::string> texts;
  for (const PostedMessage& message : m_channel->messages) texts.push_back(message.text);
  return texts;
}

std::vector<std::string> RecordingChannel::Texts(int level) const {
  std::vector<std::string> texts;
  for (const PostedMessage& message : m_channel->messages)
    if (message.level == level) texts.push_back(message.text);
  return texts;
}

bool RecordingChannel::Has(const std::string& text) const { return IndexOf(text) >= 0; }

bool RecordingChannel::Has(int level, const std::string& text) const {
  for (const PostedMessage& message : m_channel->messages)
    if (message.level == level && message.text == text) return true;
  return false;
}

bool RecordingChannel::HasPrefix(const std::string& prefix) const {
  for (const PostedMessage& message : m_channel->messages)
    if (message.text.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

int RecordingChannel::Count(const std::string& text) const {
  int count = 0;
  for (const PostedMessage& message : m_channel->messages)
    if (message.text == text) ++count;
  return count;
}

int RecordingChannel::IndexOf(const std::string& text, int start) const {
  for (size_t i = start < 0 ? 0 : start; i < m_channel->messages.size(); ++i)
    if (m_channel->messages[i].text == text) return static_cast<int>(i);
  return -1;
}

void RecordingChannel::Clear() { m_channel->messages.clear(); }
void RecordingChannel::SetVerbosity(int verbosity) { m_channel->verbosity = verbosity; }
