// The Add/Remove Programs entry that the install sequence writes and the uninstall pass removes.
#include "install/uninstall_entry.h"

#include "base/debug_channel.h"
#include "base/scoped.h"
#include "sys/registry.h"

bool BuildUninstallerPath(const char* privateFolder, HeapString* out) {
  return out->Assign(privateFolder ? privateFolder : "") && out->Append("Uninstaller.exe");
}

bool BuildUninstallCommand(const char* privateFolder, const char* uninstallUrl, HeapString* out) {
  if (!out->Assign("\"") || !out->Append(privateFolder ? privateFolder : "") ||
      !out->Append("Uninstaller.exe\" /u /k")) {
    return false;
  }
  if (uninstallUrl && *uninstallUrl) {
    if (!out->Append(" /url \"") || !out->Append(uninstallUrl) || !out->Append("\"")) return false;
  }
  return true;
}

bool WriteUninstallEntry(const UninstallEntry& entry) {
  if (!entry.productName || !*entry.productName || !entry.privateFolder || !*entry.privateFolder) {
    return false;
  }
  HeapString command;
  HeapString uninstaller;
  if (!BuildUninstallCommand(entry.privateFolder, entry.uninstallUrl, &command) ||
      !BuildUninstallerPath(entry.privateFolder, &uninstaller)) {
    return false;
  }
  ScopedRegKey uninstallKey;
  if (uninstallKey.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
  ScopedRegKey productKey;
  if (productKey.Create(uninstallKey.Get(), entry.productName, 0xF003F) != ERROR_SUCCESS) return false;
  productKey.SetText("DisplayName", entry.productName);
  productKey.SetText("UninstallString", command.Text());
  if (entry.version && *entry.version) productKey.SetText("DisplayVersion", entry.version);
  if (entry.vendor && *entry.vendor) productKey.SetText("Publisher", entry.vendor);
  productKey.SetText("DisplayIcon", uninstaller.Text());
  productKey.SetText("InstallLocation", entry.privateFolder);
  productKey.SetDword("NoModify", 1);
  productKey.SetDword("NoRepair", 1);
  return true;
}
