// Answers a program's boxes and dialogs the way a user does: finds its windows by process and
// title through Win32 and clicks their buttons with BM_CLICK, never with synthetic key events
// (a key left held on the shared display would answer every later box).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A visible top-level dialog ("#32770") of this process with this title (empty: any title);
// null when there is none.
HWND FindDialog(DWORD processId, const std::string& title);
std::string WindowTitle(HWND window);
// The text of a dialog's static texts, joined with newlines (the message of a box).
std::string DialogText(HWND dialog);
// Clicks the control (IDOK, IDYES, 1019, ...) of a shown dialog; false when it has none.
bool ClickControl(HWND dialog, int controlId);

// How to answer the dialogs with one title: its controls clicked in order (a radio button
// first, then the push button).
struct DialogAnswer {
  std::string title;
  std::vector<int> clicks;
};

// A dialog as the program showed it, and what was clicked.
struct ShownDialog {
  std::string title;
  std::string text;
  bool answered = false;  // the answer's clicks all landed
};

// Called with each dialog once it is found and before it is answered, so that a script can
// take its picture first; remainingMs is what is left of the time-out. False gives up the wait
// as a time-out (the program keeps running).
typedef bool (*BeforeAnswer)(HWND dialog, const ShownDialog& seen, DWORD remainingMs, void* context);

// Waits for a started process to end, answering every dialog it shows: with the answer for its
// title, else with Cancel, No or OK (the first the dialog has). False when the process did not
// end within the time-out; it is then left running.
bool AnswerUntilExit(HANDLE process, DWORD processId, const std::vector<DialogAnswer>& answers, DWORD timeoutMs,
                     std::vector<ShownDialog>* shown, BeforeAnswer beforeAnswer = nullptr, void* context = nullptr);
