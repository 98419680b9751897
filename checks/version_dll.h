// The file version functions, taken from the system's version.dll.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads the file version of `path` through `buffer` and returns its
// VersionCode, or 0 when it has none.
uint32_t read_version_code(const char* path, unsigned char* buffer, size_t capacity);
