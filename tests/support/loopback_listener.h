// A one-request HTTP listener on 127.0.0.1 for tests that check what the program really sends.
#pragma once

#include <windows.h>

#include <string>

class LoopbackListener {
 public:
  // Listens on a free port of 127.0.0.1 and serves the first request from a background thread.
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool IsListening() const { return m_port != 0; }
  int Port() const { return m_port; }
  std::string Host() const;  // "127.0.0.1:<port>"
  // Waits for the first request; false when none arrived in time. request gets its head.
  bool WaitForRequest(DWORD timeoutMs, std::string* request);

 private:
  static DWORD WINAPI Serve(void* self);

  HMODULE m_winsock = nullptr;
  UINT_PTR m_socket = ~static_cast<UINT_PTR>(0);
  int m_port = 0;
  HANDLE m_thread = nullptr;
  HANDLE m_received = nullptr;
  std::string m_request;
};
