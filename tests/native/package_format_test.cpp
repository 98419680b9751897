#include "package/package_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<PackageEntry> walk(const std::vector<unsigned char>& package) {
  std::vector<PackageEntry> entries;
  PackageCursor cursor = begin_package_walk(package.data());
  PackageEntry entry;
  while (next_package_entry(cursor, entry)) entries.push_back(entry);
  return entries;
}

std::vector<unsigned char> sample_package() {
  return write_package({{"a.txt", "alpha", 1451606400},
                        {"data\\b.bin", std::string(1000, 'b'), 1420070400},
                        {"x", "", 0}});
}

TEST(PackageFormat, WrittenPackageWalksBackWithItsFields) {
  auto package = sample_package();
  ASSERT_EQ(check_package(package), kPackageSound);
  auto entries = walk(package);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "a.txt");
  EXPECT_EQ(entries[1].name, "data\\b.bin");
  EXPECT_EQ(entries[1].unpacked_size, 1000u);
  EXPECT_EQ(entries[1].time, 1420070400);
  EXPECT_EQ(entries[0].offset, 0u);
  EXPECT_EQ(entries[1].offset, entries[0].stored_size);  // back to back
  // data_start is the end of the table: 8 + sum(name + 1 + 16).
  EXPECT_EQ(get_le32(package.data() + 4), 8u + (6 + 16) + (11 + 16) + (2 + 16));

  PackageCursor cursor = begin_package_walk(package.data());
  std::vector<unsigned char> out(2000);
  for (const PackageEntry& e : entries) {
    const unsigned char* stream = package.data() + get_le32(package.data() + 4) + e.offset;
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);
    EXPECT_EQ(inflate_entry(stream, e, out.data(), out.size()), 0) << e.name;
  }
  (void)cursor;
}

TEST(PackageFormat, OneByteNameTakesEighteenBytesOfTable) {
  auto package = write_package({{"z", "", 0}});
  EXPECT_EQ(get_le32(package.data() + 4), 8u + 18u);
}

TEST(PackageFormat, EntryFoundThroughItsOffsetWhateverTheOrder) {
  std::string first = compress_stream("first"), second = compress_stream("second!");
  // Streams stored in reverse order; the offsets say where each is.
  std::vector<RawEntry> raw = {{"one", second + first, 5, 0}, {"two", "", 7, 0}};
  auto package = write_raw_package(raw);
  uint32_t table_end = get_le32(package.data() + 4);
  // one: stored_size at name end, offset next. Point "one" at `first`.
  put_le32(package.data() + 8 + 4, static_cast<uint32_t>(first.size()));
  put_le32(package.data() + 8 + 4 + 4, static_cast<uint32_t>(second.size()));
  put_le32(package.data() + 8 + 20 + 4, static_cast<uint32_t>(second.size()));
  put_le32(package.data() + 8 + 20 + 4 + 4, 0);
  ASSERT_EQ(check_package(package), kPackageSound);
  auto entries = walk(package);
  std::vector<unsigned char> out(16);
  for (const auto& e : entries)
    EXPECT_EQ(inflate_entry(package.data() + table_end + e.offset, e, out.data(), out.size()), 0);
}

TEST(PackageFormat, StreamThatInflatesToAnotherSizeIsDamaged) {
  std::string stream = compress_stream("12345");
  PackageEntry entry{"n", static_cast<uint32_t>(stream.size()), 0, 4, 0};
  std::vector<unsigned char> out(100);
  auto bytes = reinterpret_cast<const unsigned char*>(stream.data());
  EXPECT_EQ(inflate_entry(bytes, entry, out.data(), out.size()), -1);  // more
  entry.unpacked_size = 6;
  EXPECT_EQ(inflate_entry(bytes, entry, out.data(), out.size()), -1);  // fewer
  entry.unpacked_size = 5;
  EXPECT_EQ(inflate_entry(bytes, entry, out.data(), 4), -1);  // past the buffer
  stream[stream.size() - 1] ^= 1;                                // Adler-32
  EXPECT_EQ(inflate_entry(bytes, entry, out.data(), out.size()), -1);
}

struct DamageCase {
  const char* what;
  void (*damage)(std::vector<unsigned char>&);
  PackageCheck expected;
};

const DamageCase kDamage[] = {
    {"empty", [](auto& p) { p.clear(); }, kPackageTooShort},
    {"header cut", [](auto& p) { p.resize(7); }, kPackageTooShort},
    {"negative count", [](auto& p) { put_le32(p.data(), 0x80000000); }, kPackageBadHeader},
    {"data_start past end", [](auto& p) { put_le32(p.data() + 4, uint32_t(p.size() + 1)); },
     kPackageBadHeader},
    {"data_start in header", [](auto& p) { put_le32(p.data() + 4, 4); }, kPackageBadHeader},
    {"count too large", [](auto& p) { put_le32(p.data(), 4); }, kPackageNameUnended},
    {"count huge", [](auto& p) { put_le32(p.data(), 0x7FFFFFFF); }, kPackageNameUnended},
    {"count smaller", [](auto& p) { put_le32(p.data(), 2); }, kPackageTableLeftover},
    {"zero count with table", [](auto& p) { put_le32(p.data(), 0); }, kPackageTableLeftover},
    {"table cut inside fields",
     [](auto& p) { put_le32(p.data() + 4, 8 + 6 + 10); p.resize(8 + 6 + 10); },
     kPackageTableOverrun},
    {"data cut", [](auto& p) { p.resize(p.size() - 1); }, kPackageStreamOutside},
    {"offset past end", [](auto& p) { put_le32(p.data() + 8 + 6 + 4, 0xFFFFFFF0); },
     kPackageStreamOutside},
    {"stored size past end", [](auto& p) { put_le32(p.data() + 8 + 6, 0xFFFFFFFF); },
     kPackageStreamOutside},
};

TEST(PackageFormat, TableDamageIsFoundWithoutReadingOutside) {
  for (const DamageCase& c : kDamage) {
    auto package = sample_package();
    c.damage(package);
    // An exact-size copy lets AddressSanitizer see any read past the end.
    std::vector<unsigned char> exact(package);
    exact.shrink_to_fit();
    EXPECT_EQ(check_package(exact), c.expected) << c.what;
  }
}

TEST(PackageFormat, EmptyPackageIsSound) {
  auto package = write_package({});
  ASSERT_EQ(package.size(), 8u);
  EXPECT_EQ(check_package(package), kPackageSound);
  EXPECT_TRUE(walk(package).empty());
}

TEST(PackageFormat, UnsafeNamesFailTheCheck) {
  for (const char* name : {"..\\x", "a\\..\\..\\x", "\\x", "C:\\x", "x:stream", "a/../x", "",
                           "a\\", "a\\\\b", ".\\a"}) {
    auto package = write_raw_package({{name, compress_stream("x"), 1, 0}});
    EXPECT_EQ(check_package(package), kPackageUnsafeName) << name;
  }
}

}  // namespace
