#include "package/sjis_path.h"

bool is_sjis_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

static bool is_ascii_letter(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool is_safe_entry_name(std::string_view name) {
  size_t component_start = 0;
  auto component_is_sound = [&](size_t end) {
    std::string_view part = name.substr(component_start, end - component_start);
    return !part.empty() && part != "." && part != "..";
  };
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(name[i]);
    if (byte == 0) return false;
    if (is_sjis_lead(byte)) {
      if (i + 1 >= name.size() || name[i + 1] == '\0') return false;
      ++i;
      continue;
    }
    if (byte == ':') return false;
    if (byte == '\\' || byte == '/') {
      if (!component_is_sound(i)) return false;
      component_start = i + 1;
    }
  }
  return component_is_sound(name.size());
}

bool path_is_drive_root(std::string_view path) {
  if (path.size() < 2 || !is_ascii_letter(static_cast<unsigned char>(path[0])) ||
      path[1] != ':')
    return false;
  return path.size() == 2 || (path.size() == 3 && path[2] == '\\');
}

size_t length_without_trailing_separator(std::string_view folder) {
  size_t last_char_start = folder.size();
  for (size_t i = 0; i < folder.size(); ++i) {
    last_char_start = i;
    if (is_sjis_lead(static_cast<unsigned char>(folder[i]))) ++i;
  }
  if (last_char_start + 1 == folder.size() && folder[last_char_start] == '\\')
    return last_char_start;
  return folder.size();
}
