// The one check every deletion of files and folders passes: paths come from edition modules and
// the registry, and the installer runs as administrator, so a folder is removed only when it is
// a full path below a drive or share root that neither is nor holds one of the system's own
// folders (Windows, Program Files, the profiles and their application data, and the like).
#pragma once

#include <stddef.h>

enum RemovalVerdict {
  kRemovalAllowed = 0,
  kRefusedEmpty,
  kRefusedNotAbsolute,   // relative, "C:x", "\x", or a device path ("\\?\", "\\.\")
  kRefusedRoot,          // "C:\", "\\server\share\"
  kRefusedDotComponent,  // "." or ".." (or only dots and spaces) anywhere in the path
  kRefusedTooLong,
  kRefusedShellFolder,  // equal to or above one of the system's own folders
};

// "C:\..." or "\\server\share..." (not a device path). Pure.
bool IsPlainAbsolutePath(const char* path);

// What the text of a path alone says about removing it. Pure.
RemovalVerdict JudgeRemovalText(const char* path);

// True when folder is the same folder as path or lies below it, comparing as Windows names
// compare: either slash, repeated and trailing separators, trailing dots and spaces of a name
// and letter case do not count. Both are full paths. Pure.
bool IsSameOrAbove(const char* path, const char* folder);

// The whole verdict, with short names expanded and the machine's own folders collected now.
// For kRefusedShellFolder, shellFolder (when given; shellFolderSize bytes) receives the folder
// that the path is or holds. Quiet.
RemovalVerdict JudgeRemoval(const char* path, char* shellFolder = nullptr, size_t shellFolderSize = 0);

// The guard in front of every removal: true when path may be removed; otherwise logs an error
// naming the path and the reason, and returns false.
bool CheckRemovablePath(const char* path);

// Why a verdict refuses, as a text for messages ("" for kRemovalAllowed).
const char* DescribeRemovalVerdict(RemovalVerdict verdict);
