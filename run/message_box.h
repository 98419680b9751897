// Message boxes of the run: no owner window, the edition's title as caption.
#pragma once

#include <windows.h>

int show_message(const char* text, UINT style);
// Formats `format` with one %s into a 1024-byte buffer first.
int show_message_with(const char* format, const char* argument, UINT style);
