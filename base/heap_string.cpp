// HeapString: buffers on the process heap, growth by doubling, length found at the terminator.
#include "base/heap_string.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

int HeapString::Length() const { return m_text ? static_cast<int>(strlen(m_text)) : 0; }

void HeapString::Clear() {
  if (m_text) HeapFree(GetProcessHeap(), 0, m_text);
  m_text = nullptr;
  m_capacity = 0;
}

bool HeapString::Reallocate(uint32_t size, bool keep) {
  if (!keep && m_text) Clear();
  if (size >= kCapacityMask) {  // the capacity word has no room for it
    Clear();
    return false;
  }
  void* block = m_text ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, m_text, size + 1)
                       : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 1);
  if (!block) {
    Clear();
    return false;
  }
  m_text = static_cast<char*>(block);
  if (keep)
    m_text[size] = '\0';
  else
    m_text[0] = '\0';
  m_capacity = size + 1;
  return true;
}

bool HeapString::Reserve(uint32_t needed, bool keep) {
  if (needed < Capacity()) return true;
  uint32_t size = 2 * Capacity();
  if (needed > size) size = needed;
  return Reallocate(size, keep);
}

bool HeapString::WriteAt(const char* text, int length, int position) {
  if (!m_text && !text) return true;
  if (length < 0) length = text ? static_cast<int>(strlen(text)) : 0;
  if (position < 0 || position > Length()) return false;

  if (text && OffsetOf(text) >= 0) {
    if (position == 0 && text == m_text) return true;
    // The source lives in our own buffer: build the result aside, then swap it in.
    HeapString result;
    bool ok = result.Reserve(static_cast<uint32_t>(length + position), false) && result.WriteAt(m_text, -1, 0) &&
              result.WriteAt(text, length, position);
    if (ok) Swap(result);
    return ok;
  }

  if (!text || length == 0) {
    if (m_text) m_text[position] = '\0';
    return true;
  }

  if (!Reserve(static_cast<uint32_t>(length + position), position != 0)) return false;
  // Copy at most length characters, stopping early at a NUL of the source.
  char* out = m_text + position;
  int copied = 0;
  while (copied < length && text[copied] != '\0') {
    out[copied] = text[copied];
    ++copied;
  }
  out[copied] = '\0';
  m_text[position + length] = '\0';
  return true;
}

bool HeapString::WriteStringAt(const HeapString& other, int length, int position) {
  if (length < 0) length = other.Length();
  return WriteAt(other.m_text, length, position);
}

bool HeapString::Prepend(const char* text, int length) {
  if (!text) return true;
  if (length < 0) length = static_cast<int>(strlen(text));
  if (length == 0) return true;
  HeapString result;
  bool ok = result.Reserve(static_cast<uint32_t>(Length() + length), false) && result.WriteAt(text, length, 0) &&
            result.Append(m_text);
  if (ok) Swap(result);
  return ok;
}

bool HeapString::Swap(HeapString& other) {
  char* text = m_text;
  uint32_t capacity = m_capacity;
  m_text = other.m_text;
  m_capacity = other.m_capacity;
  other.m_text = text;
  other.m_capacity = capacity;
  return true;
}

int HeapString::OffsetOf(const char* pointer) const {
  if (!m_text || !pointer) return -1;
  if (pointer >= m_text && pointer < m_text + Length()) return static_cast<int>(pointer - m_text);
  return -1;
}

int HeapString::Find(const char* pattern, int start) const {
  if (!pattern || start < 0 || start >= Length()) return -1;
  const char* match = strstr(m_text + start, pattern);
  return match ? static_cast<int>(match - m_text) : -1;
}

bool HeapString::RemoveAll(const char* pattern) {
  if (!pattern || !*pattern) return true;
  const int patternLength = static_cast<int>(strlen(pattern));
  const int originalLength = Length();
  HeapString result;
  if (!result.Reserve(static_cast<uint32_t>(originalLength), false)) return false;
  int offset = 0;
  for (int match = Find(pattern, 0); match >= 0 && offset < originalLength; match = Find(pattern, offset)) {
    if (!result.Append(m_text + offset, match - offset)) return false;
    offset = match + patternLength;
  }
  if (offset < originalLength && !result.Append(m_text + offset)) return false;
  Swap(result);
  return true;
}

bool HeapString::ToLower() {
  for (char* p = m_text; p && *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  return true;
}

namespace {

// Formats into room bytes at out with the Windows run-time's _vsnprintf and always terminates.
// Returns the length written, or -1 when the output did not fit in room - 1 characters; the
// buffer then holds the output cut at room - 1 characters, as C99's vsnprintf leaves it.
// (_vsnprintf itself leaves an output of exactly the given count unterminated and says -1 for
// a longer one instead of the full length.)
int FormatInto(char* out, uint32_t room, const char* format, va_list args) {
  if (room == 0) return -1;
  const size_t count = room - 1;
  int written = _vsnprintf(out, count, format, args);
  out[count] = '\0';
  return written < 0 ? -1 : written;
}

}  // namespace

bool HeapString::Format(const char* format, ...) {
  if (!format) return false;
  if (!Reserve(kFormatRoom, false)) return false;
  va_list args;
  va_start(args, format);
  int written = FormatInto(m_text, Capacity(), format, args);
  va_end(args);
  return written >= 0 && written < kFormatRoom;
}

bool HeapString::AppendFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = AppendFormatV(format, args);
  va_end(args);
  return ok;
}

bool HeapString::AppendFormatV(const char* format, va_list args) {
  if (!format) return false;
  int length = Length();
  if (static_cast<int>(Capacity()) - length - 1 < kFormatRoom &&
      !Reserve(static_cast<uint32_t>(length + kFormatRoom), true))
    return false;
  int written = FormatInto(m_text + length, Capacity() - length, format, args);
  return written >= 0 && written < kFormatRoom;
}

HeapString& HeapString::AppendSigned(HeapString& string, long value) {
  char scratch[16];  // "-2147483648" and its terminator fit
  _snprintf(scratch, sizeof scratch - 1, "%ld", value);
  scratch[sizeof scratch - 1] = '\0';
  string.Append(scratch);
  return string;
}

HeapString& HeapString::AppendUnsigned(HeapString& string, unsigned long value) {
  char scratch[16];
  _snprintf(scratch, sizeof scratch - 1, "%lu", value);
  scratch[sizeof scratch - 1] = '\0';
  string.Append(scratch);
  return string;
}
