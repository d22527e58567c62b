// Operating-system tests on GetVersionEx.
#include "sys/os_version.h"

#include <windows.h>

namespace {

bool QueryVersion(OSVERSIONINFOA* info) {
  ZeroMemory(info, sizeof *info);
  info->dwOSVersionInfoSize = sizeof *info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExA(info) != FALSE;
#pragma GCC diagnostic pop
}

}  // namespace

bool IsWindows2000OrLater() {
  OSVERSIONINFOA info;
  return QueryVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
}

bool IsWindowsXPOrLater() {
  OSVERSIONINFOA info;
  return QueryVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT &&
         (info.dwMajorVersion >= 6 || (info.dwMajorVersion >= 5 && info.dwMinorVersion >= 1));
}

bool IsWindowsVistaOrLater() {
  OSVERSIONINFOA info;
  return QueryVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}
