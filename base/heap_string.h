// HeapString: the one growable narrow string of the installer and its modules. Its layout
// (text pointer, then capacity word) is a binary contract with every module it loads.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

class HeapString {
 public:
  HeapString() : m_text(nullptr), m_capacity(0) {}
  explicit HeapString(const char* text) : m_text(nullptr), m_capacity(0) { Assign(text); }
  ~HeapString() { Clear(); }
  HeapString(const HeapString&) = delete;
  HeapString& operator=(const HeapString&) = delete;

  // Text of the string; never null (an empty string without a buffer reads as "").
  const char* Text() const { return m_text ? m_text : ""; }
  // Raw buffer pointer: null before the first allocation. Writers may fill up to Capacity().
  char* Buffer() { return m_text; }
  uint32_t Capacity() const { return m_capacity & kCapacityMask; }
  int Length() const;
  bool IsEmpty() const { return Length() == 0; }

  void Clear();
  bool WriteAt(const char* text, int length, int position);
  bool WriteStringAt(const HeapString& other, int length, int position);
  bool Assign(const char* text) { return WriteAt(text, -1, 0); }
  bool Assign(const char* text, int length) { return WriteAt(text, length, 0); }
  bool Append(const char* text, int length = -1) { return WriteAt(text, length, Length()); }
  bool Append(const HeapString& other) { return WriteStringAt(other, -1, Length()); }
  bool Truncate(int length) { return WriteAt(nullptr, 0, length); }
  bool Prepend(const char* text, int length = -1);
  bool Reserve(uint32_t needed, bool keep);
  bool Swap(HeapString& other);
  int OffsetOf(const char* pointer) const;
  int Find(const char* pattern, int start = 0) const;
  bool RemoveAll(const char* pattern);
  bool ToLower();
  bool Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool AppendFormatV(const char* format, va_list args);

  static HeapString& AppendSigned(HeapString& string, long value);
  static HeapString& AppendUnsigned(HeapString& string, unsigned long value);

 private:
  static const uint32_t kCapacityMask = 0x1FFFFFFFu;
  static const int kFormatRoom = 1024;

  bool Reallocate(uint32_t size, bool keep);

  char* m_text;
  uint32_t m_capacity;

  friend struct HeapStringLayout;
};

// Two words, the text first: modules built elsewhere read and grow each other's strings.
struct HeapStringLayout {
  static_assert(offsetof(HeapString, m_text) == 0, "HeapString starts with its text pointer");
  static_assert(offsetof(HeapString, m_capacity) == sizeof(char*), "HeapString's capacity follows its text pointer");
  static_assert(sizeof(HeapString::m_capacity) == 4, "HeapString's capacity is a 32-bit word");
};
static_assert(sizeof(HeapString) == (sizeof(void*) == 4 ? 8 : 16), "HeapString is a pointer and a capacity word");
#if defined(__i386__)
// The shipped 32-bit target, as every module built to work with the installer sees it.
static_assert(sizeof(void*) == 4, "pointers are 32-bit");
static_assert(sizeof(HeapString) == 8, "HeapString is 8 bytes");
static_assert(sizeof(long) == 4 && sizeof(bool) == 1, "a status is a 32-bit long, a bool one byte");
#endif
