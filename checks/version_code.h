// VersionCode: 0xAABBCC from the first three parts a.b.c of a file
// version, each modulo 256; 0 means no version is known.
#pragma once

#include <cstdint>

uint32_t version_code_from(uint32_t file_version_ms, uint32_t file_version_ls);
