// Starts a program and answers the dialogs it shows by clicking their buttons, for scripts
// that drive the real program (the main job, the round trip test). Prints every dialog shown
// and ends with the program's Windows exit code.
//   answer_dialogs.exe [--answer "<title>=<id>[,<id>...]"]... [--timeout <seconds>]
//                      [--hold-until <file>] -- <program> [arguments]
// A dialog without an --answer is answered with Cancel, No or OK.
// --hold-until leaves each dialog up until <file> exists (then deletes the file and answers),
// so that a script can take a picture of the dialog first; it prints "showing: "<title>"" as
// soon as the dialog is up.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/answer_dialogs/answering.h"

namespace {

const int kUsage = 120;
const int kNotStarted = 121;
const int kTimedOut = 124;

bool ParseAnswer(const char* text, DialogAnswer* answer) {
  const char* equals = strrchr(text, '=');
  if (!equals || equals == text) return false;
  answer->title.assign(text, equals);
  const char* p = equals + 1;
  while (*p) {
    char* end = nullptr;
    const long id = strtol(p, &end, 10);
    if (end == p || id <= 0 || id > 0xFFFF) return false;
    answer->clicks.push_back(static_cast<int>(id));
    p = *end == ',' ? end + 1 : end;
    if (*end && *end != ',') return false;
  }
  return !answer->clicks.empty();
}

// One argument quoted for a Windows command line (no argument here ends in a backslash
// before a quote: paths and options).
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// Holds a found dialog until the named file appears, then consumes the file.
bool HoldUntilFile(HWND, const ShownDialog& seen, DWORD remainingMs, void* context) {
  const char* file = static_cast<const char*>(context);
  printf("showing: \"%s\"\n", seen.title.c_str());
  fflush(stdout);
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > remainingMs) return false;
    Sleep(20);
  }
  DeleteFileA(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<DialogAnswer> answers;
  DWORD timeoutSeconds = 600;
  const char* holdFile = nullptr;
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "--answer") == 0 && i + 1 < argc) {
      DialogAnswer answer;
      if (!ParseAnswer(argv[++i], &answer)) {
        fprintf(stderr, "answer_dialogs: not an answer: %s\n", argv[i]);
        return kUsage;
      }
      answers.push_back(answer);
    } else if (strcmp(argv[i], "--hold-until") == 0 && i + 1 < argc) {
      holdFile = argv[++i];
    } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      timeoutSeconds = strtoul(argv[++i], nullptr, 10);
    } else {
      fprintf(stderr, "answer_dialogs: unknown option %s\n", argv[i]);
      return kUsage;
    }
  }
  if (i + 1 >= argc) {
    fprintf(stderr,
            "usage: answer_dialogs.exe [--answer \"<title>=<id>[,<id>...]\"]... [--timeout <s>] [--hold-until <file>]"
            " -- <program> [arguments]\n");
    return kUsage;
  }
  const std::string program = argv[i + 1];
  std::string commandLine = "\"" + program + "\"";
  for (int a = i + 2; a < argc; ++a) commandLine += " " + Quoted(argv[a]);

  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // The path goes as the application name too: a blank in it can never start another program.
  if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    fprintf(stderr, "answer_dialogs: could not start %s (Windows error %lu)\n", program.c_str(), GetLastError());
    return kNotStarted;
  }
  std::vector<ShownDialog> shown;
  const bool ended = AnswerUntilExit(process.hProcess, process.dwProcessId, answers, timeoutSeconds * 1000, &shown,
                                     holdFile ? HoldUntilFile : nullptr, const_cast<char*>(holdFile));
  for (const ShownDialog& dialog : shown) {
    std::string text = dialog.text;
    for (char& c : text)
      if (c == '\n' || c == '\r') c = ' ';
    printf("dialog: \"%s\" (%s) %s\n", dialog.title.c_str(), text.c_str(),
           dialog.answered ? "answered" : "NOT answered");
  }
  DWORD exitCode = kTimedOut;
  if (!ended) {
    printf("program did not end within %lu s; ended it\n", timeoutSeconds);
    TerminateProcess(process.hProcess, kTimedOut);
    WaitForSingleObject(process.hProcess, 5000);
  } else {
    GetExitCodeProcess(process.hProcess, &exitCode);
    printf("exit code: %lu\n", exitCode);
  }
  fflush(stdout);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}
