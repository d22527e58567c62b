// The loopback listener: Windows sockets loaded at run time, one accepted connection, the
// request head recorded and a small image answer sent back.
#include <winsock2.h>

#include "loopback_listener.h"

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

template <typename T>
T Find(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

LoopbackListener::LoopbackListener() {
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
  m_thread = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
}

LoopbackListener::~LoopbackListener() {
  if (m_socket != ~static_cast<UINT_PTR>(0)) Find<CloseProc>(m_winsock, "closesocket")(m_socket);
  if (m_thread) {
    WaitForSingleObject(m_thread, 5000);
    CloseHandle(m_thread);
  }
  if (m_received) CloseHandle(m_received);
  // ws2_32 stays loaded: other tests may use it, and unloading under a live socket is unsafe.
}

std::string LoopbackListener::Host() const { return "127.0.0.1:" + std::to_string(m_port); }

bool LoopbackListener::WaitForRequest(DWORD timeoutMs, std::string* request) {
  if (!m_received || WaitForSingleObject(m_received, timeoutMs) != WAIT_OBJECT_0) return false;
  if (request) *request = m_request;
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
  static const char kAnswer[] =
      "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  Find<SendProc>(ws, "send")(client, kAnswer, sizeof(kAnswer) - 1, 0);
  Find<CloseProc>(ws, "closesocket")(client);
  return 0;
}
