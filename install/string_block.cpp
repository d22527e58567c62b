// StringBlock: parsing and serializing one string table block on the process heap.
#include "install/string_block.h"

#include <string.h>

namespace {

wchar_t* CopyText(const wchar_t* text, size_t length) {
  wchar_t* copy = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(wchar_t)));
  if (copy && length) memcpy(copy, text, length * sizeof(wchar_t));
  return copy;
}

}  // namespace

StringBlock::StringBlock(DWORD blockNumber, WORD language) : m_blockNumber(blockNumber), m_language(language) {
  for (int i = 0; i < kEntryCount; ++i) {
    m_entries[i] = nullptr;
    m_lengths[i] = 0;
  }
}

StringBlock::~StringBlock() { FreeEntries(); }

void StringBlock::FreeEntries() {
  for (int i = 0; i < kEntryCount; ++i) {
    if (m_entries[i]) HeapFree(GetProcessHeap(), 0, m_entries[i]);
    m_entries[i] = nullptr;
    m_lengths[i] = 0;
  }
}

bool StringBlock::Parse(const void* data, size_t size) {
  FreeEntries();
  if (!data) return false;
  // Read byte by byte: resource data need not be aligned for 16-bit reads.
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  size_t position = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    if (size - position < 2) {
      FreeEntries();
      return false;
    }
    size_t length = bytes[position] | (bytes[position + 1] << 8);
    position += 2;
    if ((size - position) / 2 < length) {
      FreeEntries();
      return false;
    }
    wchar_t* text =
        static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(wchar_t)));
    if (!text) {
      FreeEntries();
      return false;
    }
    for (size_t c = 0; c < length; ++c, position += 2)
      text[c] = static_cast<wchar_t>(bytes[position] | (bytes[position + 1] << 8));
    m_entries[i] = text;
    m_lengths[i] = length;
  }
  return true;
}

bool StringBlock::SetEntry(int index, const wchar_t* text, size_t length) {
  if (index < 0 || index >= kEntryCount || length > 0xFFFF || (length && !text)) return false;
  wchar_t* copy = CopyText(text, length);
  if (!copy) return false;
  if (m_entries[index]) HeapFree(GetProcessHeap(), 0, m_entries[index]);
  m_entries[index] = copy;
  m_lengths[index] = length;
  return true;
}

bool StringBlock::SetEntryFromAnsi(int index, const char* text) {
  if (!text) text = "";
  int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) return false;
  wchar_t* wide = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed * sizeof(wchar_t)));
  if (!wide) return false;
  bool done = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, needed) == needed &&
              SetEntry(index, wide, static_cast<size_t>(needed - 1));
  HeapFree(GetProcessHeap(), 0, wide);
  return done;
}

const wchar_t* StringBlock::Entry(int index) const {
  if (index < 0 || index >= kEntryCount) return nullptr;
  return m_entries[index] ? m_entries[index] : L"";
}

size_t StringBlock::EntryLength(int index) const { return index < 0 || index >= kEntryCount ? 0 : m_lengths[index]; }

size_t StringBlock::SerializedSize() const {
  size_t size = 0;
  for (int i = 0; i < kEntryCount; ++i) size += 2 * (m_lengths[i] + 1);
  return size;
}

size_t StringBlock::Serialize(void* out) const {
  unsigned char* bytes = static_cast<unsigned char*>(out);
  size_t position = 0;
  for (int i = 0; i < kEntryCount; ++i) {
    size_t length = m_lengths[i];
    bytes[position++] = static_cast<unsigned char>(length & 0xFF);
    bytes[position++] = static_cast<unsigned char>(length >> 8);
    for (size_t c = 0; c < length; ++c) {
      unsigned value = static_cast<unsigned>(m_entries[i][c]);
      bytes[position++] = static_cast<unsigned char>(value & 0xFF);
      bytes[position++] = static_cast<unsigned char>((value >> 8) & 0xFF);
    }
  }
  return position;
}
