// Choosing the install folder when the registry names none.
#pragma once

#include <windows.h>

// Offers to update a folder the user picks. True when one was chosen
// (run.install_folder, run.folder_from_user set); false when the user
// declined or cancelled.
bool select_install_folder();

// The shell's folder browser. `folder` (260 bytes) receives the choice.
// Returns 1 when a folder was chosen, 0 when the browser was cancelled.
int browse_for_folder(HWND owner, char* folder, const char* title);
