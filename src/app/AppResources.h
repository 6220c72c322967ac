#pragma once
// Resource ids of the gateway program, shared by its resource script and
// its code. Plain #defines: the resource compiler reads this file too.

// The program's icon: the file's icon in the shell and the window's class icon.
#define QUILLON_ICON_ID 1
