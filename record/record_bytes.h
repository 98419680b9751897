// The bytes of the uninstall record: NUL-terminated items, then one empty
// string. No header, count or checksum.
#pragma once

#include <string>
#include <string_view>

#include "record/installed_item_list.h"

// Adds every item of `bytes` to the list, up to the first empty string or
// the end of the bytes, whichever comes first; an item cut off by the end
// is taken as it is. Anything after the empty string is dropped.
void parse_record_bytes(std::string_view bytes, InstalledItemList& list);

// The record for the list: each item and its NUL, in order, then one NUL.
std::string record_bytes_of(const InstalledItemList& list);
