// The installed items of the game: what its uninstaller removes. An item is
// a type letter ('D' directory, 'F' file, or any letter a loaded record
// carries) followed directly by an absolute CP932 path.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct InstalledItemList {
  std::vector<std::string> items;  // in the order they were added
  // Every item folded as by fold_item_key, for the duplicate test.
  std::unordered_set<std::string> keys;
};

// The key two items are compared by: ASCII 'A' to 'Z' folded to lower case
// in single-byte characters only. The second byte of a double-byte
// character stays as it is, so カ (0x83 0x4A) and ニ (0x83 0x6A) differ.
std::string fold_item_key(std::string_view item);

// Appends letter+path unless an equal item is already listed.
// Returns 1 when added, 0 when it was a duplicate.
int add_installed_item(InstalledItemList& list, char letter, std::string_view path);
// The same for a whole item as a record stores it (letter included).
int add_installed_item(InstalledItemList& list, std::string_view item);
