// Installer: the install pass object's construction, its shared names and set-up.
#include "install/installer.h"

#include <string.h>

#include "base/debug_channel.h"
#include "sys/options.h"
#include "sys/process_scanner.h"
#include "sys/registry.h"

const char kDefaultInstallId[] = "Default_InstallID";
const char kDefaultBarType[] = "Default_BarType";
const char kDefaultSkin[] = "ThemesV3\\Default\\Default.skin";
const char kMakerVendor[] = "nimbrel";
const char kArvoInstallId[] = "ARVO_TheARVO_1_0_0";
const char kUnfinishedInstallValue[] = "InstallUnfinished";

bool IsMakerVendor(const HeapString& vendor) { return lstrcmpiA(vendor.Text(), kMakerVendor) == 0; }

Installer::Installer()
    : m_snaporaBranded(false),
      m_previousRuntimeVersion(0),
      m_previousProductVersion(0),
      m_runtimeVersion(0),
      m_productVersion(0),
      m_installId(kDefaultInstallId),
      m_barType(kDefaultBarType),
      m_skin(kDefaultSkin),
      m_usePersonalization(false),
      m_noAutoplay(false),
      m_silent(false),
      m_previousInstallUnfinished(false) {}

Installer::~Installer() {
  m_vendor.Clear();
  m_skin.Clear();
  m_barType.Clear();
  m_installId.Clear();
  m_previousSkin.Clear();
  m_previousTollixId.Clear();
  m_previousInstallId.Clear();
}

namespace {

const char kArvoRefusalText[] = "Please uninstall the previous Arvo toolbar, then run this installer again.";
const char kArvoRefusalCaption[] = "Unsupported Upgrade.";
// Arvo editions before 1.0.0.74 cannot be upgraded in place.
const DWORD kFirstUpgradableArvoVersion = 0x0100004A;
const DWORD kSnaporaBrandedRuntime = 0x03050100;  // any 3.5.1.x
const DWORD kBrandingValueRuntime = 0x03060000;   // later runtimes record the branding

// The installed "Version" values: a missing value means nothing installed.
Status ReadInstalledVersion(SystemInfo* systemInfo, int kind, DWORD* out) {
  DWORD version = 0;
  long status = systemInfo->QueryRegDword(kind, HKEY_LOCAL_MACHINE, 0, "Version", &version);
  if (status == kStatusValueMissing) return kStatusOk;
  if (status < 0) return kStatusFailed;
  *out = version;
  return kStatusOk;
}

void LogFlag(const char* label, bool flag) { LogInfo(label, flag ? "yes" : "no"); }

void LogVersion(const char* label, DWORD version) { LogMessage(kLogInfo).Text(label).Unsigned(version); }

}  // namespace

