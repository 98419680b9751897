// Any bytes as a package resource: the table check, then, for a package
// that passes it, the walk and the inflation of every entry into a bounded
// buffer, as the extractor does them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/sjis_path.h"
#include "tests/fuzz/fuzz_check.h"

// Far below the updater's 153,000,000 bytes, so that a run stays fast; the
// bound is what is exercised, not its size.
static constexpr size_t kCapacity = 1 << 20;
static unsigned char inflated[kCapacity];

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const unsigned char> package(data, size);
  if (check_package(package) != kPackageSound) return 0;

  const int32_t entry_count = static_cast<int32_t>(get_le32(data));
  PackageCursor cursor = begin_package_walk(data);
  PackageEntry entry;
  int32_t walked = 0;
  std::vector<RawEntry> rebuilt;
  while (next_package_entry(cursor, entry)) {
    ++walked;
    FUZZ_CHECK(cursor.position <= cursor.data_start);
    FUZZ_CHECK(is_safe_entry_name(entry.name));
    FUZZ_CHECK(entry.name.data() >= reinterpret_cast<const char*>(data) + kPackageHeaderSize);
    FUZZ_CHECK(entry.name.data() + entry.name.size() <
               reinterpret_cast<const char*>(data) + cursor.data_start);
    const unsigned char* stream = entry_stream(cursor, entry);
    FUZZ_CHECK(stream >= data + cursor.data_start);
    FUZZ_CHECK(entry.stored_size <= size - (stream - data));

    if (inflate_entry(stream, entry, inflated, kCapacity) == 0) {
      FUZZ_CHECK(entry.unpacked_size <= kCapacity);
      // A sound entry packs again into a sound package with the same bytes.
      rebuilt.push_back({std::string(entry.name),
                         std::string(reinterpret_cast<const char*>(stream), entry.stored_size),
                         entry.unpacked_size, entry.time});
    }
  }
  FUZZ_CHECK(walked == (entry_count > 0 ? entry_count : 0));
  FUZZ_CHECK(cursor.position == cursor.data_start);

  std::vector<unsigned char> again = write_raw_package(rebuilt);
  FUZZ_CHECK(check_package(again) == kPackageSound);
  PackageCursor again_cursor = begin_package_walk(again.data());
  for (const RawEntry& expected : rebuilt) {
    FUZZ_CHECK(next_package_entry(again_cursor, entry));
    FUZZ_CHECK(entry.name == expected.name);
    FUZZ_CHECK(entry.stored_size == expected.stream.size());
    FUZZ_CHECK(entry.unpacked_size == expected.unpacked_size);
    FUZZ_CHECK(entry.time == expected.time);
    FUZZ_CHECK(std::memcmp(entry_stream(again_cursor, entry), expected.stream.data(),
                           expected.stream.size()) == 0);
    FUZZ_CHECK(inflate_entry(entry_stream(again_cursor, entry), entry, inflated, kCapacity) == 0);
  }
  FUZZ_CHECK(!next_package_entry(again_cursor, entry));
  return 0;
}
