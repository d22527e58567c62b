// The loopback listener: Windows sockets loaded at run time, one accepted connection, the
// request head recorded and then a small image answer, no answer at all, or a body that never
// ends.
#include <winsock2.h>

#include "loopback_listener.h"

#include <ctype.h>
#include <string.h>

namespace {

typedef int(WSAAPI* WsaStartupProc)(WORD, LPWSADATA);
typedef SOCKET(WSAAPI* SocketProc)(int, int, int);
typedef int(WSAAPI* BindProc)(SOCKET, const sockaddr*, int);
typedef int(WSAAPI* ListenProc)(SOCKET, int);
typedef SOCKET(WSAAPI* AcceptProc)(SOCKET, sockaddr*, int*);
typedef int(WSAAPI* RecvProc)(SOCKET, char*, int, int);
typedef int(WSAAPI* SendProc)(SOCKET, const char*, int, int);
typedef int(WSAAPI* CloseProc)(SOCKET);
typedef int(WSAAPI* GetSockNameProc)(SOCKET, sockaddr*, int*);
typedef int(WSAAPI* SetSockOptProc)(SOCKET, int, int, const char*, int);

// A send that a client does not take within this time counts as refused.
const DWORD kSendTimeoutMs = 2000;

template <typename T>
T Find(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

LoopbackListener::LoopbackListener(Answer answer) : m_answer(answer) {
  m_winsock = LoadLibraryA("ws2_32.dll");
  if (!m_winsock) return;
  WSADATA data;
  if (Find<WsaStartupProc>(m_winsock, "WSAStartup")(MAKEWORD(2, 2), &data) != 0) return;
  SOCKET listener = Find<SocketProc>(m_winsock, "socket")(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = 0x0100007Fu;  // 127.0.0.1 in network order
  address.sin_port = 0;
  int size = sizeof(address);
  if (Find<BindProc>(m_winsock, "bind")(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      Find<ListenProc>(m_winsock, "listen")(listener, 4) != 0 ||
      Find<GetSockNameProc>(m_winsock, "getsockname")(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    Find<CloseProc>(m_winsock, "closesocket")(listener);
    return;
  }
  m_socket = listener;
  m_port = ((address.sin_port & 0xFF) << 8) | (address.sin_port >> 8);  // network order
  m_received = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_thread = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
}

LoopbackListener::~LoopbackListener() {
  if (m_release) SetEvent(m_release);
  if (m_socket != ~static_cast<UINT_PTR>(0)) Find<CloseProc>(m_winsock, "closesocket")(m_socket);
  if (m_thread) {
    WaitForSingleObject(m_thread, 5000);
    CloseHandle(m_thread);
  }
  if (m_received) CloseHandle(m_received);
  if (m_release) CloseHandle(m_release);
  // ws2_32 stays loaded: other tests may use it, and unloading under a live socket is unsafe.
}

std::string LoopbackListener::Host() const { return "127.0.0.1:" + std::to_string(m_port); }

bool LoopbackListener::WaitForRequest(DWORD timeoutMs, std::string* request) {
  if (!m_received || WaitForSingleObject(m_received, timeoutMs) != WAIT_OBJECT_0) return false;
  if (request) *request = m_request;
  return true;
}

std::string LoopbackListener::TargetOf(const std::string& request) {
  const std::string line = request.substr(0, request.find("\r\n"));
  const size_t start = line.find(' ');
  const size_t end = line.rfind(' ');
  if (start == std::string::npos || end <= start) return "";
  return line.substr(start + 1, end - start - 1);
}

std::vector<std::pair<std::string, std::string>> LoopbackListener::QueryOf(const std::string& request) {
  auto decode = [](const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '%' && i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
          isxdigit(static_cast<unsigned char>(text[i + 2]))) {
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        out += text[i];
      }
    }
    return out;
  };
  std::vector<std::pair<std::string, std::string>> values;
  const std::string target = TargetOf(request);
  const size_t query = target.find('?');
  if (query == std::string::npos) return values;
  size_t start = query + 1;
  while (start <= target.size()) {
    size_t end = target.find('&', start);
    if (end == std::string::npos) end = target.size();
    const std::string piece = target.substr(start, end - start);
    const size_t equals = piece.find('=');
    values.emplace_back(decode(piece.substr(0, equals)),
                        equals == std::string::npos ? std::string() : decode(piece.substr(equals + 1)));
    start = end + 1;
  }
  return values;
}

bool LoopbackListener::WaitForClose(DWORD timeoutMs, unsigned long long* bodyBytes) {
  if (!m_thread || WaitForSingleObject(m_thread, timeoutMs) != WAIT_OBJECT_0) return false;
  if (bodyBytes) *bodyBytes = m_bodyBytes;
  return true;
}

DWORD WINAPI LoopbackListener::Serve(void* self) {
  LoopbackListener* listener = static_cast<LoopbackListener*>(self);
  HMODULE ws = listener->m_winsock;
  SOCKET client = Find<AcceptProc>(ws, "accept")(listener->m_socket, nullptr, nullptr);
  if (client == INVALID_SOCKET) return 0;
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const int got = Find<RecvProc>(ws, "recv")(client, buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    head.append(buffer, static_cast<size_t>(got));
  }
  listener->m_request = head;
  SetEvent(listener->m_received);
  const DWORD start = GetTickCount();
  if (listener->m_answer == Answer::kImage) {
    static const char kAnswer[] =
        "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    Find<SendProc>(ws, "send")(client, kAnswer, sizeof(kAnswer) - 1, 0);
  } else if (listener->m_answer == Answer::kNothing) {
    WaitForSingleObject(listener->m_release, kHoldLimitMs);
  } else {
    static const char kHead[] = "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n\r\n";
    char block[4096];
    memset(block, 'G', sizeof block);
    SendProc send = Find<SendProc>(ws, "send");
    const DWORD sendTimeout = kSendTimeoutMs;
    Find<SetSockOptProc>(ws, "setsockopt")(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout),
                                           sizeof sendTimeout);
    if (send(client, kHead, sizeof(kHead) - 1, 0) > 0) {
      // Blocks go out until the client stops taking them, the listener goes, or a limit passes.
      while (WaitForSingleObject(listener->m_release, 0) == WAIT_TIMEOUT && GetTickCount() - start < kHoldLimitMs &&
             listener->m_bodyBytes < kEndlessBodyLimit) {
        const int sent = send(client, block, sizeof block, 0);
        if (sent <= 0) break;
        listener->m_bodyBytes += static_cast<unsigned long long>(sent);
      }
    }
  }
  Find<CloseProc>(ws, "closesocket")(client);
  return 0;
}
