#include "record/installed_item_list.h"

#include "package/sjis_path.h"

std::string fold_item_key(std::string_view item) {
  std::string key(item);
  for (size_t i = 0; i < key.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(key[i]);
    if (is_sjis_lead(byte)) {
      ++i;
    } else if (byte >= 'A' && byte <= 'Z') {
      key[i] = static_cast<char>(byte + 0x20);
    }
  }
  return key;
}

int add_installed_item(InstalledItemList& list, std::string_view item) {
  if (!list.keys.insert(fold_item_key(item)).second) return 0;
  list.items.emplace_back(item);
  return 1;
}

int add_installed_item(InstalledItemList& list, char letter, std::string_view path) {
  std::string item;
  item.reserve(path.size() + 1);
  item += letter;
  item += path;
  return add_installed_item(list, item);
}
