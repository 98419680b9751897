// Walking CP932 paths. A double-byte character's second byte may be 0x5C
// (ソ is 0x83 0x5C, 表 is 0x95 0x5C), so a backslash is a separator only
// where a character starts.
#pragma once

#include <cstddef>
#include <string_view>

bool is_sjis_lead(unsigned char byte);

// A name the package may carry: relative, not empty, no empty component,
// none ending in '.' or ' ' (so no "." or ".."), no device name (NUL,
// COM1.txt), no ':' (no drive, no stream) nor other byte Windows refuses
// in a name, no '/' (backslash is the only separator), no double-byte character cut
// short or with a second byte outside 0x40 to 0xFC.
bool is_safe_entry_name(std::string_view name);

// Calls visit(prefix) for every directory above the last component of
// `path`, parents first: for C:\A\B\f it visits "C:", "C:\A" and "C:\A\B".
// A path that ends in a separator has its last directory visited too.
// Stops at the first visit that returns non-zero and returns that value.
template <typename Visit>
int for_each_parent_directory(std::string_view path, Visit&& visit) {
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if (is_sjis_lead(byte)) {
      ++i;  // the trail byte is never a separator
      continue;
    }
    if (byte == '\\') {
      if (int result = visit(path.substr(0, i))) return result;
    }
  }
  return 0;
}

// True for "X:" and "X:\" with an ASCII letter X.
bool path_is_drive_root(std::string_view path);

// Length of `folder` once a trailing backslash that is a real separator
// is dropped; a final double-byte character ending in 0x5C is kept.
size_t length_without_trailing_separator(std::string_view folder);
