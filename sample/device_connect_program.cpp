// SnaporaDeviceConnect.exe of the sample extras: a program that waits for photo devices. It owns
// the top-level window "NimbrelPhotosDeviceConnect" (so the installer can find and stop it) and
// ends when that window is destroyed.
#include <windows.h>

#include "sample/journal.h"

namespace {

const char kModuleName[] = "SnaporaDeviceConnect.exe";
const char kWindowTitle[] = "NimbrelPhotosDeviceConnect";
WNDPROC g_staticProc = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return CallWindowProcA(g_staticProc, window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // One copy per session: a second start leaves the running one alone.
  if (FindWindowA("STATIC", kWindowTitle)) {
    JournalText(kModuleName, "already running", commandLine);
    return 0;
  }
  JournalText(kModuleName, "start", commandLine);
  HWND window =
      CreateWindowExA(0, "STATIC", kWindowTitle, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  g_staticProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  JournalText(kModuleName, "end", commandLine);
  return 0;
}
