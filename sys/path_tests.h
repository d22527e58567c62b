// Path tests on file attributes, shared by the install, extras and file removal code.
#pragma once

bool IsExistingFile(const char* path);       // attributes readable and not a folder
bool IsExistingDirectory(const char* path);  // attributes readable and a folder
