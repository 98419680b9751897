// The state of one run, from the entry to the last message box.
#pragma once

#include <windows.h>

#include <cstdint>

#include "record/installed_item_list.h"

inline constexpr size_t kFolderBufferSize = 260;
inline constexpr size_t kPathBufferSize = 1024;

struct UpdateRun {
  HINSTANCE instance;
  HANDLE updater_mutex;  // kept open until the process ends
  HANDLE game_mutex;     // likewise, once the game guard has passed
  char install_folder[kFolderBufferSize];  // CP932, empty when unknown
  bool folder_from_user;
  uint32_t installed_version;  // VersionCode, 0 when none was read
  char record_path[kPathBufferSize];
  InstalledItemList installed_items;
};

extern UpdateRun run;

// Fills run.install_folder from the registry; returns 1 when the key
// could be opened, 0 when not.
int read_install_folder();
