// Status values shared by every step of the installer: 0 or above succeeds, below 0 fails.
#pragma once

typedef long Status;

const Status kStatusOk = 0;
// 1 says the run did not go on, for one of several reasons; each has its name.
const Status kStatusCancelled = 1;             // the user declined
const Status kStatusNothingToDo = 1;           // the same or a newer product is installed
const Status kStatusPackageFolderMissing = 1;  // the package holds no such folder
const Status kStatusAlreadyRunning = 1;        // another installer or uninstaller is active
const Status kStatusFailed = -1;
const Status kStatusValueMissing = -43;    // a SystemInfo registry value does not exist
const Status kStatusPathTooLong = -44;     // a path does not fit its 260-byte buffer
const Status kStatusFileNotDeleted = -44;  // a file could not be deleted (nor scheduled)
const Status kStatusMissingArgument = -50;
const Status kStatusNoMemory = -108;  // a string could not be stored
const Status kStatusMoveFailed = -1001;

// Paths are narrow texts of at most this many bytes, terminator included.
const int kPathBufferSize = 260;
