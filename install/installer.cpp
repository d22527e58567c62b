// Installer: the install pass object's construction, its shared names and set-up.
#include "install/installer.h"

#include <string.h>

#include "base/debug_channel.h"

const char kDefaultInstallId[] = "Default_InstallID";
const char kDefaultBarType[] = "Default_BarType";
const char kDefaultSkin[] = "ThemesV3\\Default\\Default.skin";
const char kMakerVendor[] = "nimbrel";
const char kArvoInstallId[] = "ARVO_TheARVO_1_0_0";
const char kToolbarRuntimeListKey[] = "Software\\Nimbrel\\Toolbar Runtime";

bool IsMakerVendor(const HeapString& vendor) {
  return lstrcmpiA(vendor.Text(), kMakerVendor) == 0;
}

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
      m_silent(false) {}

Installer::~Installer() {
  m_vendor.Clear();
  m_skin.Clear();
  m_barType.Clear();
  m_installId.Clear();
  m_previousSkin.Clear();
  m_previousTollixId.Clear();
  m_previousInstallId.Clear();
}
