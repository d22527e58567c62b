// Dialog answering with real clicks on real windows.
#include "support/ui.h"

namespace {

struct FindRequest {
  const std::string* title;
  HWND found;
};

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM param) {
  FindRequest* request = reinterpret_cast<FindRequest*>(param);
  char className[64] = {};
  char title[512] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (strcmp(className, "#32770") == 0 && *request->title == title && IsWindowVisible(window)) {
    request->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  std::string* text = reinterpret_cast<std::string*>(param);
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Static") == 0) {
    char buffer[2048] = {};
    GetWindowTextA(child, buffer, sizeof buffer);
    if (buffer[0]) {
      if (!text->empty()) *text += "\n";
      *text += buffer;
    }
  }
  return TRUE;
}

}  // namespace

HWND WaitForDialog(const std::string& title, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    FindRequest request = {&title, nullptr};
    EnumWindows(FindDialogWindow, reinterpret_cast<LPARAM>(&request));
    if (request.found) return request.found;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

std::string DialogText(HWND dialog) {
  std::string text;
  EnumChildWindows(dialog, CollectText, reinterpret_cast<LPARAM>(&text));
  return text;
}

bool ClickControl(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  if (!control) return false;
  // BM_CLICK goes through the button's own press and release, as a mouse click does.
  SendMessageA(control, BM_CLICK, 0, 0);
  return true;
}

DialogAnswerer::DialogAnswerer(const std::string& title, int controlId, DWORD timeoutMs)
    : DialogAnswerer(title, controlId, 0, timeoutMs) {}

DialogAnswerer::DialogAnswerer(const std::string& title, int firstControlId, int secondControlId, DWORD timeoutMs)
    : m_title(title), m_first(firstControlId), m_second(secondControlId), m_timeoutMs(timeoutMs) {
  m_thread = CreateThread(nullptr, 0, &DialogAnswerer::Run, this, 0, nullptr);
}

DialogAnswerer::~DialogAnswerer() { Finish(); }

DWORD WINAPI DialogAnswerer::Run(void* self) {
  DialogAnswerer* answerer = static_cast<DialogAnswerer*>(self);
  HWND dialog = WaitForDialog(answerer->m_title, answerer->m_timeoutMs);
  if (!dialog) return 0;
  Sleep(50);  // let the dialog finish its initialisation before the click
  answerer->m_text = DialogText(dialog);
  bool ok = ClickControl(dialog, answerer->m_first);
  if (ok && answerer->m_second) ok = ClickControl(dialog, answerer->m_second);
  answerer->m_answered = ok;
  return 0;
}

void DialogAnswerer::Finish() {
  if (m_thread) {
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
  }
}

bool DialogAnswerer::Answered() {
  Finish();
  return m_answered;
}

const std::string& DialogAnswerer::Text() {
  Finish();
  return m_text;
}
