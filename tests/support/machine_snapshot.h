// A picture of what the installer and the uninstaller may touch on this machine: the sample
// editions' folders with every file's size and checksum, their registry keys and values, the
// Add/Remove Programs entries, the class registrations of the sample's class ids, the Run and
// RunOnce values and the deletions scheduled for the next start. Two pictures are compared and
// their difference reported in words, so a test can say "the same as after an uninterrupted run".
//
// What legitimately differs from run to run is left out: the data of time values
// ("InstallDate", "UninstallDate", "Updated": only their presence and type count), the numbers
// in the "del*.tmp" names given to what is scheduled for deletion, the debugger settings the
// tests themselves write, and what the next start deletes anyway (a scheduled path is listed as
// scheduled, not by its contents).
#pragma once

#include <map>
#include <string>

class MachineSnapshot {
 public:
  // Takes the picture now.
  static MachineSnapshot Take();

  // One line per difference, each naming the item and both states; empty when equal.
  // The names say which state is which ("uninterrupted", "ended and run again").
  std::string DifferenceFrom(const MachineSnapshot& expected, const std::string& expectedName,
                             const std::string& actualName) const;

  bool Contains(const std::string& item) const { return m_items.count(item) != 0; }
  // Leaves an item out of the picture (a known difference a table names and explains).
  void Forget(const std::string& item) { m_items.erase(item); }
  const std::map<std::string, std::string>& Items() const { return m_items; }

 private:
  // "file C:\...", "folder C:\...", "key HKLM\...", "value HKLM\...\[name]", "scheduled C:\..."
  // mapped to their state (a file's size and checksum, a value's type and data).
  std::map<std::string, std::string> m_items;
};

// Deletes the class registrations of the sample's class ids and prog ids.
void ForgetSampleClassRegistrations();
// Deletions scheduled for the next start whose path lies in one of the sample editions'
// folders are dropped (other tests' scheduled deletions stay), so a table starts clean.
void ForgetScheduledSampleDeletions();
