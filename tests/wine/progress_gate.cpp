// A global WH_CALLWNDPROCRET hook that the harness installs: Windows
// loads this DLL into every GUI process of the prefix. When a dialog
// without buttons (the progress window) has just been shown in a process
// whose harness created the events "tivarne-gate-shown-PID" and
// "tivarne-gate-go-PID", the hook signals the first and holds the
// process there until the second is set, so the harness sees the window
// before a single entry has been written, however small the package.
#include <windows.h>

#include <cstdio>

static bool is_progress_window(HWND window) {
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  // A message box has its text in control 0xFFFF and at least one button.
  return lstrcmpA(class_name, "#32770") == 0 && !GetParent(window) &&
         !GetDlgItem(window, IDOK) && !GetDlgItem(window, IDCANCEL) &&
         !GetDlgItem(window, 0xFFFF);
}

static HANDLE open_gate_event(const char* what, DWORD access) {
  char name[64];
  std::snprintf(name, sizeof name, "tivarne-gate-%s-%lu", what, GetCurrentProcessId());
  return OpenEventA(access, FALSE, name);
}

// Waits for the harness while answering the messages it sends (reading a
// control's text is a sent WM_GETTEXT); posted messages stay queued.
static void hold_until_released(HANDLE go) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 30000) {
    DWORD result = MsgWaitForMultipleObjects(1, &go, FALSE, 1000, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

extern "C" __declspec(dllexport) LRESULT CALLBACK progress_gate_hook(int code, WPARAM wparam,
                                                                     LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && sent->message == WM_WINDOWPOSCHANGED &&
      (reinterpret_cast<const WINDOWPOS*>(sent->lParam)->flags & SWP_SHOWWINDOW) &&
      is_progress_window(sent->hwnd)) {
    HANDLE shown = open_gate_event("shown", EVENT_MODIFY_STATE);
    HANDLE go = open_gate_event("go", SYNCHRONIZE);
    if (shown && go) {
      SetEvent(shown);
      hold_until_released(go);
    }
    if (shown) CloseHandle(shown);
    if (go) CloseHandle(go);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