Status Installer::Initialize(const char* modulePath, const char* arguments) {
  if (!arguments) arguments = "";
  m_silent = FindOption(arguments, "/S", false);
  if (!m_silent) {
    ProcessScanner scanner;
    scanner.ScanProcesses(this);
    if (m_mayCloseBrowser == 0) return kStatusCancelled;
  }

  LogInfo("Initializing using ", modulePath ? modulePath : "");
  Status status = LoadSystemInfo(modulePath, arguments);
  if (status < 0) return status;

  status = m_systemInfo->GetVendorName(&m_vendor);
  if (status < 0) return status;
  status = m_systemInfo->GetRuntimeVersion(&m_runtimeVersion);
  if (status < 0) return status;
  status = m_systemInfo->GetProductVersion(&m_productVersion);
  if (status < 0) return status;

  status = ReadInstalledVersion(m_systemInfo, kKeyRuntimeRead, &m_previousRuntimeVersion);
  if (status < 0) return status;
  status = ReadInstalledVersion(m_systemInfo, kKeyProductRead, &m_previousProductVersion);
  if (status < 0) return status;
  // A run ended midway (a kill, a pulled plug) left its version's records without the rest of
  // the install; that version counts as installed only once a run has finished.
  DWORD unfinishedVersion = 0;
  m_previousInstallUnfinished = m_systemInfo->QueryRegDword(kKeyProductRead, HKEY_LOCAL_MACHINE, 0,
                                                            kUnfinishedInstallValue, &unfinishedVersion) >= 0;

  status = FindPreviousSkin();
  if (status < 0) return status;

  if (IsMakerVendor(m_vendor)) {
    // Before 3.6 the maker's toolbar kept its version only under the search bar keys.
    if (m_previousProductVersion == 0) {
      FindSearchBarDword("Version", &m_previousProductVersion);
      m_previousRuntimeVersion = m_previousProductVersion;
    }
    if ((m_previousRuntimeVersion & 0xFFFFFF00u) == kSnaporaBrandedRuntime) {
      m_snaporaBranded = true;
    } else if (m_previousRuntimeVersion > kBrandingValueRuntime) {
      DWORD branded = 0;
      m_systemInfo->QueryRegDword(kKeyProductRead, HKEY_LOCAL_MACHINE, 0, "SnaporaBranded", &branded);
      m_snaporaBranded = branded != 0;
    }
  }

  status = ReadPreviousInstallId();
  if (status < 0) return status;
  status = ReadPreviousTollixId();
  if (status < 0) return status;

  // An option that is present keeps the default when its value cannot be stored whole.
  HeapString value;
  if (GetOptionValue(arguments, "/i", &value) && !m_installId.Swap(value)) return kStatusNoMemory;
  value.Clear();
  if (GetOptionValue(arguments, "/bt", &value) && !m_barType.Swap(value)) return kStatusNoMemory;
  value.Clear();
  if (GetOptionValue(arguments, "/sk", &value) && !m_skin.Swap(value)) return kStatusNoMemory;
  m_usePersonalization = FindOption(arguments, "/personalization", false);
  m_noAutoplay = FindOption(arguments, "/NoAutoplay", false);

  LogInfo("Installer initialized ...");
  LogInfo("--- Vendor: ", m_vendor.Text());
  LogInfo("--- InstallID: ", m_installId.Text());
  LogInfo("--- BarType: ", m_barType.Text());
  LogInfo("--- Skin to select: ", m_skin.Text());
  LogFlag("--- Use Personalization: ", m_usePersonalization);
  LogFlag("--- Disable Autoplay: ", m_noAutoplay);
  LogVersion("--- Runtime Version: ", m_runtimeVersion);
  LogVersion("--- Product Version: ", m_productVersion);
  LogVersion("--- Previous Runtime Version: ", m_previousRuntimeVersion);
  LogVersion("--- Previous Product Version: ", m_previousProductVersion);
  if (m_previousInstallUnfinished) LogVersion("--- Unfinished install of version: ", unfinishedVersion);

  if (!m_installId.IsEmpty() && strstr(m_installId.Text(), kArvoInstallId) && m_previousProductVersion > 0 &&
      m_previousProductVersion < kFirstUpgradableArvoVersion) {
    AskYesNo(kArvoRefusalText, kArvoRefusalCaption, MB_TASKMODAL | MB_OK);
    return kStatusFailed;
  }
  return kStatusOk;
}

Status Installer::ReadPreviousInstallId() {
  if (GetOptionValue(m_arguments.Text(), "/fi")) return kStatusOk;
  if (!m_systemInfo) return kStatusFailed;
  long status = m_systemInfo->QueryRegString(kKeyPrivateRead, HKEY_LOCAL_MACHINE, 0, "InstallID", &m_previousInstallId);
  if (status == kStatusValueMissing) {
    if (IsMakerVendor(m_vendor)) {
      status = FindToolbarString("InstallID", &m_previousInstallId);
      if (status < 0) return status;
    }
    return kStatusOk;
  }
  return status < 0 ? status : kStatusOk;
}

Status Installer::ReadPreviousTollixId() {
  LogDetail("Caching any previous TollixID ...");
  if (!m_systemInfo) return kStatusFailed;
  long status = m_systemInfo->QueryRegString(kKeyPrivateRead, HKEY_LOCAL_MACHINE, 0, "TollixID", &m_previousTollixId);
  if (status == kStatusValueMissing) {
    if (IsMakerVendor(m_vendor)) {
      LogDetail("Trying for a pre-3.6 TollixID ...");
      status = FindToolbarString("TollixID", &m_previousTollixId);
      if (status < 0) return status;
    }
    return kStatusOk;
  }
  return status < 0 ? status : kStatusOk;
}
