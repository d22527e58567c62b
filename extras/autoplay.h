// Autoplay and still-image event registrations of the photo device-connect program.
#pragma once

// Each takes the extras folder (with or without a trailing backslash). Registration stops at
// the first key that cannot be made; removal runs every step and treats missing entries as
// removed.
bool RegisterAutoplayHandler(const char* folder);
bool RegisterStillImageHandler(const char* folder);
bool UnregisterAutoplayHandler();
bool UnregisterStillImageHandler();
