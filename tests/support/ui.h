// Answers message boxes and dialogs the way a user does: finds the real window by its title
// and clicks one of its buttons by control id.
#pragma once

#include <windows.h>

#include <string>

// Waits for a top-level dialog ("#32770") with this title, in any process; null on time-out.
HWND WaitForDialog(const std::string& title, DWORD timeoutMs);
// Reads the text of a dialog's static texts, joined with newlines (the message of a box).
std::string DialogText(HWND dialog);
// Clicks the control (IDOK, IDYES, 1019, ...) of a shown dialog.
bool ClickControl(HWND dialog, int controlId);

// Answers one dialog from a background thread, so the code under test may block in it:
//   DialogAnswerer answer("Internet Explorer Running", IDYES);
//   ... code that shows the box ...
//   EXPECT_TRUE(answer.Answered());
class DialogAnswerer {
 public:
  // The controls are clicked in order (a radio button first, then the push button).
  DialogAnswerer(const std::string& title, int controlId, DWORD timeoutMs = 30000);
  DialogAnswerer(const std::string& title, int firstControlId, int secondControlId, DWORD timeoutMs = 30000);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // Waits for the answering thread and reports whether it clicked.
  bool Answered();
  // The box's message text as read just before the click.
  const std::string& Text();

 private:
  static DWORD WINAPI Run(void* self);
  void Finish();

  std::string m_title;
  int m_first;
  int m_second;
  DWORD m_timeoutMs;
  HANDLE m_thread = nullptr;
  bool m_answered = false;
  std::string m_text;
};
