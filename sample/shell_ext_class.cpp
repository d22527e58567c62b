// SnaporaShellExt.dll's class: the photo extras' shell extension.
#include "sample/self_registering_module.h"

const SelfRegisteringClass kSelfRegisteringClass = {"SnaporaShellExt.dll", "{6D1F0B24-7C35-4A89-B3E2-4F8A0C5D2E51}",
                                                    "Snapora Shell Extension", "Snapora.ShellExt"};
