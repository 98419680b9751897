#include "package/package_format.h"

#include <zlib.h>

#include <cstring>

#include "package/sjis_path.h"

uint32_t get_le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
         uint32_t(p[3]) << 24;
}

void put_le32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

PackageCursor begin_package_walk(const unsigned char* package) {
  return {package, kPackageHeaderSize, static_cast<int32_t>(get_le32(package)),
          get_le32(package + 4)};
}

bool next_package_entry(PackageCursor& cursor, PackageEntry& entry) {
  if (cursor.remaining <= 0) return false;
  --cursor.remaining;
  const char* name = reinterpret_cast<const char*>(cursor.package + cursor.position);
  size_t name_length = std::strlen(name);
  const unsigned char* fields = cursor.package + cursor.position + name_length + 1;
  entry.name = std::string_view(name, name_length);
  entry.stored_size = get_le32(fields);
  entry.offset = get_le32(fields + 4);
  entry.unpacked_size = get_le32(fields + 8);
  entry.time = static_cast<int32_t>(get_le32(fields + 12));
  cursor.position += static_cast<uint32_t>(name_length + 1 + kEntryFixedSize);
  return true;
}

PackageCheck check_package(std::span<const unsigned char> package) {
  if (package.size() < kPackageHeaderSize) return kPackageTooShort;
  const int32_t entry_count = static_cast<int32_t>(get_le32(package.data()));
  const uint64_t data_start = get_le32(package.data() + 4);
  if (entry_count < 0 || data_start < kPackageHeaderSize ||
      data_start > package.size())
    return kPackageBadHeader;
  const uint64_t data_size = package.size() - data_start;
  const unsigned char* table = package.data();
  uint64_t position = kPackageHeaderSize;
  for (int32_t i = 0; i < entry_count; ++i) {
    const void* nul = std::memchr(table + position, 0, data_start - position);
    if (nul == nullptr) return kPackageNameUnended;
    const uint64_t name_end = static_cast<const unsigned char*>(nul) - table;
    std::string_view name(reinterpret_cast<const char*>(table + position),
                          name_end - position);
    position = name_end + 1;
    if (data_start - position < kEntryFixedSize) return kPackageTableOverrun;
    const uint64_t stored_size = get_le32(table + position);
    const uint64_t offset = get_le32(table + position + 4);
    if (offset > data_size || stored_size > data_size - offset)
      return kPackageStreamOutside;
    if (!is_safe_entry_name(name)) return kPackageUnsafeName;
    position += kEntryFixedSize;
  }
  if (position != data_start) return kPackageTableLeftover;
  return kPackageSound;
}

int inflate_entry(const unsigned char* stream, const PackageEntry& entry,
                  unsigned char* out, size_t capacity) {
  uLongf length = static_cast<uLongf>(capacity);
  int status = uncompress(out, &length, stream, entry.stored_size);
  return status == Z_OK && length == entry.unpacked_size ? 0 : -1;
}

std::string compress_stream(std::string_view data) {
  uLongf length = compressBound(static_cast<uLong>(data.size()));
  std::string stream(length, '\0');
  if (compress2(reinterpret_cast<Bytef*>(stream.data()), &length,
                reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
    return {};
  stream.resize(length);
  return stream;
}

std::vector<unsigned char> write_raw_package(const std::vector<RawEntry>& entries) {
  size_t table_end = kPackageHeaderSize;
  for (const RawEntry& e : entries) table_end += e.name.size() + 1 + kEntryFixedSize;
  size_t total = table_end;
  for (const RawEntry& e : entries) total += e.stream.size();

  std::vector<unsigned char> out(total);
  put_le32(out.data(), static_cast<uint32_t>(entries.size()));
  put_le32(out.data() + 4, static_cast<uint32_t>(table_end));
  size_t position = kPackageHeaderSize;
  size_t offset = 0;
  for (const RawEntry& e : entries) {
    std::memcpy(out.data() + position, e.name.data(), e.name.size());
    position += e.name.size() + 1;  // the NUL is already there
    put_le32(out.data() + position, static_cast<uint32_t>(e.stream.size()));
    put_le32(out.data() + position + 4, static_cast<uint32_t>(offset));
    put_le32(out.data() + position + 8, e.unpacked_size);
    put_le32(out.data() + position + 12, static_cast<uint32_t>(e.time));
    position += kEntryFixedSize;
    std::memcpy(out.data() + table_end + offset, e.stream.data(), e.stream.size());
    offset += e.stream.size();
  }
  return out;
}

std::vector<unsigned char> write_package(const std::vector<PackFile>& files) {
  std::vector<RawEntry> entries;
  entries.reserve(files.size());
  for (const PackFile& f : files) {
    std::string stream = compress_stream(f.data);
    if (stream.empty()) return {};
    entries.push_back({f.name, std::move(stream),
                       static_cast<uint32_t>(f.data.size()), f.time});
  }
  return write_raw_package(entries);
}
