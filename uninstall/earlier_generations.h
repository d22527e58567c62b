// Removal of the maker's earlier search bar generations: their in-process servers, data and
// program folders, registry keys and Add/Remove Programs entries.
#pragma once

#include <windows.h>

#include "base/status.h"

// Generations whose "Version" is below this one are earlier generations (3.5.1.255).
const DWORD kEarlierGenerationsVersion = 0x030501FF;

// 0 when nothing had to be done or every step succeeded; else the first negative status.
Status RemoveEarlierGenerations(DWORD version, bool deleteUserData);
Status UnregisterEarlierGenerationServers();
Status RemoveLegacyDataFolders(bool deleteUserData);
Status RemoveLegacyProgramFolders();
// Always 0: registry failures are not worth stopping an install for.
Status RemoveLegacyRegistryKeys();
// Empties the key (HKLM when hklm, else HKCU) down to one "UninstallDate" value; always 0.
Status ClearLegacyKey(bool hklm, const char* keyPath);
