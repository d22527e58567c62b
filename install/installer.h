// Installer: the object one install pass works on. Initialize fills it; every install and
// upgrade step is a member that reads its fields.
#pragma once

#include "base/scoped.h"
#include "install/product_session.h"

// Fixed names that several steps share.
extern const char kDefaultInstallId[];  // "Default_InstallID"
extern const char kDefaultBarType[];    // "Default_BarType"
extern const char kDefaultSkin[];       // "ThemesV3\Default\Default.skin"
extern const char kMakerVendor[];       // "nimbrel", compared without regard to case
extern const char kArvoInstallId[];     // "ARVO_TheARVO_1_0_0"
// REG_DWORD beside the product's "Version": the version whose install sequence began and whose
// install run has not yet ended with success. The run's last step deletes it.
extern const char kUnfinishedInstallValue[];  // "InstallUnfinished"

bool IsMakerVendor(const HeapString& vendor);

class Installer : public ProductSession {
 public:
  Installer();
  ~Installer() override;

  // Set-up: 0 ready, 1 the user declined to close Internet Explorer, negative failure.
  Status Initialize(const char* modulePath, const char* arguments);
  Status ReadPreviousInstallId();
  Status ReadPreviousTollixId();

  // Skin selection.
  Status FindPreviousSkin();
  Status SelectSkin();

  // Folder deployment: 0 copied, 1 the package folder is not there, -1 failure.
  Status CopyRuntimeAllUsersData();
  Status CopyRuntimeProgramFiles();
  Status CopyPrivateProgramFiles();
  Status CopyPrivateAllUsersData();
  Status InstallPrivateAllUsersData();
  Status InstallMissingFolders();
  Status InstallPrivateProgramFilesIfMissing();
  Status InstallRuntimeProgramFilesIfMissing();
  Status InstallAllUsersDataIfMissing();

  // Registry records.
  Status WriteRuntimeRegistryRecords();
  Status WritePrivateRegistryRecords();

  // Component registration.
  Status RegisterComponents();

  // The install sequence: 0 done, 1 same or newer product installed, negative failure.
  Status Install();
  // The product key that holds the unfinished-install mark, opened for the driver to delete
  // the mark once the whole run has succeeded.
  Status OpenUnfinishedInstallMark(ScopedRegKey* key);

  bool m_snaporaBranded;
  DWORD m_previousRuntimeVersion;
  DWORD m_previousProductVersion;
  HeapString m_previousInstallId;
  HeapString m_previousTollixId;
  HeapString m_previousSkin;
  DWORD m_runtimeVersion;
  DWORD m_productVersion;
  HeapString m_installId;
  HeapString m_barType;
  HeapString m_skin;
  bool m_usePersonalization;
  bool m_noAutoplay;
  HeapString m_vendor;
  bool m_silent;
  // The installed version's install run was ended before it finished (its mark is there).
  bool m_previousInstallUnfinished;
};

// Rewrites string 10002 of the module file's string table block 626 (US English).
Status SetRuntimeVersionResource(const char* modulePath, const HeapString& version);
// The dotted text of a packed version (0x030501FF gives 3.5.1.255); 0 gives an empty text.
bool FormatDottedVersion(DWORD version, HeapString* out);
// One silent shell copy of "<packageFolder>\*.*" into the destination folder; the shell's result.
int FolderCopy(const char* packageFolder, const char* destination);
