// The upgrade steps of an install pass: what it does about the installation already on the
// machine before it copies anything, and the toolbars it registers again afterwards.
#pragma once

#include "base/status.h"
#include "install/installer.h"

// 0 go on with the install (reregisterToolbars set when the runtime's toolbar list was gone
// through to its end), 1 the same or a newer product is installed, negative failure.
Status PrepareUpgrade(Installer* installer, bool* reregisterToolbars);
// Has every toolbar on the runtime's list register itself again through the new runtime.
Status ReregisterToolbars();
