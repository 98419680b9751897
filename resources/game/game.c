/* Stands in for the game executable: the updater only reads its version
   resource, so all it does is end. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance; (void)previous; (void)command_line; (void)show;
  return 0;
}
