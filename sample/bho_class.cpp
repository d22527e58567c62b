// TollixBHO.dll's class: the edition's browser helper (its class id comes from the edition ini).
#include "sample/self_registering_module.h"

const SelfRegisteringClass kSelfRegisteringClass = {"TollixBHO.dll", nullptr, "Tollix Browser Helper", nullptr};
