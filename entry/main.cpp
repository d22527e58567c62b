// The executable's start-up: computes the command-line tail and runs the program.
#include <stdlib.h>
#include <windows.h>

#include "base/module_loader.h"
#include "sys/options.h"
#include "entry/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a module by its bare name: from here on such a load finds only the
  // system folder's copy, never one planted beside the program or in the current directory.
  RestrictModuleSearch();
  const char* tail = SkipProgramName(GetCommandLineA());
  const char* programPath = (__argc > 0 && __argv) ? __argv[0] : nullptr;
  return RunProgram(instance, tail, programPath);
}
