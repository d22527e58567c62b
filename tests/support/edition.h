// Sample edition helpers for tests: its install package, copies of it, edition ini files, the
// runtime version string of a module file, the modules' call journal, and a loaded edition.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/system_info.h"

// Folder of the sample install package of the running build ("<build>\package\").
std::string SamplePackageDir();
// A path inside it, e.g. SamplePackagePath("Private\\Vendor\\ProgFiles\\TollixSystemInfo.dll").
std::string SamplePackagePath(const std::string& relative);

// Copies the folder tree "from" into "to" (made when missing); false if any file failed.
bool CopyTree(const std::string& from, const std::string& to);
// Copies the whole sample package (installer, "Private", "NimbrelUpdate") into a folder.
bool CopySamplePackage(const std::string& destination);

// An ini's values: section -> key -> value.
typedef std::map<std::string, std::map<std::string, std::string>> EditionValues;
// Give this as a value to PatchEditionIni to remove the key.
extern const char kRemoveEditionValue[];
// The values of the package's "Private" edition (Acme Toolbar), as its ini holds them.
EditionValues SampleEditionValues();
// Writes a new ini holding exactly these values.
bool WriteEditionIni(const std::string& path, const EditionValues& values);
// Sets (or, with kRemoveEditionValue, removes) the given values of an existing ini.
bool PatchEditionIni(const std::string& path, const EditionValues& values);

// Rewrites string 10002 (block 626, language 0x0409) of a module file, keeping the block's
// other fifteen entries as they are. The module must not be loaded.
bool SetModuleRuntimeVersion(const std::string& modulePath, const std::string& version);
// Makes a module file without block 626 (its resources are dropped as a whole).
bool RemoveVersionBlock(const std::string& modulePath);
// Reads a string of a module file's table (language 0x0409); false when the block is missing.
bool ReadModuleString(const std::string& modulePath, UINT id, std::string* text);
// All sixteen entries of block 626 of a module file.
bool ReadVersionBlock(const std::string& modulePath, std::vector<std::wstring>* entries);

// The journal the sample modules append to. The first call sets TOLLIX_SAMPLE_JOURNAL in
// this process (so in-process modules and every child started later use it).
// Machine state of both sample editions and their runtime: keys, Add/Remove Programs entries,
// RunOnce and folders, removed before and after a test.
void ForgetSampleInstalls();

std::string SampleJournalPath();
void ClearSampleJournal();
// The journal's lines, each "<module>\t<entry>\t<vendor>\t<product>" or "...\tnull", or for
// the device-connect program "SnaporaDeviceConnect.exe\tstart\t<arguments>".
std::vector<std::string> ReadSampleJournal();

// A system info module loaded in this process with its SystemInfo object; both go with it.
class LoadedEdition {
 public:
  explicit LoadedEdition(const std::string& modulePath);
  ~LoadedEdition();
  LoadedEdition(const LoadedEdition&) = delete;
  LoadedEdition& operator=(const LoadedEdition&) = delete;

  bool IsLoaded() const { return m_info != nullptr; }
  SystemInfo* Info() const { return m_info; }
  HMODULE Module() const { return m_module; }
  long FactoryStatus() const { return m_factoryStatus; }

 private:
  HMODULE m_module = nullptr;
  SystemInfo* m_info = nullptr;
  long m_factoryStatus = -1;
};
