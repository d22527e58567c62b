// A one-request HTTP listener on 127.0.0.1 for tests that check what the program really sends,
// and how it copes with a host that never answers or never stops answering.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class LoopbackListener {
 public:
  enum class Answer {
    kImage,    // a small image answer, then the connection is closed
    kNothing,  // the connection is held open without a byte of answer until the listener goes
    kEndless,  // an answer whose body never ends: blocks are sent until the client stops reading
  };
  // Longest time a held or endless connection is kept, whatever the client does.
  static const DWORD kHoldLimitMs = 60000;
  // An endless body stops after this many bytes in any case: a client that keeps everything
  // would otherwise fill its disk.
  static constexpr unsigned long long kEndlessBodyLimit = 32ull << 20;

  // Listens on a free port of 127.0.0.1 and serves the first request from a background thread.
  explicit LoopbackListener(Answer answer = Answer::kImage);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool IsListening() const { return m_port != 0; }
  int Port() const { return m_port; }
  std::string Host() const;  // "127.0.0.1:<port>"
  // Waits for the first request; false when none arrived in time. request gets its head.
  bool WaitForRequest(DWORD timeoutMs, std::string* request);
  // Waits until the served connection is closed; false when it is still open after the time.
  // bodyBytes gets how many bytes of an endless body the client took before it stopped.
  bool WaitForClose(DWORD timeoutMs, unsigned long long* bodyBytes);

  // The target of a request head's first line ("/ins.gif?..."), as sent.
  static std::string TargetOf(const std::string& request);
  // The query of that target as a host reads it: split at '&' and the first '=', each name
  // and value percent-decoded, in the order sent.
  static std::vector<std::pair<std::string, std::string>> QueryOf(const std::string& request);

 private:
  static DWORD WINAPI Serve(void* self);

  Answer m_answer;
  HMODULE m_winsock = nullptr;
  UINT_PTR m_socket = ~static_cast<UINT_PTR>(0);
  int m_port = 0;
  HANDLE m_thread = nullptr;
  HANDLE m_received = nullptr;
  HANDLE m_release = nullptr;  // set when the listener goes: a held connection is let go
  std::string m_request;
  volatile unsigned long long m_bodyBytes = 0;
};
