// One process-wide buffer for the game's version resource and for every
// inflated package entry; its size bounds an entry's unpacked size.
#pragma once

#include <cstddef>

inline constexpr size_t kSharedBufferSize = 153'000'000;

// Reserved at start, never cleared: only what is written into it is ever
// touched, so its pages cost nothing until used.
extern unsigned char* const shared_buffer;
