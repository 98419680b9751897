// The package tool: builds an edition's package from a folder of game
// files, lists one, and verifies one.
//
//   tivpack pack [--add NAME FILE]... DIR OUT
//   tivpack list PKG
//   tivpack verify PKG
//
// Packing is deterministic: entries sorted by name, level-9 streams back
// to back in table order. A file time later than SOURCE_DATE_EPOCH (when
// set) is written as SOURCE_DATE_EPOCH, so a fresh checkout packs to the
// same bytes as any other.
#include <iconv.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/sjis_path.h"
#include "run/shared_buffer.h"

namespace fs = std::filesystem;

static int usage() {
  std::fprintf(stderr,
               "usage: tivpack pack [--add NAME FILE]... DIR OUT\n"
               "       tivpack list PKG\n"
               "       tivpack verify PKG\n");
  return 2;
}

static std::optional<std::string> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

// File names on this side are UTF-8; the package carries CP932.
static std::optional<std::string> to_cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(utf8.size() * 2 + 1, '\0');
  char* in_ptr = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

static std::optional<int64_t> source_date_epoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (*end != '\0') return std::nullopt;
  return value;
}

static std::optional<int32_t> package_time_of(const fs::path& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  int64_t seconds = status.st_mtime;
  if (auto epoch = source_date_epoch(); epoch && seconds > *epoch) seconds = *epoch;
  if (seconds < INT32_MIN || seconds > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(seconds);
}

static std::optional<PackFile> pack_file(const std::string& name_utf8, const fs::path& path) {
  auto name = to_cp932(name_utf8);
  if (!name || !is_safe_entry_name(*name)) {
    std::fprintf(stderr, "tivpack: %s: not a name the package can carry\n", name_utf8.c_str());
    return std::nullopt;
  }
  auto data = read_file(path);
  auto time = package_time_of(path);
  if (!data || !time) {
    std::fprintf(stderr, "tivpack: %s: cannot read: %s\n", path.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  if (data->size() > kSharedBufferSize) {
    std::fprintf(stderr, "tivpack: %s: larger than the updater's %zu-byte buffer\n",
                 path.c_str(), kSharedBufferSize);
    return std::nullopt;
  }
  return PackFile{*name, std::move(*data), *time};
}

static int pack(int argc, char** argv) {
  std::vector<std::pair<std::string, fs::path>> added;
  int i = 0;
  while (i < argc && std::strcmp(argv[i], "--add") == 0) {
    if (i + 2 >= argc) return usage();
    added.emplace_back(argv[i + 1], argv[i + 2]);
    i += 3;
  }
  if (argc - i != 2) return usage();
  const fs::path dir = argv[i];
  const fs::path out = argv[i + 1];

  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    std::fprintf(stderr, "tivpack: %s: not a directory\n", dir.c_str());
    return 1;
  }
  std::vector<std::pair<std::string, fs::path>> sources;
  for (auto it = fs::recursive_directory_iterator(dir, error); !error && it != fs::end(it);
       it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::string name = fs::relative(it->path(), dir).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    sources.emplace_back(name, it->path());
  }
  if (error) {
    std::fprintf(stderr, "tivpack: %s: %s\n", dir.c_str(), error.message().c_str());
    return 1;
  }
  sources.insert(sources.end(), added.begin(), added.end());
  std::sort(sources.begin(), sources.end());

  std::vector<PackFile> files;
  for (const auto& [name, path] : sources) {
    auto file = pack_file(name, path);
    if (!file) return 1;
    files.push_back(std::move(*file));
  }
  std::vector<unsigned char> package = write_package(files);
  if (package.empty()) {
    std::fprintf(stderr, "tivpack: compression failed\n");
    return 1;
  }
  std::ofstream output(out, std::ios::binary | std::ios::trunc);
  output.write(reinterpret_cast<const char*>(package.data()),
               static_cast<std::streamsize>(package.size()));
  output.close();
  if (!output) {
    std::fprintf(stderr, "tivpack: %s: cannot write\n", out.c_str());
    return 1;
  }
  return 0;
}

static std::optional<std::vector<unsigned char>> load_package(const char* path) {
  auto data = read_file(path);
  if (!data) {
    std::fprintf(stderr, "tivpack: %s: cannot read: %s\n", path, std::strerror(errno));
    return std::nullopt;
  }
  std::vector<unsigned char> package(data->begin(), data->end());
  if (PackageCheck check = check_package(package); check != kPackageSound) {
    std::fprintf(stderr, "tivpack: %s: damaged table (check %d)\n", path, check);
    return std::nullopt;
  }
  return package;
}

static int list(const char* path) {
  auto package = load_package(path);
  if (!package) return 1;
  PackageCursor cursor = begin_package_walk(package->data());
  PackageEntry entry;
  while (next_package_entry(cursor, entry)) {
    time_t time = entry.time;
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::gmtime(&time));
    std::printf("%.*s\t%" PRIu32 "\t%" PRIu32 "\t%s\n", static_cast<int>(entry.name.size()),
                entry.name.data(), entry.stored_size, entry.unpacked_size, when);
  }
  return 0;
}

static int verify(const char* path) {
  auto package = load_package(path);
  if (!package) return 1;
  PackageCursor cursor = begin_package_walk(package->data());
  PackageEntry entry;
  int damaged = 0;
  size_t count = 0;
  std::vector<unsigned char> buffer;
  while (next_package_entry(cursor, entry)) {
    ++count;
    buffer.resize(std::min<size_t>(entry.unpacked_size, kSharedBufferSize) + 1);
    if (inflate_entry(entry_stream(cursor, entry), entry, buffer.data(), buffer.size()) != 0) {
      std::fprintf(stderr, "tivpack: %s: entry %.*s does not inflate to %" PRIu32 " bytes\n",
                   path, static_cast<int>(entry.name.size()), entry.name.data(),
                   entry.unpacked_size);
      ++damaged;
    }
  }
  if (damaged) return 1;
  std::printf("%s: %zu entries, sound\n", path, count);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string command = argv[1];
  if (command == "pack") return pack(argc - 2, argv + 2);
  if (command == "list" && argc == 3) return list(argv[2]);
  if (command == "verify" && argc == 3) return verify(argv[2]);
  return usage();
}
