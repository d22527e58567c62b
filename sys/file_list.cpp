// The result of a file search: a list of paths, newest first.
#include "sys/file_list.h"

#include <new>
#include <string.h>

#include "base/debug_channel.h"

FileList::~FileList() {
  while (m_head) RemoveFirst();
}

Status FileList::Add(const PathName& path) {
  Node* node = new (std::nothrow) Node;
  if (!node) return kStatusNoMemory;
  node->path = path;
  node->next = m_head;
  m_head = node;
  return kStatusOk;
}

void FileList::RemoveFirst() {
  Node* node = m_head;
  if (!node) return;
  m_head = node->next;
  delete node;
}

Status FileList::Search(const char* folder, const char* pattern, bool recurse) {
  if (!folder || !*folder) return kStatusMissingArgument;
  if (!pattern) pattern = "*.*";
  PathName query;
  query.Assign(folder);
  if (query.AppendComponent(pattern) != kStatusOk) {
    LogError("Path too long to search: ", folder, pattern);
    return kStatusPathTooLong;
  }
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(query.Text(), &entry);
  if (search == INVALID_HANDLE_VALUE) return kStatusOk;
  Status result = kStatusOk;
  do {
    const char* name = entry.cFileName;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    PathName found;
    found.Assign(folder);
    if (found.AppendComponent(name) != kStatusOk) {
      LogError("Path too long to search: ", folder, name);
      continue;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A junction leads outside the searched tree.
      if (recurse && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Search(found.Text(), pattern, recurse);
    } else if (Add(found) != kStatusOk) {
      result = kStatusNoMemory;
      break;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return result;
}
