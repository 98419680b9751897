// Loaded into the updater by folder_test: Wine's menu handles belong to
// one process, so the folder browser's system menu can only be read from
// inside the updater. Run as a remote thread; its exit code is the state.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD WINAPI first_system_menu_item_state(void* window) {
  HMENU menu = GetSystemMenu(static_cast<HWND>(window), FALSE);
  if (!menu) return 0xFFFFFFFF;
  return GetMenuState(menu, 0, MF_BYPOSITION);
}
