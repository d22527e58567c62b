// Status values shared by every step of the installer: 0 or above succeeds, below 0 fails.
#pragma once

typedef long Status;

const Status kStatusOk = 0;
const Status kStatusCancelled = 1;        // cancelled, nothing to do, or another run is active
const Status kStatusFailed = -1;
const Status kStatusValueMissing = -43;   // a SystemInfo registry value does not exist
const Status kStatusPathTooLong = -44;    // path too long, or a file was not deleted
const Status kStatusMissingArgument = -50;
const Status kStatusNoMemory = -108;      // a string could not be stored
const Status kStatusMoveFailed = -1001;

// Paths are narrow texts of at most this many bytes, terminator included.
const int kPathBufferSize = 260;
