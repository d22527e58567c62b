// TollixProfileExt.dll's class: the runtime's profile extension, shared by every edition.
#include "sample/self_registering_module.h"

const SelfRegisteringClass kSelfRegisteringClass = {"TollixProfileExt.dll", "{3C9E7A15-0D42-4B6F-8E21-5A7B9C3D1E41}",
                                                    "Tollix Profile Extension", "Tollix.ProfileExt"};
