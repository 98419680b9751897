// Any bytes as an uninstall record: parsed into the list and written back
// out. Writing, then parsing the output again, must give the same list.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "package/sjis_path.h"
#include "record/installed_item_list.h"
#include "record/record_bytes.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The same item in upper case wherever a single-byte letter stands.
std::string upper_case_spelling(const std::string& item) {
  std::string out = item;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(out[i]);
    if (is_sjis_lead(byte))
      ++i;
    else if (byte >= 'a' && byte <= 'z')
      out[i] = static_cast<char>(byte - 0x20);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  InstalledItemList list;
  parse_record_bytes(bytes, list);
  const std::vector<std::string> items = installed_items_of(list);

  std::set<std::string> keys;
  size_t total = 1;
  for (const std::string& item : items) {
    FUZZ_CHECK(!item.empty());
    FUZZ_CHECK(item.find('\0') == std::string::npos);
    FUZZ_CHECK(keys.insert(fold_item_key(item)).second);
    FUZZ_CHECK(has_installed_item(list, item));
    FUZZ_CHECK(has_installed_item(list, fold_item_key(item)));
    total += item.size() + 1;
  }

  // The input's strings up to the first empty one are the items in order,
  // less those whose folded key came before: nothing cut, nothing made up.
  size_t next_item = 0;
  std::set<std::string> seen;
  for (size_t position = 0; position < size && bytes[position] != '\0';) {
    size_t end = bytes.find('\0', position);
    if (end == std::string_view::npos) end = size;
    std::string_view string = bytes.substr(position, end - position);
    if (next_item < items.size() && items[next_item] == string) {
      ++next_item;
      seen.insert(fold_item_key(string));
    } else {
      FUZZ_CHECK(seen.count(fold_item_key(string)) == 1);
    }
    position = end + 1;
  }
  FUZZ_CHECK(next_item == items.size());

  std::string out = record_bytes_of(list);
  FUZZ_CHECK(out.size() == total);
  FUZZ_CHECK(out.back() == '\0');
  FUZZ_CHECK(out.size() == 1 || out[out.size() - 2] == '\0');

  InstalledItemList again;
  parse_record_bytes(out, again);
  FUZZ_CHECK(installed_items_of(again) == items);
  FUZZ_CHECK(record_bytes_of(again) == out);

  // Every item is its own duplicate, in any ASCII case.
  for (const std::string& item : items) {
    FUZZ_CHECK(add_installed_item(again, item) == 0);
    FUZZ_CHECK(add_installed_item(again, upper_case_spelling(item)) == 0);
  }
  FUZZ_CHECK(record_bytes_of(again) == out);
  return 0;
}
