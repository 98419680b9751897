// The installed items of the game: what its uninstaller removes. An item is
// a type letter ('D' directory, 'F' file, or any letter a loaded record
// carries) followed directly by an absolute CP932 path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct InstalledItemList {
  // The items in the order they were added, each followed by its NUL: the
  // record's bytes but for its closing empty string.
  std::string bytes;
  size_t count = 0;
  // Open-addressing index of the items for the duplicate test. A slot is 0
  // (free) or the top 24 bits of the item's hash over 40 bits of its
  // offset in `bytes` + 1. The size is 0 or a power of two, at most half full.
  std::vector<uint64_t> slots;
};

// The key two items are compared by: ASCII 'A' to 'Z' folded to lower case
// in single-byte characters only. The second byte of a double-byte
// character stays as it is, so カ (0x83 0x4A) and ニ (0x83 0x6A) differ.
std::string fold_item_key(std::string_view item);

// True when the list holds an item equal to `item` by its folded key.
bool has_installed_item(const InstalledItemList& list, std::string_view item);

// Appends letter+path unless an equal item is already listed; an item is
// a C string, so it ends at a NUL. Returns 1 when added, 0 when it was a
// duplicate or empty.
int add_installed_item(InstalledItemList& list, char letter, std::string_view path);
// The same for a whole item as a record stores it (letter included).
int add_installed_item(InstalledItemList& list, std::string_view item);

// Makes room for `count` more items of `bytes` bytes in all (NULs
// included), so that adding them allocates nothing.
void reserve_installed_items(InstalledItemList& list, size_t count, size_t bytes);

// The items in order, as copies.
std::vector<std::string> installed_items_of(const InstalledItemList& list);
