// Answers message boxes and dialogs the way a user does: finds the real window of one process by
// its title and clicks its buttons by control id (tools/answer_dialogs).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/answer_dialogs/answering.h"

// How long an answerer looks for its dialog at the most. Explicit, so that a time-out can never
// be taken for a control id.
struct AnswerWait {
  explicit AnswerWait(DWORD ms) : milliseconds(ms) {}
  DWORD milliseconds;
};

// The process whose dialogs the code under test shows when it runs in the test itself.
inline DWORD ThisProcess() { return GetCurrentProcessId(); }

// Answers one dialog of one process from a background thread, so the code under test may block
// in it:
//   DialogAnswerer answer(ThisProcess(), "Internet Explorer Running", {IDYES});
//   ... code that shows the box and returns ...
//   EXPECT_TRUE(answer.Answered());
// A dialog of a started program: start it first and pass child.Id().
class DialogAnswerer {
 public:
  DialogAnswerer(DWORD processId, const std::string& title, std::vector<int> clicks,
                 AnswerWait wait = AnswerWait(60000));
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // Stops looking and reports whether the dialog was answered: call it once the code that
  // would show the dialog has returned, or the program has ended.
  bool Answered();
  // The box's message text as read just before the click.
  const std::string& Text();
  // When the dialog was found (GetTickCount), 0 when it was not.
  DWORD FoundAt();

 private:
  static DWORD WINAPI Run(void* self);
  void Finish();

  DWORD m_processId;
  std::string m_title;
  std::vector<int> m_clicks;
  DWORD m_timeoutMs;
  HANDLE m_stop = nullptr;
  HANDLE m_thread = nullptr;
  bool m_answered = false;
  DWORD m_foundAt = 0;
  std::string m_text;
};

// One run of a program to its end, with every dialog it showed.
struct AnsweredRun {
  DWORD exitCode = 0xFFFFFFFF;  // the Windows exit code; 0xFFFFFFFF: not started or not ended
  std::vector<ShownDialog> dialogs;
  DWORD processesStarted = 0;  // by the program and its children

  bool Showed(const std::string& title) const;
  const ShownDialog* Dialog(const std::string& title) const;  // the first with this title, or null
};

// Starts "program" args in folder (null: the test's own), answers every dialog it shows (the
// listed titles with their clicks, any other with Cancel, No or OK) and waits for its end; a
// program still running after the time-out is ended.
AnsweredRun RunAnswering(const std::string& program, const std::string& args, const char* folder,
                         const std::vector<DialogAnswer>& answers, DWORD timeoutMs = 120000);
