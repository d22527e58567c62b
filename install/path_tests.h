// Path tests on file attributes, shared by the install, extras and file removal code.
#pragma once

bool IsExistingFile(const char* path);       // attributes readable and not a folder
bool IsExistingDirectory(const char* path);  // attributes readable and a folder
// The last period after the last slash, backslash or colon, or the terminating NUL when there
// is none; null for a null or empty path.
const char* FindExtension(const char* path);
