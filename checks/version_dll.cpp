#include "checks/version_dll.h"

#include <windows.h>

#include <cstdio>

#include "checks/version_code.h"

using GetFileVersionInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// version.dll is not a known DLL: a static import would be looked for
// beside the executable first. Load it from the system directory by hand.
static HMODULE load_system_version_dll() {
  HMODULE dll = LoadLibraryExA("version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (dll) return dll;
  // Systems without the loader update refuse the flag; name the file fully.
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - sizeof "\\version.dll") return nullptr;
  std::snprintf(path + length, MAX_PATH - length, "\\version.dll");
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

uint32_t read_version_code(const char* path, unsigned char* buffer, size_t capacity) {
  HMODULE dll = load_system_version_dll();
  if (!dll) return 0;
  auto get_file_version_info = reinterpret_cast<GetFileVersionInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoA")));
  auto ver_query_value = reinterpret_cast<VerQueryValueFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "VerQueryValueA")));
  uint32_t code = 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (get_file_version_info && ver_query_value &&
      get_file_version_info(path, 0, static_cast<DWORD>(capacity), buffer) &&
      ver_query_value(buffer, "\\", reinterpret_cast<void**>(&info), &length) && info &&
      length >= sizeof *info)
    code = version_code_from(info->dwFileVersionMS, info->dwFileVersionLS);
  FreeLibrary(dll);
  return code;
}
