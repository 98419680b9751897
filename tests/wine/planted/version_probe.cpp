// The installed-game check's version reading alone, in a program that
// imports nothing that would load version.dll before it (Wine's user32
// imports version.dll, so the editions always have it loaded before their
// own code runs). Exits with the VersionCode of the Tivarne.exe beside it.
#include <windows.h>

#include <cstring>
#include <vector>

#include "checks/version_dll.h"

int main() {
  char path[MAX_PATH + 16];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  while (length > 0 && path[length - 1] != '\\') --length;
  std::strcpy(path + length, "Tivarne.exe");
  std::vector<unsigned char> buffer(1 << 20);
  return static_cast<int>(read_version_code(path, buffer.data(), buffer.size()));
}
