// Finding a process's dialogs and clicking their buttons through Win32.
#include "tools/answer_dialogs/answering.h"

#include <string.h>

namespace {

struct DialogSearch {
  DWORD processId;
  const std::string* title;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || !IsWindowVisible(window)) return TRUE;
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, "#32770") != 0) return TRUE;
  if (!search->title->empty() && WindowTitle(window) != *search->title) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM parameter) {
  std::string* text = reinterpret_cast<std::string*>(parameter);
  char className[16] = {};
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

HWND FindDialog(DWORD processId, const std::string& title) {
  DialogSearch search = {processId, &title, nullptr};
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string WindowTitle(HWND window) {
  char title[512] = {};
  GetWindowTextA(window, title, sizeof title);
  return title;
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

bool AnswerUntilExit(HANDLE process, DWORD processId, const std::vector<DialogAnswer>& answers, DWORD timeoutMs,
                     std::vector<ShownDialog>* shown, BeforeAnswer beforeAnswer, void* context) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    HWND dialog = FindDialog(processId, "");
    if (!dialog) continue;
    Sleep(50);  // let the dialog finish its initialisation before the click
    ShownDialog seen;
    seen.title = WindowTitle(dialog);
    seen.text = DialogText(dialog);
    const DWORD elapsed = GetTickCount() - start;
    if (beforeAnswer && !beforeAnswer(dialog, seen, elapsed < timeoutMs ? timeoutMs - elapsed : 0, context)) {
      if (shown) shown->push_back(seen);
      return false;
    }
    const DialogAnswer* answer = nullptr;
    for (const DialogAnswer& a : answers)
      if (a.title == seen.title) answer = &a;
    if (answer) {
      seen.answered = !answer->clicks.empty();
      for (int control : answer->clicks) seen.answered = ClickControl(dialog, control) && seen.answered;
    } else {
      seen.answered = ClickControl(dialog, IDCANCEL) || ClickControl(dialog, IDNO) || ClickControl(dialog, IDOK);
    }
    if (shown) shown->push_back(seen);
    // Wait for that window to go before looking again.
    for (int i = 0; i < 250 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(20);
  }
}
