#include "package/directories.h"

#include <windows.h>

#include <cstring>
#include <string_view>

#include "package/sjis_path.h"

bool path_is_directory(const char* path) {
  if (path_is_drive_root(path)) return true;
  // GetFileAttributesA, not _stat: Wine's _stat misses a directory whose
  // name ends in a double-byte character with trail byte 0x5C.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int ensure_parent_directories(const char* path, InstalledItemList& items) {
  return for_each_parent_directory(path, [&](std::string_view prefix) {
    char directory[MAX_PATH];
    if (prefix.size() >= sizeof directory) return -1;
    std::memcpy(directory, prefix.data(), prefix.size());
    directory[prefix.size()] = '\0';
    if (path_is_directory(directory)) return 0;
    if (!CreateDirectoryA(directory, nullptr)) return -1;
    add_installed_item(items, 'D', prefix);
    return 0;
  });
}
