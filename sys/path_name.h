// Fixed-capacity paths (260 bytes with the terminator) for the extras' clean-up and the
// deployment code: plain text handling, and names resolved against the program or temp folder.
#pragma once

#include <windows.h>

#include "base/status.h"

class PathName {
 public:
  PathName();
  ~PathName();
  PathName(const PathName& other);
  PathName& operator=(const PathName& other);

  // Null or empty makes the path empty; at most 259 characters are kept.
  void Assign(const char* text);
  const char* Text() const { return m_text; }
  bool IsEmpty() const { return m_text[0] == '\0'; }
  // The text after the last backslash or slash.
  const char* FileNamePart() const;
  // Appends a backslash (unless there is one) and name; -44 when the name does not fit.
  Status AppendComponent(const char* name);
  Status AddTrailingBackslashIfFolder();
  // Replaces the part after the last backslash; -44 without one or when it does not fit.
  Status ReplaceFileName(const char* name);
  bool Exists() const;
  bool IsFolder() const;
  static Status MoveTo(const char* from, const char* to);

 private:
  unsigned char m_alive;
  char m_text[kPathBufferSize];
};

class FilePath {
 public:
  FilePath();
  ~FilePath();
  FilePath(const FilePath& other);
  FilePath& operator=(const FilePath& other);

  const char* Text() const { return m_text; }
  void Clear();
  // Splits the other path into drive, folder, name and extension and joins them again; an
  // over-long result leaves this path empty and returns false.
  bool SetFrom(const FilePath& other);
  bool SetFrom(const char* text);
  // Null: a new temporary file; a text with a separator: as it is; a bare name: beside the
  // program's own file.
  bool Resolve(const char* text);
  bool FromModuleFolder(const char* name);
  bool MakeTempFileName();

 private:
  unsigned char m_alive;
  char m_text[kPathBufferSize];
};
