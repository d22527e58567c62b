// Install mode. The two install passes arrive with the install sequence and upgrade handling.
#include "base/debug_channel.h"
#include "base/status.h"
#include "entry/program.h"

long InstallDriver(const char* /*commandLine*/) {
  LogError("The install driver is not available in this build.");
  return kStatusFailed;
}
