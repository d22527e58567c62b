// Uninstall mode: the mutexes, dialog 118, the RunOnce clean-up and one complete uninstall pass.
#pragma once

#include <windows.h>

#include "base/status.h"

Status RunUninstall(const char* commandLine, HINSTANCE instance);
INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
