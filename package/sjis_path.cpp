#include "package/sjis_path.h"

bool is_sjis_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

static bool is_sjis_trail(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

static bool is_ascii_letter(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

static bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 0x20;
    if (y >= 'a' && y <= 'z') y -= 0x20;
    if (x != y) return false;
  }
  return true;
}

// Windows opens a device, not a file, for these names in any folder, also
// with an extension or trailing spaces: "NUL", "com1.txt", "Aux .log".
static bool is_device_name(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (equals_ignoring_ascii_case(base, device)) return true;
  return base.size() == 4 && base[3] >= '0' && base[3] <= '9' &&
         (equals_ignoring_ascii_case(base.substr(0, 3), "COM") ||
          equals_ignoring_ascii_case(base.substr(0, 3), "LPT"));
}

// Bytes no Windows file name holds; ':' would name a drive or a stream.
// '/' is a separator to Windows but not to the directory walk, which
// splits at backslashes, the package's only separator.
static bool is_forbidden_in_name(unsigned char byte) {
  return byte < 0x20 || byte == ':' || byte == '<' || byte == '>' || byte == '"' ||
         byte == '|' || byte == '?' || byte == '*' || byte == '/';
}

bool is_safe_entry_name(std::string_view name) {
  size_t component_start = 0;
  // Windows drops a trailing dot or space ("a.txt." is "a.txt", "..." may
  // become ".."), so such a component never names what it says; this also
  // rules out "." and "..".
  auto component_is_sound = [&](size_t end) {
    std::string_view part = name.substr(component_start, end - component_start);
    return !part.empty() && part.back() != '.' && part.back() != ' ' && !is_device_name(part);
  };
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(name[i]);
    if (is_sjis_lead(byte)) {
      // A lead byte without a valid second byte is not one character to
      // Windows either: it could hide a separator ("\x81/").
      if (i + 1 >= name.size() || !is_sjis_trail(static_cast<unsigned char>(name[i + 1])))
        return false;
      ++i;
      continue;
    }
    if (is_forbidden_in_name(byte)) return false;
    if (byte == '\\') {
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
