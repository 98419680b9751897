// The small window asking the user to wait while files are written.
#pragma once

#include <windows.h>

// Creates the window from the edition's template, captioned with the
// edition title, centred on the desktop, and shows it.
HWND show_progress_window(HINSTANCE instance);

// Handles the window's queued messages; called once per package entry.
void drain_progress_messages(HWND window);
