// The floor: the least work that writing a package takes, against which
// the extractor and the edition are measured. For each entry one
// uncompress into a 153,000,000-byte buffer, the missing directories made
// with CreateDirectoryA, then _open, one _write, _close and _utime64.
// Nothing is checked beyond what these calls report.
//
//   floor PACKAGE FOLDER   prints "seconds=S peak=BYTES cpu=S"
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "bench/wine/bench_support.h"

static constexpr size_t kBufferSize = 153'000'000;

static uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static void make_directories(char* path) {
  for (char* p = path; *p; ++p) {
    if (*p != '\\' || p == path || p[-1] == ':') continue;
    *p = '\0';
    CreateDirectoryA(path, nullptr);
    *p = '\\';
  }
}

static int open_for_writing(char* path) {
  constexpr int flags = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY;
  int descriptor = _open(path, flags, _S_IREAD | _S_IWRITE);
  if (descriptor == -1) {
    make_directories(path);
    descriptor = _open(path, flags, _S_IREAD | _S_IWRITE);
  }
  return descriptor;
}

static int extract(const unsigned char* package, const char* folder, unsigned char* buffer) {
  const int32_t count = static_cast<int32_t>(le32(package));
  const unsigned char* data = package + le32(package + 4);
  const unsigned char* position = package + 8;
  const size_t folder_length = std::strlen(folder);
  char path[1024];
  std::memcpy(path, folder, folder_length);
  path[folder_length] = '\\';
  for (int32_t i = 0; i < count; ++i) {
    const size_t name_length = std::strlen(reinterpret_cast<const char*>(position));
    std::memcpy(path + folder_length + 1, position, name_length + 1);
    const unsigned char* fields = position + name_length + 1;
    position = fields + 16;

    uLongf length = kBufferSize;
    uncompress(buffer, &length, data + le32(fields + 4), le32(fields));
    int descriptor = open_for_writing(path);
    if (descriptor == -1) return 1;
    int written = _write(descriptor, buffer, static_cast<unsigned>(length));
    _close(descriptor);
    if (written != static_cast<int>(length)) return 2;
    const int64_t time = static_cast<int32_t>(le32(fields + 12));
    __utimbuf64 times = {time, time};
    _utime64(path, &times);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor PACKAGE FOLDER\n");
    return 2;
  }
  std::span<const unsigned char> package = bench::read_package(argv[1]);
  if (package.empty()) {
    std::fprintf(stderr, "floor: cannot read %s\n", argv[1]);
    return 2;
  }
  // Committed on first touch, as the edition's buffer in .bss.
  auto* buffer = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, kBufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!buffer) return 2;

  const double cpu_start = bench::cpu_seconds(GetCurrentProcess());
  const long long start = bench::now_ticks();
  int outcome = extract(package.data(), argv[2], buffer);
  const double seconds = bench::seconds_since(start);
  if (outcome != 0) {
    std::fprintf(stderr, "floor: failed with %d\n", outcome);
    return 1;
  }
  bench::print_result(seconds, bench::peak_bytes(GetCurrentProcess()),
                      bench::cpu_seconds(GetCurrentProcess()) - cpu_start);
  return 0;
}
