// Operating-system tests: each makes a fresh version query; a failed query counts as false.
#pragma once

bool IsWindows2000OrLater();
bool IsWindowsXPOrLater();
bool IsWindowsVistaOrLater();
