// The project's extraction code over a package file, without the user
// interface: no resource, no progress window, no record.
//
//   extract_bench PACKAGE FOLDER   prints "seconds=S peak=BYTES cpu=S"
#include "bench/wine/bench_support.h"
#include "package/extract.h"
#include "run/prompts.h"
#include "run/shared_buffer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_bench PACKAGE FOLDER\n");
    return 2;
  }
  std::span<const unsigned char> package = bench::read_package(argv[1]);
  if (package.empty()) {
    std::fprintf(stderr, "extract_bench: cannot read %s\n", argv[1]);
    return 2;
  }
  InstalledItemList items;
  const double cpu_start = bench::cpu_seconds(GetCurrentProcess());
  const long long start = bench::now_ticks();
  int outcome = extract_package_bytes(package, argv[2], shared_buffer, items, nullptr);
  const double seconds = bench::seconds_since(start);
  if (outcome != kExtractDone) {
    std::fprintf(stderr, "extract_bench: outcome %d\n", outcome);
    return 1;
  }
  bench::print_result(seconds, bench::peak_bytes(GetCurrentProcess()),
                      bench::cpu_seconds(GetCurrentProcess()) - cpu_start);
  return 0;
}
