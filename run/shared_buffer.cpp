#include "run/shared_buffer.h"

// Zero-initialised storage: the loader maps it on demand, page by page.
static unsigned char storage[kSharedBufferSize];
unsigned char* const shared_buffer = storage;
