// A file handle opened exclusively on a FilePath, closed when it goes.
#include "sys/raw_file.h"

RawFile::RawFile(const FilePath& path) : m_ready(false), m_open(false), m_handle(nullptr) {
  m_ready = m_path.SetFrom(path) && m_path.Text()[0] != '\0';
}

RawFile::RawFile() : m_ready(false), m_open(false), m_handle(nullptr) { m_ready = m_path.MakeTempFileName(); }

RawFile::~RawFile() { Close(); }

bool RawFile::Open(int mode) {
  if (m_open || !m_ready) return false;
  DWORD access;
  DWORD disposition;
  switch (mode) {
    case kRead:
      access = GENERIC_READ;
      disposition = OPEN_EXISTING;
      break;
    case kWrite:
      access = GENERIC_WRITE;
      disposition = OPEN_EXISTING;
      break;
    case kReadWriteCreate:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    case kReadWriteExisting:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = OPEN_EXISTING;
      break;
    case kReadWriteAlways:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = OPEN_ALWAYS;
      break;
    default:
      return false;
  }
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
  HANDLE handle = CreateFileA(m_path.Text(), access, 0, &security, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    m_handle = nullptr;
    return false;
  }
  m_handle = handle;
  m_open = true;
  return true;
}

bool RawFile::Read(void* buffer, DWORD count, DWORD* read) {
  if (!m_open || !buffer || !read) return false;
  return ReadFile(m_handle, buffer, count, read, nullptr) != FALSE;
}

bool RawFile::Write(const void* buffer, DWORD count, DWORD* written) {
  if (!m_open || !buffer || !written) return false;
  return WriteFile(m_handle, buffer, count, written, nullptr) != FALSE;
}

bool RawFile::Seek(LONG distance, int origin) {
  if (!m_open || origin < 0 || origin > 2) return false;
  static const DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  SetLastError(NO_ERROR);
  DWORD position = SetFilePointer(m_handle, distance, nullptr, kMethods[origin]);
  return !(position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool RawFile::SetEnd() { return m_open && SetEndOfFile(m_handle) != FALSE; }

DWORD RawFile::Size() const { return m_open ? GetFileSize(m_handle, nullptr) : INVALID_FILE_SIZE; }

void RawFile::Close() {
  if (m_handle) CloseHandle(m_handle);
  m_handle = nullptr;
  m_open = false;
}

bool RawFile::Exists() const {
  return m_path.Text()[0] && GetFileAttributesA(m_path.Text()) != INVALID_FILE_ATTRIBUTES;
}
