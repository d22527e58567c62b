// Dialog answering with real clicks on real windows, for the tests.
#include "support/ui.h"

#include "support/bench.h"

DialogAnswerer::DialogAnswerer(DWORD processId, const std::string& title, std::vector<int> clicks, AnswerWait wait)
    : m_processId(processId), m_title(title), m_clicks(std::move(clicks)), m_timeoutMs(wait.milliseconds) {
  m_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_thread = CreateThread(nullptr, 0, &DialogAnswerer::Run, this, 0, nullptr);
}

DialogAnswerer::~DialogAnswerer() {
  Finish();
  if (m_stop) CloseHandle(m_stop);
}

DWORD WINAPI DialogAnswerer::Run(void* self) {
  DialogAnswerer* answerer = static_cast<DialogAnswerer*>(self);
  const DWORD start = GetTickCount();
  HWND dialog = nullptr;
  while (!(dialog = FindDialog(answerer->m_processId, answerer->m_title))) {
    if (GetTickCount() - start > answerer->m_timeoutMs) return 0;
    if (WaitForSingleObject(answerer->m_stop, 20) == WAIT_OBJECT_0) {
      // One last look: the dialog may have come just before the stop.
      dialog = FindDialog(answerer->m_processId, answerer->m_title);
      if (!dialog) return 0;
      break;
    }
  }
  answerer->m_foundAt = GetTickCount();
  Sleep(50);  // let the dialog finish its initialisation before the click
  answerer->m_text = DialogText(dialog);
  bool ok = !answerer->m_clicks.empty();
  for (int control : answerer->m_clicks) ok = ClickControl(dialog, control) && ok;
  answerer->m_answered = ok;
  return 0;
}

void DialogAnswerer::Finish() {
  if (m_thread) {
    SetEvent(m_stop);
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

DWORD DialogAnswerer::FoundAt() {
  Finish();
  return m_foundAt;
}

bool AnsweredRun::Showed(const std::string& title) const { return Dialog(title) != nullptr; }

const ShownDialog* AnsweredRun::Dialog(const std::string& title) const {
  for (const ShownDialog& dialog : dialogs)
    if (dialog.title == title) return &dialog;
  return nullptr;
}

AnsweredRun RunAnswering(const std::string& program, const std::string& args, const char* folder,
                         const std::vector<DialogAnswer>& answers, DWORD timeoutMs) {
  AnsweredRun run;
  ChildProcess child;
  if (!child.Start(program, args, folder)) return run;
  if (AnswerUntilExit(child.Handle(), child.Id(), answers, timeoutMs, &run.dialogs)) child.Wait(0, &run.exitCode);
  run.processesStarted = child.ProcessesStarted();
  return run;
}
