// Autoplay and still-image event registrations of the photo device-connect program.
#include "extras/autoplay.h"

bool RegisterAutoplayHandler(const char*) { return false; }
bool RegisterStillImageHandler(const char*) { return false; }
bool UnregisterAutoplayHandler() { return true; }
bool UnregisterStillImageHandler() { return true; }
