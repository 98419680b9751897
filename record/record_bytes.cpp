#include "record/record_bytes.h"

void parse_record_bytes(std::string_view bytes, InstalledItemList& list) {
  size_t position = 0;
  while (position < bytes.size() && bytes[position] != '\0') {
    size_t end = bytes.find('\0', position);
    if (end == std::string_view::npos) end = bytes.size();
    add_installed_item(list, bytes.substr(position, end - position));
    position = end + 1;
  }
}

std::string record_bytes_of(const InstalledItemList& list) {
  size_t total = 1;
  for (const std::string& item : list.items) total += item.size() + 1;
  std::string bytes;
  bytes.reserve(total);
  for (const std::string& item : list.items) {
    bytes += item;
    bytes += '\0';
  }
  bytes += '\0';
  return bytes;
}
