#include "record/installed_item_list.h"

#include "package/sjis_path.h"

// Folded keys are hashed and compared in place: the list keeps one copy of
// each item and nothing else per item but its slot.

static unsigned char folded(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 0x20) : byte;
}

// Most bytes of a path are ASCII: they skip the call.
static bool is_lead(unsigned char byte) { return byte >= 0x80 && is_sjis_lead(byte); }

std::string fold_item_key(std::string_view item) {
  std::string key(item);
  for (size_t i = 0; i < key.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(key[i]);
    if (is_lead(byte))
      ++i;
    else
      key[i] = static_cast<char>(folded(byte));
  }
  return key;
}

// FNV-1a (64-bit) over the folded key.
static uint64_t folded_hash(std::string_view item) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < item.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(item[i]);
    if (is_lead(byte) && i + 1 < item.size()) {
      hash = (hash ^ byte) * 1099511628211ull;
      byte = static_cast<unsigned char>(item[++i]);
    } else {
      byte = folded(byte);
    }
    hash = (hash ^ byte) * 1099511628211ull;
  }
  return hash;
}

// Whether the listed item at `at` has the folded key of `item`. Lead bytes
// never fold, so while the keys agree both are at the same place of a
// double-byte character.
static bool folded_equal(const std::string& bytes, size_t at, std::string_view item) {
  if (at + item.size() >= bytes.size() || bytes[at + item.size()] != '\0') return false;
  const char* listed = bytes.data() + at;
  for (size_t i = 0; i < item.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(item[i]);
    if (is_lead(byte)) {
      if (listed[i] != item[i]) return false;
      if (++i < item.size() && listed[i] != item[i]) return false;
    } else if (folded(byte) != folded(static_cast<unsigned char>(listed[i]))) {
      return false;
    }
  }
  return true;
}

static constexpr int kOffsetBits = 40;
static constexpr uint64_t kOffsetMask = (uint64_t{1} << kOffsetBits) - 1;

static uint64_t tag_of(uint64_t hash) { return hash >> kOffsetBits << kOffsetBits; }

// The slot that holds an item equal to `item`, or the free slot where it
// belongs. The table must have a free slot.
static size_t find_slot(const InstalledItemList& list, std::string_view item, uint64_t hash) {
  const size_t mask = list.slots.size() - 1;
  const uint64_t tag = tag_of(hash);
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    uint64_t entry = list.slots[slot];
    if (entry == 0) return slot;
    if ((entry & ~kOffsetMask) == tag && folded_equal(list.bytes, (entry & kOffsetMask) - 1, item))
      return slot;
  }
}

// Sizes the table for `count` items. Slots keep only part of the hash, so
// each listed item is hashed again.
static void resize_slots(InstalledItemList& list, size_t count) {
  size_t size = 1024;
  while (size < count * 2) size *= 2;
  if (size <= list.slots.size()) return;
  list.slots.assign(size, 0);
  const size_t mask = size - 1;
  for (size_t at = 0; at < list.bytes.size();) {
    std::string_view item(list.bytes.data() + at);
    uint64_t hash = folded_hash(item);
    size_t slot = hash & mask;
    while (list.slots[slot] != 0) slot = (slot + 1) & mask;
    list.slots[slot] = tag_of(hash) | (at + 1);
    at += item.size() + 1;
  }
}

void reserve_installed_items(InstalledItemList& list, size_t count, size_t bytes) {
  resize_slots(list, list.count + count);
  list.bytes.reserve(list.bytes.size() + bytes);
}

bool has_installed_item(const InstalledItemList& list, std::string_view item) {
  if (list.slots.empty()) return false;
  return list.slots[find_slot(list, item, folded_hash(item))] != 0;
}

int add_installed_item(InstalledItemList& list, std::string_view item) {
  item = item.substr(0, item.find('\0'));
  if (item.empty()) return 0;
  if ((list.count + 1) * 2 > list.slots.size()) resize_slots(list, list.slots.size());
  const uint64_t hash = folded_hash(item);
  const size_t slot = find_slot(list, item, hash);
  if (list.slots[slot] != 0) return 0;
  list.slots[slot] = tag_of(hash) | (list.bytes.size() + 1);
  list.bytes.append(item);
  list.bytes.push_back('\0');
  ++list.count;
  return 1;
}

int add_installed_item(InstalledItemList& list, char letter, std::string_view path) {
  std::string item;
  item.reserve(path.size() + 1);
  item += letter;
  item += path;
  return add_installed_item(list, item);
}

std::vector<std::string> installed_items_of(const InstalledItemList& list) {
  std::vector<std::string> items;
  items.reserve(list.count);
  for (size_t at = 0; at < list.bytes.size();) {
    items.emplace_back(list.bytes.data() + at);
    at += items.back().size() + 1;
  }
  return items;
}
