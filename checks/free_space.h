// Room on the install folder's drive.
#pragma once

#include <cstdint>

// True when the run goes on: the free space is unknown or large enough.
bool check_free_space();

// Free space of the path's drive in MiB, saturated at 0xFFFFFFFF; 0 when
// unknown. The last drive's answer is kept and given again for it.
uint32_t free_megabytes_on_drive(const char* path);
