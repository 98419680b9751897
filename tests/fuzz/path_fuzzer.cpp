// Any bytes as a CP932 path: the parent-directory walk, entry-name safety,
// the trailing-separator rule, drive roots and the folded item key, each
// against what it promises.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/sjis_path.h"
#include "record/installed_item_list.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool is_ascii_letter(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// starts[i]: byte i begins a character (a trail byte never does).
std::vector<bool> character_starts(std::string_view path) {
  std::vector<bool> starts(path.size(), false);
  for (size_t i = 0; i < path.size(); ++i) {
    starts[i] = true;
    if (is_sjis_lead(static_cast<unsigned char>(path[i]))) ++i;
  }
  return starts;
}

void check_parent_walk(std::string_view path, const std::vector<bool>& starts) {
  size_t separators = 0;
  for (size_t i = 0; i < path.size(); ++i)
    if (starts[i] && path[i] == '\\') ++separators;

  std::vector<std::string_view> prefixes;
  int result = for_each_parent_directory(path, [&](std::string_view prefix) {
    prefixes.push_back(prefix);
    return 0;
  });
  FUZZ_CHECK(result == 0);
  FUZZ_CHECK(prefixes.size() == separators);
  size_t previous_end = 0;
  for (size_t k = 0; k < prefixes.size(); ++k) {
    std::string_view prefix = prefixes[k];
    // A proper prefix of the path, ending just before a real separator,
    // longer than the one before.
    FUZZ_CHECK(prefix.data() == path.data());
    FUZZ_CHECK(prefix.size() < path.size());
    FUZZ_CHECK(path[prefix.size()] == '\\' && starts[prefix.size()]);
    FUZZ_CHECK(k == 0 || prefix.size() > previous_end);
    previous_end = prefix.size();
  }

  // A visit that fails stops the walk with its value.
  if (!prefixes.empty()) {
    size_t stop_at = path.size() % prefixes.size();
    size_t calls = 0;
    result = for_each_parent_directory(path, [&](std::string_view) {
      return calls++ == stop_at ? -7 : 0;
    });
    FUZZ_CHECK(result == -7);
    FUZZ_CHECK(calls == stop_at + 1);
  }
}

// The name Windows takes for a device, whatever the case, extension or
// trailing spaces: NUL, con.txt, COM1, lpt9 .log.
bool names_a_device(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

void check_entry_name(std::string_view name, const std::vector<bool>& starts) {
  if (!is_safe_entry_name(name)) return;
  FUZZ_CHECK(!name.empty());
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(name[i]);
    if (!starts[i]) {
      // Every second byte is one that CP932 pairs with its lead byte.
      FUZZ_CHECK(byte >= 0x40 && byte <= 0xFC && byte != 0x7F);
      continue;
    }
    FUZZ_CHECK(byte >= 0x20);
    FUZZ_CHECK(std::string_view(":<>\"|?*/").find(static_cast<char>(byte)) == std::string_view::npos);
  }
  // The last byte is a whole character; a cut double-byte character could
  // swallow the NUL or the next byte of a composed path.
  size_t last = name.size() - 1;
  FUZZ_CHECK(starts[last] ? !is_sjis_lead(static_cast<unsigned char>(name[last]))
                          : last > 0 && starts[last - 1]);
  // Split at real separators: every component is a plain name that
  // Windows takes as it is.
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    bool separator = i == name.size() || (starts[i] && name[i] == '\\');
    if (!separator) continue;
    std::string_view component = name.substr(start, i - start);
    FUZZ_CHECK(!component.empty());
    FUZZ_CHECK(component.back() != '.' && component.back() != ' ');
    FUZZ_CHECK(!names_a_device(component));
    start = i + 1;
  }
}

void check_trailing_separator(std::string_view folder, const std::vector<bool>& starts) {
  size_t length = length_without_trailing_separator(folder);
  bool real_trailing = !folder.empty() && folder.back() == '\\' && starts[folder.size() - 1];
  FUZZ_CHECK(length == (real_trailing ? folder.size() - 1 : folder.size()));
}

void check_drive_root(std::string_view path) {
  bool expected = (path.size() == 2 || (path.size() == 3 && path[2] == '\\')) &&
                  is_ascii_letter(static_cast<unsigned char>(path[0])) && path[1] == ':';
  FUZZ_CHECK(path_is_drive_root(path) == expected);
}

void check_folded_key(std::string_view item, const std::vector<bool>& starts) {
  std::string key = fold_item_key(item);
  FUZZ_CHECK(key.size() == item.size());
  for (size_t i = 0; i < item.size(); ++i) {
    unsigned char from = static_cast<unsigned char>(item[i]);
    unsigned char to = static_cast<unsigned char>(key[i]);
    if (starts[i] && from >= 'A' && from <= 'Z')
      FUZZ_CHECK(to == from + 0x20);
    else
      FUZZ_CHECK(to == from);  // trail bytes and everything else stay
  }
  FUZZ_CHECK(fold_item_key(key) == key);
  // Two spellings that differ only in ASCII case are one item; an item
  // ends at its first NUL, and an empty one is never listed.
  std::string_view c_string = item.substr(0, item.find('\0'));
  InstalledItemList list;
  FUZZ_CHECK(add_installed_item(list, item) == (c_string.empty() ? 0 : 1));
  FUZZ_CHECK(add_installed_item(list, key) == 0);
  const std::vector<std::string> items = installed_items_of(list);
  FUZZ_CHECK(items.size() == (c_string.empty() ? 0u : 1u));
  if (!items.empty()) FUZZ_CHECK(items[0] == c_string);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view path(reinterpret_cast<const char*>(data), size);
  std::vector<bool> starts = character_starts(path);
  check_parent_walk(path, starts);
  check_entry_name(path, starts);
  check_trailing_separator(path, starts);
  check_drive_root(path);
  check_folded_key(path, starts);
  return 0;
}
