// The update package: a table of entries followed by their zlib streams.
//
//   0  int32  entry_count
//   4  uint32 data_start      offset of the stored data = end of the table
//   8  entries, back to back: NUL-terminated CP932 name, then
//      uint32 stored_size, uint32 offset (from data_start),
//      uint32 unpacked_size, int32 time (seconds since 1970 UTC)
//   data_start: the streams
//
// All integers little-endian and unaligned. This header is the one
// definition of the format: the package tool writes it and the updater
// reads it through the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t kPackageHeaderSize = 8;
inline constexpr uint32_t kEntryFixedSize = 16;  // after the name's NUL

struct PackageEntry {
  std::string_view name;  // without the NUL; points into the package
  uint32_t stored_size;
  uint32_t offset;
  uint32_t unpacked_size;
  int32_t time;
};

uint32_t get_le32(const unsigned char* p);
void put_le32(unsigned char* p, uint32_t v);

// Walks the table in order. Trusts the bytes: call check_package first.
struct PackageCursor {
  const unsigned char* package;
  uint32_t position;
  int32_t remaining;
  uint32_t data_start;
};
PackageCursor begin_package_walk(const unsigned char* package);
// Returns false when no entry is left.
bool next_package_entry(PackageCursor& cursor, PackageEntry& entry);
inline const unsigned char* entry_stream(const PackageCursor& cursor,
                                         const PackageEntry& entry) {
  return cursor.package + cursor.data_start + entry.offset;
}

enum PackageCheck {
  kPackageSound = 0,
  kPackageTooShort,       // no room for the header
  kPackageBadHeader,      // negative entry_count, or data_start outside
  kPackageNameUnended,    // a name runs past data_start without its NUL
  kPackageTableOverrun,   // an entry's integers run past data_start
  kPackageTableLeftover,  // bytes left between the last entry and data_start
  kPackageStreamOutside,  // a stream not inside the stored data
  kPackageUnsafeName,     // a name that could leave the install folder
};

// Checks the table against the package's real size and every name with
// is_safe_entry_name. Reads nothing outside `package`.
PackageCheck check_package(std::span<const unsigned char> package);

// Inflates one stream into `out` (capacity `capacity`). Returns 0 when the
// stream is a sound zlib stream of exactly `entry.unpacked_size` bytes,
// -1 otherwise.
int inflate_entry(const unsigned char* stream, const PackageEntry& entry,
                  unsigned char* out, size_t capacity);

// Writing, for the package tool and tests.
struct PackFile {
  std::string name;  // backslash-separated, relative
  std::string data;
  int32_t time;
};
// Compresses each file at zlib level 9 and lays the streams back to back
// in the given order. Returns an empty vector when a file fails to compress.
std::vector<unsigned char> write_package(const std::vector<PackFile>& files);

// A package written from raw parts, streams given as they are: lets tests
// build damaged packages with the same layout code.
struct RawEntry {
  std::string name;
  std::string stream;  // stored bytes
  uint32_t unpacked_size;
  int32_t time;
};
std::vector<unsigned char> write_raw_package(const std::vector<RawEntry>& entries);
std::string compress_stream(std::string_view data);
