// The Add/Remove Programs entry that the install sequence writes and the uninstall pass removes.
#include "install/uninstall_entry.h"

#include "base/debug_channel.h"
#include "base/scoped.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void SetString(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(lstrlenA(text) + 1));
}

void SetDword(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace

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
  SetString(productKey.Get(), "DisplayName", entry.productName);
  SetString(productKey.Get(), "UninstallString", command.Text());
  if (entry.version && *entry.version) SetString(productKey.Get(), "DisplayVersion", entry.version);
  if (entry.vendor && *entry.vendor) SetString(productKey.Get(), "Publisher", entry.vendor);
  SetString(productKey.Get(), "DisplayIcon", uninstaller.Text());
  SetString(productKey.Get(), "InstallLocation", entry.privateFolder);
  SetDword(productKey.Get(), "NoModify", 1);
  SetDword(productKey.Get(), "NoRepair", 1);
  return true;
}
