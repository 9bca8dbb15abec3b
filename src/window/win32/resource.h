// Resource IDs shared by the program's .rc file and its code.
#pragma once

// The program's icon: the 32 x 32, 256-colour picture of the Qt program.
#define KESTRANE_ICON_ID 1

// Control IDs are the ControlId values of window/form_design.h.
