// Handing this package's uninstaller to another toolbar on the runtime, so that its
// Add/Remove Programs entry goes on working after the runtime is replaced.
#include <windows.h>
#include <shellapi.h>
#include <string.h>

#include "base/debug_channel.h"
#include "base/heap_string.h"
#include "base/status.h"
#include "sys/path_tests.h"
#include "uninstall/uninstaller.h"

namespace {

const char kPackageUninstallerFolder[] = "Vendor\\ProgFiles";
const char kPackageUninstaller[] = "Vendor\\ProgFiles\\Uninstaller.exe";

}  // namespace

Status Uninstaller::ReplaceUninstaller() {
  HeapString productName;
  if (!m_systemInfo || m_systemInfo->GetProductName(&productName) < 0)
    LogInfo("Failed to obtain product name from system info object.");
  LogInfo("Product name is: ", productName.Text());

  HeapString privateFolder;
  if (!m_systemInfo || m_systemInfo->GetProgramFilesFolder(kFolderPrivateCopy, &privateFolder) < 0) {
    LogError("Failed to obtain the private program files folder from the system info module.");
    return kStatusFailed;
  }
  if (!IsExistingDirectory(kPackageUninstallerFolder)) {
    LogInfo("No private program files found to replace.");
    return kStatusPackageFolderMissing;
  }

  // The shell wants full paths in double-NUL terminated lists.
  char from[kPathBufferSize] = {};
  char to[kPathBufferSize] = {};
  DWORD length = GetFullPathNameA(kPackageUninstaller, kPathBufferSize - 1, from, nullptr);
  const size_t destinationLength = strlen(privateFolder.Text());
  if (length == 0 || length >= kPathBufferSize - 1 || destinationLength >= kPathBufferSize - 1) {
    LogError("Failed to copy private program files folder from the system info module.");
    return kStatusFailed;
  }
  memcpy(to, privateFolder.Text(), destinationLength);

  SHFILEOPSTRUCTA operation = {};
  operation.wFunc = FO_COPY;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  operation.lpszProgressTitle = "";
  int result = SHFileOperationA(&operation);

  // The shell can report success for a copy it did not make; the file must be there.
  HeapString copied;
  bool present =
      copied.Assign(privateFolder.Text()) && copied.Append("Uninstaller.exe") && IsExistingFile(copied.Text());
  if (result != 0 || operation.fAnyOperationsAborted || !present) {
    LogMessage(kLogError)
        .Text("Failed to copy private program files folder from the system info module.")
        .Text(" (")
        .Signed(result)
        .Text(")");
    return kStatusFailed;
  }
  return kStatusOk;
}
