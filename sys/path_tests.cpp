// Path tests on file attributes.
#include "sys/path_tests.h"

#include <windows.h>

bool IsExistingFile(const char* path) {
  if (!path || !*path) return false;
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingDirectory(const char* path) {
  if (!path || !*path) return false;
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
