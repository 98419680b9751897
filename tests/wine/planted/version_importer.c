/* The control for the planted DLL: a program that imports version.dll
   statically, as the editions must not. Beside a planted version.dll and
   with Wine told to prefer native DLLs, it loads the planted one. */
#include <windows.h>

int main(void) {
  DWORD handle;
  return GetFileVersionInfoSizeA("C:\\windows\\system32\\kernel32.dll", &handle) ? 0 : 1;
}
