// Program entry: start-up and shut-down, mode choice, the administrator test, the notification
// box and the browser launch after a successful run.
#pragma once

#include <windows.h>

// Exit codes of the program.
const int kExitSuccess = 0;  // the driver succeeded or the user cancelled
const int kExitFailure = 1;  // the driver failed, or no administrator rights

// Runs the program. programPath is the executable's path as the process received it.
int RunProgram(HINSTANCE instance, const char* commandTail, const char* programPath);

bool HasAdministratorRights();
// A task-modal box with an OK button; a null caption becomes "Notification".
void ShowNotification(const char* text, const char* caption, bool warning);
bool IsBareAddress(const char* address);
void LaunchBrowser(const char* address, bool requireOnline);
// Whether the /url value needs an Internet connection before the browser is opened.
bool AddressNeedsConnection(const char* address);
