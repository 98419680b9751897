// The uninstall record at scale: load a record of N items from memory, add
// 1,000 items of an update (half of them already listed, in other ASCII
// case), and write the record back to memory.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "record/installed_item_list.h"
#include "record/record_bytes.h"

namespace {

// Folders of an installed game, some with CP932 names (音声 = 0x89 0xB9 0x90 0xBA,
// 表示 = 0x95 0x5C 0x8E 0xA6, whose first trail byte is a backslash).
const char* const kFolders[] = {
    "data\\image\\ev",      "data\\image\\chara", "data\\image\\bg",   "data\\bgm",
    "data\\se",             "data\\script",       "data\\voice\\ch01", "data\\voice\\ch02",
    "data\\\x89\xb9\x90\xba", "data\\\x95\x5c\x8e\xa6\\Face", "Movie",            "Save",
};
const char* const kExtensions[] = {".png", ".png", ".png", ".ogg", ".wav", ".txt",
                                   ".ogg", ".ogg", ".ogg", ".bmp", ".mpg", ".dat"};
constexpr int kFolderCount = sizeof kFolders / sizeof kFolders[0];

std::string file_path(long index) {
  int folder = static_cast<int>(index % kFolderCount);
  char path[256];
  std::snprintf(path, sizeof path, "C:\\Games\\Tivarne\\%s\\ev%07ld%s", kFolders[folder],
                index / kFolderCount, kExtensions[folder]);
  return path;
}

// A record as the installer and earlier updates leave it: the folders,
// then `count` items in all, with the closing empty string.
std::string record_of(long count) {
  std::string bytes;
  long items = 0;
  for (const char* folder : kFolders) {
    if (items == count) break;
    bytes += std::string("DC:\\Games\\Tivarne\\") + folder + '\0';
    ++items;
  }
  for (long i = 0; items < count; ++i, ++items) bytes += 'F' + file_path(i) + '\0';
  bytes += '\0';
  return bytes;
}

std::string upper_ascii(std::string path) {
  for (char& c : path)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  return path;
}

// The update's items: even ones are new files, odd ones repeat a listed
// file with its ASCII letters in upper case.
std::vector<std::string> update_of(long count) {
  std::vector<std::string> paths;
  for (long i = 0; i < 1000; ++i) {
    if (i % 2 == 0)
      paths.push_back(file_path(count + i));
    else
      paths.push_back(upper_ascii(file_path((i * 7919) % (count - kFolderCount))));
  }
  return paths;
}

// `cold`: every round starts on memory fresh from the system, as a run of
// the updater does; first touches of pages are dear on some machines.
void load_add_save(benchmark::State& state, bool cold) {
  const long count = state.range(0);
  const std::string bytes = record_of(count);
  const std::vector<std::string> update = update_of(count);
  size_t expected_size = bytes.size();
  for (size_t i = 0; i < update.size(); i += 2) expected_size += update[i].size() + 2;
  size_t saved_size = 0;
  for (auto _ : state) {
    {
      InstalledItemList list;
      parse_record_bytes(bytes, list);
      for (const std::string& path : update) add_installed_item(list, 'F', path);
      std::string saved = record_bytes_of(list);
      saved_size = saved.size();
      benchmark::DoNotOptimize(saved.data());
    }
    if (cold) {
      state.PauseTiming();
      malloc_trim(0);  // freed pages go back to the system
      state.ResumeTiming();
    }
  }
  if (saved_size != expected_size)
    state.SkipWithError("the saved record does not hold exactly the 500 new items");
  state.SetComplexityN(count);
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * static_cast<long>(bytes.size()));
}

void BM_RecordLoadAddSave(benchmark::State& state) { load_add_save(state, false); }
void BM_RecordLoadAddSaveColdMemory(benchmark::State& state) { load_add_save(state, true); }

BENCHMARK(BM_RecordLoadAddSave)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_RecordLoadAddSaveColdMemory)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
