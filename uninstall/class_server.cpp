// The in-process server of a class as the machine registered it. The elevated uninstaller loads
// that module; a path from the user's own class registrations, a relative path found along the
// search order, or a path cut to fit would let it load some other module.
#include "uninstall/class_server.h"

#include <windows.h>

#include <string.h>

#include "base/debug_channel.h"
#include "base/scoped.h"
#include "sys/path_guard.h"
#include "sys/registry_names.h"

namespace {

const char kClassesKey[] = "Software\\Classes\\CLSID\\";
const char kServerKey[] = "\\InProcServer32";

void LogRefusedServer(const char* clsid, const char* path, const char* reason) {
  LogMessage(kLogError)
      .Text("Refusing the in-process server \"")
      .Text(path)
      .Text("\" of class ")
      .Text(clsid)
      .Text(": ")
      .Text(reason)
      .Text(".");
}

}  // namespace

Status ReadMachineInProcServer(const char* clsid, char* out) {
  out[0] = '\0';
  // No class id is no registration; anything else must be exactly one class id, never a path.
  if (!clsid || !*clsid) return kStatusOk;
  if (!CheckClassId("class id", clsid)) return kStatusFailed;

  char keyPath[kPathBufferSize];
  const size_t length = strlen(kClassesKey) + strlen(clsid) + strlen(kServerKey);
  if (length >= sizeof keyPath) return kStatusFailed;  // a checked class id always fits
  memcpy(keyPath, kClassesKey, strlen(kClassesKey) + 1);
  strcat(keyPath, clsid);
  strcat(keyPath, kServerKey);

  char stored[kPathBufferSize];
  DWORD type = 0;
  LONG error;
  {
    ScopedRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE) != ERROR_SUCCESS) return kStatusOk;
    error = key.ReadText(nullptr, stored, sizeof stored, &type);
  }
  // A text without room for its terminator would have to be cut to be used.
  if (error == ERROR_MORE_DATA) {
    LogMessage(kLogError).Text("Refusing the in-process server of class ").Text(clsid).Text(": the path is too long.");
    return kStatusFailed;
  }
  if (error != ERROR_SUCCESS) return kStatusOk;
  if (!stored[0]) return kStatusOk;

  char path[kPathBufferSize];
  if (type == REG_EXPAND_SZ) {
    const DWORD expanded = ExpandEnvironmentStringsA(stored, path, sizeof path);
    if (expanded == 0 || expanded > sizeof path) {
      LogRefusedServer(clsid, stored, "it does not fit once expanded");
      return kStatusFailed;
    }
  } else {
    lstrcpynA(path, stored, sizeof path);
  }
  // One pair of quotes around the whole path is not part of it.
  size_t pathLength = strlen(path);
  if (pathLength >= 2 && path[0] == '"' && path[pathLength - 1] == '"') {
    memmove(path, path + 1, pathLength - 2);
    path[pathLength - 2] = '\0';
  }
  if (!IsPlainAbsolutePath(path)) {
    LogRefusedServer(clsid, path, "not a full path");
    return kStatusFailed;
  }
  lstrcpynA(out, path, kPathBufferSize);
  return kStatusOk;
}
