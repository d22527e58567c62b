// A file handle opened exclusively on a FilePath, closed when it goes.
#pragma once

#include <windows.h>

#include "sys/path_name.h"

class RawFile {
 public:
  enum Mode {
    kRead = 0,               // GENERIC_READ, existing file
    kWrite = 1,              // GENERIC_WRITE, existing file
    kReadWriteCreate = 2,    // read and write, CREATE_ALWAYS
    kReadWriteExisting = 3,  // read and write, OPEN_EXISTING
    kReadWriteAlways = 4,    // read and write, OPEN_ALWAYS
  };

  explicit RawFile(const FilePath& path);
  RawFile();  // on a new temporary file
  virtual ~RawFile();
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  bool Open(int mode);
  bool Read(void* buffer, DWORD count, DWORD* read);
  bool Write(const void* buffer, DWORD count, DWORD* written);
  // origin 0 begin, 1 current, 2 end
  bool Seek(LONG distance, int origin);
  bool SetEnd();       // cuts the file at the current position
  DWORD Size() const;  // INVALID_FILE_SIZE when not open
  void Close();
  bool Exists() const;
  bool IsOpen() const { return m_open; }
  const FilePath& Path() const { return m_path; }

 private:
  bool m_ready;
  bool m_open;
  FilePath m_path;
  HANDLE m_handle;
};
