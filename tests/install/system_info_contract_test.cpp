// The slot order of SystemInfo, read from the compiler's own encoding of its methods: every
// edition's module is built against this order, so a moved declaration must fail here.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include "base/system_info.h"

namespace {

// A pointer to a virtual method holds 1 plus the method's byte offset in the table (the ABI
// GCC uses on Windows too).
template <typename Method>
long SlotOf(Method method) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof method == sizeof representation, "a method pointer is two words");
  memcpy(&representation, &method, sizeof representation);
  if ((representation.pointer & 1) == 0) return -1;  // not virtual
  return static_cast<long>((representation.pointer - 1) / sizeof(void*));
}

}  // namespace

TEST(SystemInfoContract, SlotOrder) {
  const long slots[] = {
      SlotOf(&SystemInfo::AddRef),
      SlotOf(&SystemInfo::Release),
      SlotOf(&SystemInfo::GetRuntimeVendorKey),
      SlotOf(&SystemInfo::GetRuntimeKeyName),
      SlotOf(&SystemInfo::GetVendorName),
      SlotOf(&SystemInfo::GetProductName),
      SlotOf(&SystemInfo::GetProductVersionKey),
      SlotOf(&SystemInfo::GetProductVersion),
      SlotOf(&SystemInfo::GetToolbarClsid),
      SlotOf(&SystemInfo::GetActiveXClsid),
      SlotOf(&SystemInfo::GetBrowserHelperClsid),
      SlotOf(&SystemInfo::GetProgramFilesFolder),
      SlotOf(&SystemInfo::GetAllUsersDataFolder),
      SlotOf(&SystemInfo::GetUserDataFolder),
      SlotOf(&SystemInfo::OpenRegKey),
      SlotOf(&SystemInfo::QueryRegDword),
      SlotOf(&SystemInfo::QueryRegString),
      SlotOf(&SystemInfo::GetInstallId),
      SlotOf(&SystemInfo::GetRuntimeVersionKey),
      SlotOf(&SystemInfo::GetRuntimeVersion),
      SlotOf(&SystemInfo::SetRegDword),
  };
  for (long expected = 0; expected < static_cast<long>(sizeof slots / sizeof slots[0]); ++expected)
    EXPECT_EQ(expected, slots[expected]) << "method " << expected << " of the contract's table";
}
