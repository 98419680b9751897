#include "record/record_bytes.h"

// The items of a record, up to its first empty string.
template <typename Visit>
static void for_each_record_item(std::string_view bytes, Visit&& visit) {
  size_t position = 0;
  while (position < bytes.size() && bytes[position] != '\0') {
    size_t end = bytes.find('\0', position);
    if (end == std::string_view::npos) end = bytes.size();
    visit(bytes.substr(position, end - position));
    position = end + 1;
  }
}

void parse_record_bytes(std::string_view bytes, InstalledItemList& list) {
  size_t count = 0;
  size_t length = 0;
  for_each_record_item(bytes, [&](std::string_view item) {
    ++count;
    length += item.size() + 1;
  });
  // Room for what an update adds, so its items neither move the loaded
  // ones nor grow the index.
  reserve_installed_items(list, count + 4096, length + 256 * 1024);
  for_each_record_item(bytes, [&](std::string_view item) { add_installed_item(list, item); });
}

std::string record_bytes_of(const InstalledItemList& list) {
  std::string bytes;
  bytes.reserve(list.bytes.size() + 1);
  bytes += list.bytes;
  bytes += '\0';
  return bytes;
}
