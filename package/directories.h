// Creating the directories above a file to be written.
#pragma once

#include "record/installed_item_list.h"

// Creates every missing directory above the last component of `path`,
// parents first, adding a 'D' item for each. Returns 0, or -1 when one
// could not be created or a prefix does not fit the 260-byte path limit.
int ensure_parent_directories(const char* path, InstalledItemList& items);

// True for a drive root ("C:", "C:\") or an existing directory.
bool path_is_directory(const char* path);
