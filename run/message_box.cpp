#include "run/message_box.h"

#include <cstdio>

#include "run/edition_profile.h"

int show_message(const char* text, UINT style) {
  return MessageBoxA(nullptr, text, edition.title, style);
}

int show_message_with(const char* format, const char* argument, UINT style) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return show_message(text, style);
}
