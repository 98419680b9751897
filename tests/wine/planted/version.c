/* A version.dll of our own, as one might be left beside a downloaded
   updater. Loading it writes "planted_dll_loaded.txt" beside it, naming
   the program that loaded it; its functions find no version. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + 32];
  DWORD length = GetModuleFileNameA(instance, marker, MAX_PATH);
  while (length > 0 && marker[length - 1] != '\\') --length;
  lstrcpyA(marker + length, "planted_dll_loaded.txt");
  char program[MAX_PATH];
  DWORD program_length = GetModuleFileNameA(NULL, program, MAX_PATH);
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written;
    WriteFile(file, program, program_length, &written, NULL);
    CloseHandle(file);
  }
  return TRUE;
}

/* Exported under the names of the real ones (version.def). */
BOOL WINAPI planted_GetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD length, LPVOID data) {
  (void)path, (void)handle, (void)length, (void)data;
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return FALSE;
}

DWORD WINAPI planted_GetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle) {
  (void)path;
  if (handle) *handle = 0;
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return 0;
}

BOOL WINAPI planted_VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* value, PUINT length) {
  (void)block, (void)sub_block;
  if (value) *value = NULL;
  if (length) *length = 0;
  return FALSE;
}
