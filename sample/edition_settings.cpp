// Reading a sample edition's identity from TollixSystemInfo.ini beside a module file.
#include "sample/edition_settings.h"

#include <shlobj.h>
#include <string.h>

namespace {

// Default that no ini value can hold: tells an absent key from an empty value.
const char kAbsent[] = "\x01<absent>\x01";

struct FolderToken {
  const char* token;
  int csidl;
};

const FolderToken kTokens[] = {
    {"%ProgramFiles%", CSIDL_PROGRAM_FILES},
    {"%CommonAppData%", CSIDL_COMMON_APPDATA},
    {"%AppData%", CSIDL_APPDATA},
};

}  // namespace

bool ModulePath(HMODULE module, HeapString* path) {
  char buffer[MAX_PATH * 2];
  DWORD length = GetModuleFileNameA(module, buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return false;
  return path->Assign(buffer, static_cast<int>(length));
}

HMODULE ModuleOfAddress(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<const char*>(address), &module)) {
    return nullptr;
  }
  return module;
}

bool EditionIniPath(HMODULE module, HeapString* path) {
  if (!ModulePath(module, path)) return false;
  const char* text = path->Text();
  const char* slash = strrchr(text, '\\');
  int folderLength = slash ? static_cast<int>(slash - text) + 1 : 0;
  return path->Truncate(folderLength) && path->Append("TollixSystemInfo.ini");
}

bool ReadEditionValue(const char* iniPath, const char* section, const char* key, HeapString* out) {
  // Grow until the value fits: GetPrivateProfileString reports a cut value as size - 1.
  for (DWORD size = 256; size <= 65536; size *= 4) {
    if (!out->Reserve(size, false)) return false;
    DWORD capacity = out->Capacity();
    DWORD length = GetPrivateProfileStringA(section, key, kAbsent, out->Buffer(), capacity, iniPath);
    if (length + 1 < capacity) {
      if (strcmp(out->Text(), kAbsent) == 0) {
        out->Truncate(0);
        return false;
      }
      return true;
    }
  }
  return false;
}

bool ParseDottedVersion(const char* text, DWORD* packed) {
  DWORD parts[4] = {0, 0, 0, 0};
  int count = 0;
  const char* p = text;
  while (true) {
    if (*p < '0' || *p > '9' || count == 4) return false;
    DWORD value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + static_cast<DWORD>(*p - '0');
      if (value > 255) return false;
      ++p;
    }
    parts[count++] = value;
    if (*p == '\0') break;
    if (*p != '.') return false;
    ++p;
  }
  *packed = PackVersion(parts[0], parts[1], parts[2], parts[3]);
  return true;
}

bool ExpandEditionFolder(const char* text, HeapString* out) {
  if (!out->Assign(text)) return false;
  for (const FolderToken& token : kTokens) {
    int position = out->Find(token.token);
    if (position < 0) continue;
    char folder[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, token.csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
      return false;
    }
    HeapString rest(out->Text() + position + strlen(token.token));
    if (!out->Truncate(position) || !out->Append(folder) || !out->Append(rest)) return false;
  }
  int length = out->Length();
  while (length > 0 && out->Text()[length - 1] == '\\') --length;
  if (length == 0) return false;
  return out->Truncate(length) && out->Append("\\");
}
