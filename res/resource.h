// Identifiers of the program's resources.
#pragma once

#define IDD_UNINSTALL 118
#define IDC_TOOLBAR_UNINSTALL 1018
#define IDC_COMPLETE_UNINSTALL 1019
