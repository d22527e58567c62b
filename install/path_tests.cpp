// Path tests on file attributes.
#include "install/path_tests.h"

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

const char* FindExtension(const char* path) {
  if (!path || !*path) return nullptr;
  const char* extension = nullptr;
  const char* p = path;
  for (; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':')
      extension = nullptr;
    else if (*p == '.')
      extension = p;
  }
  return extension ? extension : p;
}
