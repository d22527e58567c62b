// Folder deployment: copying the package's folder trees into place with one silent shell copy
// each, carrying an old selector database over, and re-copying folders that went missing.
#include <shlobj.h>
#include <shellapi.h>
#include <string.h>

#include "base/debug_channel.h"
#include "install/installer.h"
#include "sys/path_tests.h"
#include "sys/registry.h"

namespace {

// The shell copy's file lists are single names in 260-byte buffers that end with two NULs.
const size_t kMaxListedFolder = kPathBufferSize - 2;
const char kAllFiles[] = "\\*.*";
const DWORD kSilentCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;

// Folder texts that cannot be handed to the ANSI file functions in one piece.
bool IsUsablePath(const char* path) { return strlen(path) < kPathBufferSize; }

// The shell may report success for a copy that left files in use unreplaced: every file of the
// source tree must now be in the destination with the source's size and time.
bool IsTreeCopied(const HeapString& source, const HeapString& destination) {
  HeapString pattern;
  if (!pattern.Assign(source.Text()) || !pattern.Append(kAllFiles)) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.Text(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool copied = true;
  do {
    if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
    HeapString from;
    HeapString to;
    if (!from.Assign(source.Text()) || !from.Append("\\") || !from.Append(found.cFileName) ||
        !to.Assign(destination.Text()) || !to.Append("\\") || !to.Append(found.cFileName) ||
        !IsUsablePath(from.Text()) || !IsUsablePath(to.Text())) {
      copied = false;
      break;
    }
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      copied = IsTreeCopied(from, to);
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA target;
    if (!GetFileAttributesExA(to.Text(), GetFileExInfoStandard, &target) || target.nFileSizeLow != found.nFileSizeLow ||
        target.nFileSizeHigh != found.nFileSizeHigh ||
        CompareFileTime(&target.ftLastWriteTime, &found.ftLastWriteTime) != 0) {
      LogError("The copy left this file unreplaced: ", to.Text());
      copied = false;
    }
  } while (copied && FindNextFileA(search, &found));
  FindClose(search);
  return copied;
}

// The destination without its closing backslash, for joining names to it.
bool FolderWithoutSeparator(const char* folder, HeapString* out) {
  if (!out->Assign(folder)) return false;
  int length = out->Length();
  while (length > 0 && (out->Text()[length - 1] == '\\' || out->Text()[length - 1] == '/')) --length;
  return out->Truncate(length);
}

// The last path element of a skin with every ".skin" removed: "ThemesV3\Blue\Blue.skin" is Blue.
bool SkinName(const HeapString& skin, HeapString* out) {
  const char* text = skin.Text();
  const char* name = text;
  for (const char* p = text; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return out->Assign(name) && out->RemoveAll(".skin");
}

struct CopyTexts {
  const char* packageFolder;
  const char* nothingFound;
  const char* noFolder;
  const char* copyFailed;
};

const CopyTexts kRuntimeAllUsersData = {
    "Runtime\\AllUsersData", "No runtime all users data files found to install.",
    "Failed to obtain the runtime all users data folder from the system info module.",
    "Failed to copy runtime all users data folder from the system info module."};
const CopyTexts kRuntimeProgramFiles = {
    "Runtime\\ProgFiles", "No runtime program files found to install.",
    "Failed to obtain the runtime program files folder from the system info module.",
    "Failed to copy runtime program files folder."};
const CopyTexts kPrivateProgramFiles = {
    "Vendor\\ProgFiles", "No private program files found to install.",
    "Failed to obtain the private program files folder from the system info module.",
    "Failed to copy private program files folder from the system info module."};
const CopyTexts kPrivateAllUsersData = {
    "Vendor\\AllUsersData", "No private all users data files found to install.",
    "Failed to obtain the private all users data folder from the system info module.",
    "Failed to copy the private all users data folder."};

enum FolderQuery { kProgramFilesQuery, kAllUsersDataQuery };

long QueryFolder(SystemInfo* systemInfo, FolderQuery query, int kind, HeapString* out) {
  return query == kProgramFilesQuery ? systemInfo->GetProgramFilesFolder(kind, out)
                                     : systemInfo->GetAllUsersDataFolder(kind, out);
}

// The common steps of the four copy operations; destination receives the folder copied to.
Status CopyPackageFolder(SystemInfo* systemInfo, const CopyTexts& texts, FolderQuery query, int kind, bool needsVendor,
                         HeapString* destination) {
  if (!IsExistingDirectory(texts.packageFolder)) {
    LogInfo(texts.nothingFound);
    return kStatusPackageFolderMissing;
  }
  if (!systemInfo) return kStatusFailed;
  if (QueryFolder(systemInfo, query, kind, destination) < 0) {
    LogError(texts.noFolder);
    return kStatusFailed;
  }
  if (needsVendor) {
    HeapString vendor;
    if (systemInfo->GetVendorName(&vendor) < 0) {
      LogError("Failed to obtain the vendor name from the system info module.");
      return kStatusFailed;
    }
  }
  if (FolderCopy(texts.packageFolder, destination->Text()) != 0) {
    LogError(texts.copyFailed);
    return kStatusFailed;
  }
  return kStatusOk;
}

}  // namespace

int FolderCopy(const char* packageFolder, const char* destination) {
  if (!packageFolder || !destination || !*packageFolder || !*destination) {
    LogError("Refusing to copy a folder: the package folder or the destination is empty.");
    return ERROR_INVALID_PARAMETER;
  }
  size_t packageLength = strlen(packageFolder);
  size_t destinationLength = strlen(destination);
  if (packageLength + strlen(kAllFiles) > kMaxListedFolder || destinationLength > kMaxListedFolder) {
    // A cut text would name another folder: refuse rather than copy to the wrong place.
    LogMessage(kLogError)
        .Text("Refusing to copy ")
        .Text(packageFolder)
        .Text(" to ")
        .Text(destination)
        .Text(": a folder text is too long (")
        .Unsigned(static_cast<unsigned long>(packageLength))
        .Text(" and ")
        .Unsigned(static_cast<unsigned long>(destinationLength))
        .Text(" characters; the copy takes at most ")
        .Unsigned(kMaxListedFolder)
        .Text(" with the file pattern)");
    return ERROR_FILENAME_EXCED_RANGE;
  }

  char from[kPathBufferSize] = {};
  char to[kPathBufferSize] = {};
  memcpy(from, packageFolder, packageLength);
  memcpy(from + packageLength, kAllFiles, strlen(kAllFiles));
  memcpy(to, destination, destinationLength);

  SHFILEOPSTRUCTA operation = {};
  operation.hwnd = nullptr;
  operation.wFunc = FO_COPY;
  operation.pFrom = from;
  operation.pTo = to;
  operation.fFlags = static_cast<FILEOP_FLAGS>(kSilentCopyFlags);
  operation.lpszProgressTitle = "";
  int result = SHFileOperationA(&operation);
  if (result != 0) {
    LogMessage(kLogError)
        .Text("The shell copy of ")
        .Text(packageFolder)
        .Text(" to ")
        .Text(destination)
        .Text(" failed with ")
        .Signed(result);
    return result;
  }

  HeapString source;
  HeapString target;
  if (!FolderWithoutSeparator(packageFolder, &source) || !FolderWithoutSeparator(destination, &target) ||
      !IsTreeCopied(source, target)) {
    LogError("The shell copy reported success but the destination does not match ", packageFolder);
    return ERROR_SHARING_VIOLATION;
  }
  return 0;
}

Status Installer::CopyRuntimeAllUsersData() {
  HeapString destination;
  return CopyPackageFolder(m_systemInfo, kRuntimeAllUsersData, kAllUsersDataQuery, kFolderRuntimeCopy, false,
                           &destination);
}

Status Installer::CopyRuntimeProgramFiles() {
  HeapString destination;
  return CopyPackageFolder(m_systemInfo, kRuntimeProgramFiles, kProgramFilesQuery, kFolderRuntimeCopy, false,
                           &destination);
}

Status Installer::CopyPrivateProgramFiles() {
  HeapString destination;
  return CopyPackageFolder(m_systemInfo, kPrivateProgramFiles, kProgramFilesQuery, kFolderPrivateCopy, true,
                           &destination);
}

Status Installer::CopyPrivateAllUsersData() {
  HeapString destination;
  return CopyPackageFolder(m_systemInfo, kPrivateAllUsersData, kAllUsersDataQuery, kFolderPrivateCopy, false,
                           &destination);
}

namespace {

// An earlier toolbar generation kept the user's selectors in the application data folder; the
// new toolbar keeps one database per skin in its private user data folder.
void MigrateSelectorDatabase(SystemInfo* systemInfo, const HeapString& skin) {
  static const char* const kOldFolders[] = {"Nimbrel\\TollixV35\\", "Nimbrel\\Tollix\\"};
  HeapString appData;
  if (GetAppDataFolder(false, &appData) < 0) {
    LogInfo("There is no old installation of Tollix");
    return;
  }
  HeapString oldFile;
  bool found = false;
  for (const char* folder : kOldFolders) {
    if (!oldFile.Assign(appData.Text()) || !oldFile.Append(folder)) return;
    if (IsExistingDirectory(oldFile.Text())) {
      found = true;
      break;
    }
  }
  if (!found) {
    LogInfo("There is no old installation of Tollix");
    return;
  }
  if (!oldFile.Append("Selectors.dat")) return;
  LogInfo("Found old installation of Tollix");
  if (!IsExistingFile(oldFile.Text())) {
    LogError("Old tollix database directory exists but Selectors.dat file is missing");
    return;
  }
  if (skin.IsEmpty()) {
    LogError("Skin to select is empty will not copy the selectors.dat file");
    return;
  }
  HeapString newFile;
  HeapString skinName;
  if (systemInfo->GetUserDataFolder(kFolderPrivateCopy, &newFile) < 0 || newFile.IsEmpty()) {
    // Without its folder the new name would land in the package's working folder.
    LogError("Failed to obtain the private current user data folder from the system info module.");
    return;
  }
  if (!SkinName(skin, &skinName) || !newFile.Append("Selectors_") || !newFile.Append(skinName) ||
      !newFile.Append(".dat"))
    return;
  // The new toolbar's user folder usually does not exist yet at install time.
  HeapString folder;
  if (FolderWithoutSeparator(newFile.Text(), &folder)) {
    int cut = folder.Length();
    while (cut > 0 && folder.Text()[cut - 1] != '\\') --cut;
    if (cut > 0 && folder.Truncate(cut) && !IsExistingDirectory(folder.Text()))
      SHCreateDirectoryExA(nullptr, folder.Text(), nullptr);
  }
  if (!CopyFileA(oldFile.Text(), newFile.Text(), FALSE)) {
    LogError("failed to copy old selectos.dat file to new location during upgrade");
  }
}

}  // namespace

Status Installer::InstallPrivateAllUsersData() {
  HeapString destination;
  Status status = CopyPackageFolder(m_systemInfo, kPrivateAllUsersData, kAllUsersDataQuery, kFolderPrivateCopy, false,
                                    &destination);
  if (status != kStatusOk) return status;
  if (m_snaporaBranded && FolderCopy("Snapora\\AllUsersData", destination.Text()) != 0) {
    LogError("Failed to copy the snapora all users data folder.");
    return kStatusFailed;
  }
  if (!m_vendor.IsEmpty() && IsMakerVendor(m_vendor)) MigrateSelectorDatabase(m_systemInfo, m_skin);
  return kStatusOk;
}

Status Installer::InstallMissingFolders() {
  if (m_previousProductVersion != m_productVersion) return kStatusFailed;
  if (InstallPrivateProgramFilesIfMissing() < 0)
    LogInfo("Private Prog files not needed to install!");
  else
    LogInfo("Private Prog Files needed to install!");
  if (InstallRuntimeProgramFilesIfMissing() < 0)
    LogInfo("Runtime Prog files not needed to install!");
  else
    LogInfo("Runtime Prog Files needed to install!");
  if (InstallAllUsersDataIfMissing() < 0)
    LogInfo("All User files not needed to install!");
  else
    LogInfo("All User Files needed to install!");
  return kStatusOk;
}

namespace {

// Whether the folder of this kind is missing and must be copied again; -1 when it is there or
// cannot be named.
Status TestMissingFolder(SystemInfo* systemInfo, FolderQuery query, int kind, const char* noFolder) {
  HeapString folder;
  if (!systemInfo || QueryFolder(systemInfo, query, kind, &folder) < 0) {
    LogError(noFolder);
    return kStatusFailed;
  }
  LogInfo("The directory is at the following location: ", folder.Text());
  if (GetFileAttributesA(folder.Text()) != INVALID_FILE_ATTRIBUTES) return kStatusFailed;
  return kStatusOk;
}

void LogStepResult(Status status) { LogInfo(status < 0 ? "Failed!" : "Success!"); }

}  // namespace

Status Installer::InstallPrivateProgramFilesIfMissing() {
  if (TestMissingFolder(m_systemInfo, kProgramFilesQuery, kFolderPrivate, kPrivateProgramFiles.noFolder) < 0)
    return kStatusFailed;
  LogStepResult(CopyPrivateProgramFiles());
  return kStatusOk;
}

Status Installer::InstallRuntimeProgramFilesIfMissing() {
  if (TestMissingFolder(m_systemInfo, kProgramFilesQuery, kFolderRuntime, kRuntimeProgramFiles.noFolder) < 0)
    return kStatusFailed;
  LogStepResult(CopyRuntimeProgramFiles());
  return kStatusOk;
}

Status Installer::InstallAllUsersDataIfMissing() {
  if (TestMissingFolder(m_systemInfo, kAllUsersDataQuery, kFolderPrivate,
                        "Failed to obtain the private all users files from the system info module.") < 0)
    return kStatusFailed;
  LogStepResult(CopyPrivateAllUsersData());
  LogStepResult(SelectSkin());
  return kStatusOk;
}
