// Install registry records: when and which runtime and toolbar were installed, and the
// toolbar's identity, for later runs and the uninstaller to read back.
#include <string.h>
#include <time.h>

#include "base/debug_channel.h"
#include "base/scoped.h"
#include "install/installer.h"
#include "sys/registry.h"

namespace {

DWORD InstallTime() { return static_cast<DWORD>(time(nullptr)); }

long OpenProductKey(SystemInfo* systemInfo, int kind, ScopedRegKey* key) {
  HKEY opened = nullptr;
  long status = systemInfo->OpenRegKey(kind, HKEY_LOCAL_MACHINE, 0, kProductKeyAccess, &opened);
  if (status >= 0 && !opened) status = kStatusFailed;
  // What a failing module left in the out-parameter is not a key of ours to close.
  if (status < 0) return status;
  key->Reset(opened);
  return kStatusOk;
}

}  // namespace

Status Installer::WriteRuntimeRegistryRecords() {
  if (!m_systemInfo) return kStatusFailed;
  ScopedRegKey key;
  long status = OpenProductKey(m_systemInfo, kKeyRuntimeVersioned, &key);
  if (status < 0) {
    LogError("Failed to open the version dependent runtime toolbar registry key.");
    return status;
  }
  key.SetDword("InstallDate", InstallTime());
  RegDeleteValueA(key.Get(), kUninstallDateValue);
  key.Close();

  status = OpenProductKey(m_systemInfo, kKeyRuntime, &key);
  if (status < 0) {
    LogError("Failed to open the version independent runtime toolbar registry key.");
    return status;
  }
  key.SetDword("Version", m_runtimeVersion);
  return kStatusOk;
}

Status Installer::WritePrivateRegistryRecords() {
  if (!m_systemInfo) return kStatusFailed;
  HeapString folder;
  long status = m_systemInfo->GetProgramFilesFolder(kFolderPrivate, &folder);
  if (status < 0) {
    LogError("Failed to obtain the private program files folder from the system info module.");
    return status;
  }
  ScopedRegKey key;
  status = OpenProductKey(m_systemInfo, kKeyPrivate, &key);
  if (status < 0) {
    LogError("Failed to open the private toolbar registry key.");
    return status;
  }
  DWORD now = InstallTime();
  key.SetDword("InstallDate", now);
  RegDeleteValueA(key.Get(), kUninstallDateValue);
  DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSearchBarV35Key, kUninstallDateValue);
  DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSearchBarKey, kUninstallDateValue);
  key.SetText(nullptr, folder.Text());
  key.SetText("BarType", m_barType.Text());
  key.SetText("InstallID", m_previousInstallId.IsEmpty() ? m_installId.Text() : m_previousInstallId.Text());
  if (!m_previousTollixId.IsEmpty()) key.SetText("TollixID", m_previousTollixId.Text());
  if (m_previousProductVersion != 0 && m_previousProductVersion < m_productVersion) key.SetDword("Updated", now);
  if (!m_skin.IsEmpty()) key.SetText("DefaultTheme", m_skin.Text());
  key.Close();

  status = OpenProductKey(m_systemInfo, kKeyProduct, &key);
  if (status < 0) {
    LogError("Failed to open the private toolbar registry key.");
    return status;
  }
  key.SetDword("Version", m_productVersion);
  if (m_snaporaBranded) key.SetDword("SnaporaBranded", m_productVersion);
  return kStatusOk;
}
