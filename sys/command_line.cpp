// Quoted command lines for the programs the installer starts or registers.
#include "sys/command_line.h"

#include <string.h>

#include "base/debug_channel.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

const char* WhyProgramPathIsRefused(const char* program) {
  if (!program || !*program) return "is empty";
  const bool drivePath = IsDriveLetter(program[0]) && program[1] == ':' && IsSeparator(program[2]);
  const bool sharePath = IsSeparator(program[0]) && IsSeparator(program[1]);
  if (!drivePath && !sharePath) return "is not a full path";
  if (strchr(program, '"')) return "holds a double quote";
  if (IsSeparator(program[strlen(program) - 1])) return "ends with a path separator";
  return nullptr;
}

bool BuildQuotedCommand(const char* program, const char* arguments, HeapString* command) {
  if (!command) return false;
  if (WhyProgramPathIsRefused(program) || !command->Assign("\"") || !command->Append(program) ||
      !command->Append("\"") || (arguments && !command->Append(arguments))) {
    command->Clear();
    return false;
  }
  return true;
}

bool StartProgram(const char* program, const char* arguments, DWORD creationFlags) {
  if (!program || !*program) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  const char* refusal = WhyProgramPathIsRefused(program);
  if (refusal) {
    LogMessage(kLogError).Text("Not starting '").Text(program).Text("': the path ").Text(refusal);
    SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  HeapString commandLine;
  if (!BuildQuotedCommand(program, arguments, &commandLine)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessA(program, commandLine.Buffer(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}
