// Resource IDs and names shared by the program's .rc file, its code and its installer.
#pragma once

// The program's icon: 16, 24, 32 and 48 pixel pictures and a 256 pixel PNG.
#define KESTRANE_ICON_ID 1

// The named mutex that every running copy of the program holds (in the global namespace, so
// that an installer run by another user of the machine sees it too). The installer scripts
// spell the same name.
#define KESTRANE_RUNNING_MUTEX L"Global\\KestraneSignalSimulatorRunning"

// Control IDs are the ControlId values of window/form_design.h.
