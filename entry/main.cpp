// The executable's start-up: computes the command-line tail and runs the program.
#include <stdlib.h>
#include <windows.h>

#include "entry/options.h"
#include "entry/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const char* tail = SkipProgramName(GetCommandLineA());
  const char* programPath = (__argc > 0 && __argv) ? __argv[0] : nullptr;
  return RunProgram(instance, tail, programPath);
}
