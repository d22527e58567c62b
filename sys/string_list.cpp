// StringList on the process heap: the array is reallocated to exactly the new count.
#include "sys/string_list.h"

#include <new>
#include <windows.h>

bool StringList::Grow() {
  const int newCount = m_count + 1;
  if (newCount > m_capacity) {
    // HeapString is two plain words, so the array may move; new elements start zeroed (empty).
    void* block = m_items ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, m_items, newCount * sizeof(HeapString))
                          : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, newCount * sizeof(HeapString));
    if (!block) return false;
    m_items = static_cast<HeapString*>(block);
    m_capacity = newCount;
  }
  new (&m_items[m_count]) HeapString();
  m_count = newCount;
  return true;
}

void StringList::Shrink(int count) {
  if (count < 0) count = 0;
  while (m_count > count) {
    --m_count;
    m_items[m_count].~HeapString();
  }
}

void StringList::Clear() {
  Shrink(0);
  if (m_items) HeapFree(GetProcessHeap(), 0, m_items);
  m_items = nullptr;
  m_capacity = 0;
}
