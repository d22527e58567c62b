// NimbrelPhotosOutlookAddin.dll's class: the photo extras' Outlook add-in.
#include "sample/self_registering_module.h"

const SelfRegisteringClass kSelfRegisteringClass = {"NimbrelPhotosOutlookAddin.dll",
                                                    "{9B4C2E37-1A58-4D6C-A0F3-8E2D6B7C3F61}",
                                                    "Nimbrel Photos Outlook Add-in", "NimbrelPhotos.OutlookAddin"};
