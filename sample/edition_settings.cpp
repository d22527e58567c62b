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
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
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

bool ReadWholeTextFile(const char* path, HeapString* text) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(file, nullptr);
  bool ok = size != INVALID_FILE_SIZE && size < 0x1000000 && text->Reserve(size + 1, false);
  DWORD read = 0;
  if (ok) ok = ReadFile(file, text->Buffer(), size, &read, nullptr) && read == size;
  CloseHandle(file);
  if (!ok) return false;
  text->Buffer()[size] = '\0';
  return true;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// [begin, end) of a line with the blanks at both ends left off.
void TrimBlanks(const char** begin, const char** end) {
  while (*begin < *end && IsBlank(**begin)) ++*begin;
  while (*end > *begin && IsBlank((*end)[-1])) --*end;
}

bool SameName(const char* begin, const char* end, const char* name) {
  const size_t length = strlen(name);
  return static_cast<size_t>(end - begin) == length && _strnicmp(begin, name, length) == 0;
}

}  // namespace

bool FindIniValue(const char* text, const char* section, const char* key, HeapString* out) {
  bool inSection = false;
  for (const char* line = text; *line;) {
    const char* end = line;
    while (*end && *end != '\r' && *end != '\n') ++end;
    const char* next = end;
    while (*next == '\r' || *next == '\n') ++next;
    const char* begin = line;
    TrimBlanks(&begin, &end);
    if (begin < end && *begin == '[') {
      const char* close = static_cast<const char*>(memchr(begin, ']', static_cast<size_t>(end - begin)));
      const char* nameBegin = begin + 1;
      const char* nameEnd = close ? close : end;
      TrimBlanks(&nameBegin, &nameEnd);
      inSection = SameName(nameBegin, nameEnd, section);
    } else if (inSection && begin < end && *begin != ';') {
      const char* equals = static_cast<const char*>(memchr(begin, '=', static_cast<size_t>(end - begin)));
      if (equals) {
        const char* nameEnd = equals;
        const char* nameBegin = begin;
        TrimBlanks(&nameBegin, &nameEnd);
        if (SameName(nameBegin, nameEnd, key)) {
          const char* valueBegin = equals + 1;
          const char* valueEnd = end;
          TrimBlanks(&valueBegin, &valueEnd);
          if (valueEnd - valueBegin >= 2 && *valueBegin == '"' && valueEnd[-1] == '"') {
            ++valueBegin;
            --valueEnd;
          }
          return out->Assign(valueBegin, static_cast<int>(valueEnd - valueBegin));
        }
      }
    }
    line = next;
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
