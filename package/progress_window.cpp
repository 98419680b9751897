#include "package/progress_window.h"

#include "run/edition_profile.h"

static void center_over_owner(HWND window) {
  RECT r, p;
  GetWindowRect(window, &r);
  HWND owner = GetWindow(window, GW_OWNER);
  GetWindowRect(owner ? owner : GetDesktopWindow(), &p);
  int x = p.left + ((p.right - p.left) - (r.right - r.left)) / 2;
  int y = p.top + ((p.bottom - p.top) - (r.bottom - r.top)) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Handles nothing but its start: Esc and the close box send WM_COMMAND
// and WM_CLOSE, which fall through unhandled, so the window stays.
static INT_PTR CALLBACK progress_dialog_proc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    center_over_owner(window);
    return TRUE;
  }
  return FALSE;
}

HWND show_progress_window(HINSTANCE instance) {
  HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(edition.progress_dialog_id),
                                   nullptr, progress_dialog_proc, 0);
  SetWindowTextA(window, edition.title);
  ShowWindow(window, SW_SHOW);
  return window;
}

void drain_progress_messages(HWND window) {
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}
