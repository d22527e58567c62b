// The result of a file search: a list of paths, newest first.
#pragma once

#include "sys/path_name.h"

class FileList {
 public:
  struct Node {
    PathName path;
    Node* next;
  };

  FileList() : m_head(nullptr) {}
  virtual ~FileList();
  FileList(const FileList&) = delete;
  FileList& operator=(const FileList&) = delete;

  // Puts a copy of path at the head; -108 when no node can be allocated.
  Status Add(const PathName& path);
  void RemoveFirst();
  const Node* First() const { return m_head; }
  bool IsEmpty() const { return m_head == nullptr; }
  // Adds every file under folder matching pattern (null: "*.*"); with recurse, folders whose
  // names match the pattern are searched in turn.
  Status Search(const char* folder, const char* pattern, bool recurse);

 private:
  Node* m_head;
};
