// Writes the edition's package into the install folder.
#pragma once

#include <windows.h>

#include <span>

#include "record/installed_item_list.h"

// Finds the package among the program's resources, checks it, shows the
// progress window and writes every entry. Returns an ExtractOutcome.
int extract_package();

// The work of extract_package on any package bytes: checks the table,
// then writes every entry below `install_folder`, inflating into
// `buffer` (kSharedBufferSize bytes) and adding what it writes or
// creates to `items`. `progress` (may be null) is serviced once per entry.
int extract_package_bytes(std::span<const unsigned char> package, const char* install_folder,
                          unsigned char* buffer, InstalledItemList& items, HWND progress);
