// StringList: a list of HeapString values that grows one element at a time.
#pragma once

#include "base/heap_string.h"

class StringList {
 public:
  StringList() : m_items(nullptr), m_count(0), m_capacity(0) {}
  ~StringList() { Clear(); }
  StringList(const StringList&) = delete;
  StringList& operator=(const StringList&) = delete;

  int Count() const { return m_count; }
  HeapString& At(int index) { return m_items[index]; }
  const HeapString& At(int index) const { return m_items[index]; }
  // Adds one empty element at the end; false when memory runs out (the list is unchanged).
  bool Grow();
  // Removes elements from the end down to the given count, freeing their texts.
  void Shrink(int count);
  void Clear();

 private:
  HeapString* m_items;
  int m_count;
  int m_capacity;
};
