// StringBlock: one block of a module's string table (sixteen counted UTF-16 entries), parsed
// from and serialized back to the resource layout without touching the entries it keeps.
#pragma once

#include <stddef.h>
#include <windows.h>

class StringBlock {
 public:
  static const int kEntryCount = 16;

  StringBlock(DWORD blockNumber, WORD language);
  ~StringBlock();
  StringBlock(const StringBlock&) = delete;
  StringBlock& operator=(const StringBlock&) = delete;

  // Reads the sixteen entries of a resource's data. False for data that ends inside an entry
  // (nothing is kept then) or when memory runs out. Bytes after the sixteenth entry are ignored.
  bool Parse(const void* data, size_t size);
  // Replaces one entry (0 to 15) with a copy of length code units of text.
  bool SetEntry(int index, const wchar_t* text, size_t length);
  // Replaces one entry with an ANSI text converted from the ANSI code page.
  bool SetEntryFromAnsi(int index, const char* text);
  const wchar_t* Entry(int index) const;
  size_t EntryLength(int index) const;

  // Size of the serialized block: two bytes per entry count plus two per code unit.
  size_t SerializedSize() const;
  // Writes the block into out (at least SerializedSize() bytes); returns the bytes written.
  size_t Serialize(void* out) const;

  DWORD BlockNumber() const { return m_blockNumber; }
  WORD Language() const { return m_language; }

 private:
  void FreeEntries();

  DWORD m_blockNumber;
  WORD m_language;
  wchar_t* m_entries[kEntryCount];
  size_t m_lengths[kEntryCount];
};

// The block that holds a string id, and the id's entry in it.
inline DWORD StringBlockOf(UINT id) { return id / 16 + 1; }
inline int StringEntryOf(UINT id) { return static_cast<int>(id % 16); }
