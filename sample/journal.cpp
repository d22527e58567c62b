// The sample modules' call journal (see journal.h).
#include "sample/journal.h"

void JournalText(const char* module, const char* entry, const char* text) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("TOLLIX_SAMPLE_JOURNAL", path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  HeapString line;
  if (!line.Format("%s\t%s\t%s\r\n", module, entry, text)) return;
  // Several processes may write at once: append-only access keeps each line whole.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.Text(), static_cast<DWORD>(line.Length()), &written, nullptr);
  CloseHandle(file);
}

void JournalCall(const char* module, const char* entry, SystemInfo* systemInfo) {
  if (!systemInfo) {
    JournalText(module, entry, "null");
    return;
  }
  HeapString vendor;
  HeapString product;
  if (systemInfo->GetVendorName(&vendor) < 0) vendor.Assign("?");
  if (systemInfo->GetProductName(&product) < 0) product.Assign("?");
  HeapString text;
  if (!text.Format("%s\t%s", vendor.Text(), product.Text())) return;
  JournalText(module, entry, text.Text());
}
