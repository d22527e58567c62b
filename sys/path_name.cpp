// Fixed-capacity paths: plain text handling, and names resolved against the program or temp
// folder.
#include "sys/path_name.h"

#include <string.h>

namespace {

// Copies text into a 260-byte buffer; false (buffer untouched) when it does not fit.
bool CopyBounded(char* buffer, const char* text) {
  size_t length = strlen(text);
  if (length >= static_cast<size_t>(kPathBufferSize)) return false;
  memcpy(buffer, text, length + 1);
  return true;
}

}  // namespace

PathName::PathName() : m_alive(1) { m_text[0] = '\0'; }
PathName::~PathName() { m_alive = 0; }
PathName::PathName(const PathName& other) : m_alive(other.m_alive) { memcpy(m_text, other.m_text, sizeof(m_text)); }
PathName& PathName::operator=(const PathName& other) {
  if (this != &other) {
    m_alive = other.m_alive;
    memcpy(m_text, other.m_text, sizeof(m_text));
  }
  return *this;
}

void PathName::Assign(const char* text) {
  if (!text || !*text) {
    m_text[0] = '\0';
    return;
  }
  size_t length = strlen(text);
  if (length > sizeof(m_text) - 1) length = sizeof(m_text) - 1;
  memmove(m_text, text, length);
  m_text[length] = '\0';
}

const char* PathName::FileNamePart() const {
  const char* part = m_text;
  for (const char* p = m_text; *p; ++p)
    if (*p == '\\' || *p == '/') part = p + 1;
  return part;
}

Status PathName::AppendComponent(const char* name) {
  if (!name) return kStatusOk;
  size_t length = strlen(m_text);
  // An empty path takes the name alone: a leading backslash would make it a root path.
  if (length > 0 && m_text[length - 1] != '\\') {
    if (length + 1 >= sizeof(m_text)) return kStatusPathTooLong;
    m_text[length++] = '\\';
    m_text[length] = '\0';
  }
  size_t nameLength = strlen(name);
  if (length + nameLength > sizeof(m_text) - 1) return kStatusPathTooLong;
  memmove(m_text + length, name, nameLength + 1);
  return kStatusOk;
}

Status PathName::AddTrailingBackslashIfFolder() {
  size_t length = strlen(m_text);
  if (length > 0 && m_text[length - 1] != '\\' && length + 1 < sizeof(m_text) && IsFolder()) {
    m_text[length] = '\\';
    m_text[length + 1] = '\0';
  }
  return kStatusOk;
}

Status PathName::ReplaceFileName(const char* name) {
  if (m_text[0] == '\0') {
    Assign(name);
    return kStatusOk;
  }
  if (!name) name = "";
  char* last = strrchr(m_text, '\\');
  if (!last || last == m_text) return kStatusPathTooLong;
  size_t keep = static_cast<size_t>(last - m_text) + 1;
  size_t nameLength = strlen(name);
  if (keep + nameLength >= sizeof(m_text)) return kStatusPathTooLong;
  memmove(m_text + keep, name, nameLength + 1);
  return kStatusOk;
}

bool PathName::Exists() const { return m_text[0] && GetFileAttributesA(m_text) != INVALID_FILE_ATTRIBUTES; }

bool PathName::IsFolder() const {
  if (!m_text[0]) return false;
  DWORD attributes = GetFileAttributesA(m_text);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Status PathName::MoveTo(const char* from, const char* to) {
  return MoveFileA(from, to) ? kStatusOk : kStatusMoveFailed;
}

FilePath::FilePath() : m_alive(1) { m_text[0] = '\0'; }
FilePath::~FilePath() { m_alive = 0; }
FilePath::FilePath(const FilePath& other) : m_alive(other.m_alive) { memcpy(m_text, other.m_text, sizeof(m_text)); }
FilePath& FilePath::operator=(const FilePath& other) {
  if (this != &other) {
    m_alive = other.m_alive;
    memcpy(m_text, other.m_text, sizeof(m_text));
  }
  return *this;
}

void FilePath::Clear() { m_text[0] = '\0'; }

bool FilePath::SetFrom(const FilePath& other) {
  if (this == &other) return true;
  return SetFrom(other.m_text);
}

bool FilePath::SetFrom(const char* text) {
  if (!text || !CopyBounded(m_text, text)) {
    m_text[0] = '\0';
    return false;
  }
  return true;
}

bool FilePath::Resolve(const char* text) {
  if (!text) return MakeTempFileName();
  if (strchr(text, '\\') || strchr(text, '/')) return CopyBounded(m_text, text);
  return FromModuleFolder(text);
}

bool FilePath::FromModuleFolder(const char* name) {
  char path[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  if (length == 0 || length >= sizeof(path) - 1) return false;
  path[length] = '\0';
  if (name) {
    char* last = strrchr(path, '\\');
    size_t keep = last ? static_cast<size_t>(last - path) + 1 : 0;
    size_t nameLength = strlen(name);
    if (keep + nameLength >= sizeof(path)) return false;
    memcpy(path + keep, name, nameLength + 1);
  }
  return CopyBounded(m_text, path);
}

bool FilePath::MakeTempFileName() {
  char folder[kPathBufferSize];
  DWORD length = GetTempPathA(sizeof(folder), folder);
  if (length == 0 || length >= sizeof(folder)) return false;
  char name[MAX_PATH];
  if (GetTempFileNameA(folder, "PB", 0, name) == 0) return false;
  return CopyBounded(m_text, name);
}
