// Bad inputs of every kind the updater reads, with the real editions:
// damaged packages, odd uninstall records, odd registry values and paths
// too long for their buffers. Each row gives the input, the boxes the user
// sees and what may be on disk afterwards. Whatever the input, nothing
// outside the install folder changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "record/installed_item_list.h"
#include "run/edition_profile.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int32_t kEntryTime = 1450000000;  // 2015-12-13
constexpr long long kOldTime = 1400000000;  // 2014-05-13
constexpr size_t kSharedBuffer = 153'000'000;

std::string formatted(const char* format, const char* argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

const EditionProfile& profile_of(bool append) { return append ? append_edition : patch_edition; }

std::string plain_prompt(bool append) {
  return formatted(kPlainPromptText, profile_of(append).title);
}
std::string file_in_use(bool append) {
  return formatted(kFileInUseText, profile_of(append).product_name);
}
std::string game_missing(bool append) {
  return formatted(kGameMissingText, profile_of(append).game_exe_name);
}
std::string not_installed(bool append) {
  return formatted(kNotInstalledText, profile_of(append).product_name);
}

// The texts of the boxes in order, the progress window as kProgress (a
// window that is gone at once may be read before its text is).
const std::string kProgress = "(progress window)";
std::vector<std::string> texts_of(const RunResult& run) {
  std::vector<std::string> texts;
  for (const Box& box : run.boxes) texts.push_back(box.is_progress() ? kProgress : box.text);
  return texts;
}

// Everything below `folder`, one line each: relative path, and for a file
// its size and write time.
void list_tree(const std::string& folder, const std::string& prefix,
               std::vector<std::string>& out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string relative = prefix + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back(relative + "\\");
      list_tree(folder + "\\" + name, relative + "\\", out);
    } else {
      ULARGE_INTEGER size;
      size.LowPart = found.nFileSizeLow;
      size.HighPart = found.nFileSizeHigh;
      out.push_back(relative + " " + std::to_string(size.QuadPart) + " " +
                    std::to_string(file_write_time(folder + "\\" + name)));
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<std::string> tree(const std::string& folder) {
  std::vector<std::string> out;
  list_tree(folder, "", out);
  return out;
}

// The names directly in `folder`.
std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return out;
  do out.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  return out;
}

// Each row plays in a sandbox of its own, C:\tivarne-tests\bad-NAME: the
// install folder "game", and beside it the edition's copy and a canary.
// What lies outside the install folder is the drive's root, the tests'
// root and the sandbox without "game".
struct Sandbox {
  std::string root;
  std::string game;  // the install folder

  std::vector<std::string> outside() const {
    std::vector<std::string> out = names_in("C:");
    for (const std::string& name : names_in("C:\\tivarne-tests")) out.push_back("tests: " + name);
    // The install folder's first component below the sandbox.
    std::string game_top = game.substr(root.size() + 1);
    game_top = game_top.substr(0, game_top.find('\\'));
    for (const std::string& line : tree(root))
      if (line.rfind(game_top + "\\", 0) != 0) out.push_back("sandbox: " + line);
    return out;
  }
};

// Lines that `after` gained (+) or lost (-) against `before`.
std::vector<std::string> changes(const std::vector<std::string>& before,
                                 const std::vector<std::string>& after) {
  std::vector<std::string> out;
  for (const std::string& line : after)
    if (std::find(before.begin(), before.end(), line) == before.end()) out.push_back("+ " + line);
  for (const std::string& line : before)
    if (std::find(after.begin(), after.end(), line) == after.end()) out.push_back("- " + line);
  return out;
}

std::string record_of_game(const std::string& folder) {
  std::string record = "D" + folder + '\0' + "F" + folder + "\\Tivarne.exe" + '\0';
  return record + '\0';
}

// A registered game of version 1.3.0 (the plain prompt in both editions)
// with a record, a canary beside it, and `game_name` below the sandbox.
Sandbox make_sandbox(const std::string& name, const std::string& game_name = "game") {
  Sandbox box{fresh_folder("bad-" + name), ""};
  box.game = box.root + "\\" + game_name;
  for (size_t at = box.root.size() + 1; at <= box.game.size(); ++at)
    if (at == box.game.size() || box.game[at] == '\\')
      CreateDirectoryA(box.game.substr(0, at).c_str(), nullptr);
  CopyFileA(game_exe_path("game_1_3_0").c_str(), (box.game + "\\Tivarne.exe").c_str(), FALSE);
  write_file(box.game + "\\uinst.dat", record_of_game(box.game));
  write_file(box.root + "\\canary.txt", "canary");
  set_install_folder(box.game.c_str());
  return box;
}

// ---------------------------------------------------------------------------
// Packages

RawEntry entry(const std::string& name, const std::string& data) {
  return {name, compress_stream(data), static_cast<uint32_t>(data.size()), kEntryTime};
}

// first.txt, victim.txt, sub\third.txt. The install folder already holds a
// victim.txt of its own, which a damaged second stream must leave alone.
std::vector<RawEntry> three_entries() {
  return {entry("first.txt", "first contents"), entry("victim.txt", "new victim contents"),
          entry("sub\\third.txt", "third contents")};
}
const char kOldVictim[] = "old victim contents";

Bytes standard_package() { return write_raw_package(three_entries()); }

// Offset of entry `index`'s stored_size, behind its name.
size_t fields_of(const Bytes& package, int index) {
  size_t position = kPackageHeaderSize;
  for (int i = 0;; ++i) {
    position += std::strlen(reinterpret_cast<const char*>(package.data() + position)) + 1;
    if (i == index) return position;
    position += kEntryFixedSize;
  }
}
size_t data_start_of(const Bytes& package) { return get_le32(package.data() + 4); }

void set32(Bytes& package, size_t at, uint32_t value) { put_le32(package.data() + at, value); }

using Build = std::function<Bytes()>;

// The standard package, changed.
Build changed(std::function<void(Bytes&)> change) {
  return [change] {
    Bytes package = standard_package();
    change(package);
    return package;
  };
}
// The standard package cut to the length that `where` says.
Build cut(std::function<size_t(const Bytes&)> where) {
  return changed([where](Bytes& package) { package.resize(where(package)); });
}
// The three entries with the victim's entry changed before packing.
Build victim(std::function<void(RawEntry&)> change) {
  return [change] {
    std::vector<RawEntry> entries = three_entries();
    change(entries[1]);
    return write_raw_package(entries);
  };
}
// A sound first entry, then one named `name`.
Build named(std::string name) {
  return [name] { return write_raw_package({entry("first.txt", "first"), entry(name, "x")}); };
}

enum class Expect {
  kTableDamaged,   // the damaged box, nothing written at all
  kStreamDamaged,  // the damaged box after first.txt; victim.txt untouched
  kDone,           // completion; every entry written
};

struct PackageRow {
  const char* name;
  Build package;
  Expect expect;
  bool append = false;
};

std::ostream& operator<<(std::ostream& out, const PackageRow& row) { return out << row.name; }

class DamagedPackage : public testing::TestWithParam<PackageRow> {};

TEST_P(DamagedPackage, GetsAClearOutcome) {
  const PackageRow& row = GetParam();
  Sandbox box = make_sandbox(row.name);
  const std::string victim_path = box.game + "\\victim.txt";
  write_file(victim_path, kOldVictim);
  set_file_times(victim_path, kOldTime);
  const std::string exe = box.root + "\\updater.exe";
  const Bytes package = row.package();
  ASSERT_TRUE(copy_with_package(edition_path(row.append ? "tivarn_append104" : "tivarn_patch104"),
                                exe, row.append, package));
  const std::vector<std::string> install_before = tree(box.game);
  const std::vector<std::string> outside_before = box.outside();
  const std::string record_before = read_file(box.game + "\\uinst.dat");

  RunResult run = run_program(exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  for (const Box& shown : run.boxes) EXPECT_EQ(shown.caption, profile_of(row.append).title);
  EXPECT_EQ(changes(outside_before, box.outside()), std::vector<std::string>{});

  switch (row.expect) {
    case Expect::kTableDamaged:
      EXPECT_EQ(texts_of(run), (std::vector<std::string>{plain_prompt(row.append),
                                                         kPackageDamagedText}))
          << describe(run);
      EXPECT_EQ(changes(install_before, tree(box.game)), std::vector<std::string>{});
      break;
    case Expect::kStreamDamaged:
      EXPECT_EQ(texts_of(run), (std::vector<std::string>{plain_prompt(row.append),
                                                         kProgress, kPackageDamagedText}))
          << describe(run);
      EXPECT_EQ(read_file(box.game + "\\first.txt"), "first contents");
      EXPECT_EQ(read_file(victim_path), kOldVictim);
      EXPECT_EQ(file_write_time(victim_path), kOldTime);
      EXPECT_FALSE(directory_exists(box.game + "\\sub"));
      EXPECT_EQ(read_file(box.game + "\\uinst.dat"), record_before);
      break;
    case Expect::kDone: {
      EXPECT_EQ(texts_of(run), (std::vector<std::string>{plain_prompt(row.append),
                                                         kProgress, kCompletedText}))
          << describe(run);
      PackageCursor cursor = begin_package_walk(package.data());
      PackageEntry written;
      while (next_package_entry(cursor, written)) {
        std::string path = box.game + "\\" + std::string(written.name);
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
        EXPECT_EQ(data.nFileSizeLow, written.unpacked_size) << path;
        EXPECT_EQ(file_write_time(path), written.time) << path;
      }
      break;
    }
  }
  if (!HasFailure()) remove_tree(box.root);
}

const PackageRow kPackageRows[] = {
    // Cut short in the header, the table and the data.
    {"cut_in_header", cut([](const Bytes&) { return 6; }), Expect::kTableDamaged},
    {"cut_after_header", cut([](const Bytes&) { return 8; }), Expect::kTableDamaged},
    {"cut_in_first_name", cut([](const Bytes&) { return 12; }), Expect::kTableDamaged},
    {"cut_in_second_fields", cut([](const Bytes& p) { return fields_of(p, 1) + 6; }),
     Expect::kTableDamaged},
    {"cut_at_data_start", cut([](const Bytes& p) { return data_start_of(p); }),
     Expect::kTableDamaged},
    {"cut_in_first_stream", cut([](const Bytes& p) { return data_start_of(p) + 3; }),
     Expect::kTableDamaged},
    {"cut_last_byte", cut([](const Bytes& p) { return p.size() - 1; }), Expect::kTableDamaged},
    // The header's two fields.
    {"entry_count_minus_one", changed([](Bytes& p) { set32(p, 0, 0xFFFFFFFF); }),
     Expect::kTableDamaged},
    {"entry_count_top_bit", changed([](Bytes& p) { set32(p, 0, 0x80000000); }),
     Expect::kTableDamaged},
    {"entry_count_one_more", changed([](Bytes& p) { set32(p, 0, 4); }), Expect::kTableDamaged},
    {"entry_count_largest", changed([](Bytes& p) { set32(p, 0, 0x7FFFFFFF); }),
     Expect::kTableDamaged},
    {"entry_count_zero_with_table", changed([](Bytes& p) { set32(p, 0, 0); }),
     Expect::kTableDamaged},
    {"entry_count_one_less", changed([](Bytes& p) { set32(p, 0, 2); }), Expect::kTableDamaged},
    {"data_start_past_end", changed([](Bytes& p) { set32(p, 4, static_cast<uint32_t>(p.size() + 1)); }),
     Expect::kTableDamaged},
    {"data_start_in_header", changed([](Bytes& p) { set32(p, 4, 4); }), Expect::kTableDamaged},
    {"data_start_in_table", changed([](Bytes& p) { set32(p, 4, static_cast<uint32_t>(data_start_of(p) - 1)); }),
     Expect::kTableDamaged},
    {"data_start_largest", changed([](Bytes& p) { set32(p, 4, 0xFFFFFFFF); }),
     Expect::kTableDamaged},
    // An entry's stream outside the data.
    {"offset_past_end",
     changed([](Bytes& p) {
       set32(p, fields_of(p, 2) + 4, static_cast<uint32_t>(p.size() - data_start_of(p) + 1));
     }),
     Expect::kTableDamaged},
    {"stored_size_past_end",
     changed([](Bytes& p) { set32(p, fields_of(p, 2), get_le32(p.data() + fields_of(p, 2)) + 1); }),
     Expect::kTableDamaged},
    {"offset_and_size_wrap_around",
     changed([](Bytes& p) {
       set32(p, fields_of(p, 2) + 4, 0xFFFFFFF0);
       set32(p, fields_of(p, 2), 0x20);
     }),
     Expect::kTableDamaged},
    // Names.
    {"name_without_nul_to_data_start",
     [] {
       Bytes p = {1, 0, 0, 0, 0, 0, 0, 0, 'n', 'a', 'm', 'e', 'x', 'y', 'z'};
       set32(p, 4, static_cast<uint32_t>(p.size()));
       return p;
     },
     Expect::kTableDamaged},
    {"name_nul_overwritten",
     changed([](Bytes& p) { p[fields_of(p, 0) - 1] = 'x'; }), Expect::kTableDamaged},
    {"name_dot_dot_up", named("..\\escaped.txt"), Expect::kTableDamaged},
    {"name_dot_dot_inside", named("a\\..\\..\\escaped.txt"), Expect::kTableDamaged},
    {"name_rooted", named("\\escaped.txt"), Expect::kTableDamaged},
    {"name_drive", named("C:\\escaped.txt"), Expect::kTableDamaged},
    {"name_drive_relative", named("C:escaped.txt"), Expect::kTableDamaged},
    {"name_stream", named("first.txt:stream"), Expect::kTableDamaged},
    {"name_slash_dot_dot", named("a/../../escaped.txt"), Expect::kTableDamaged},
    {"name_slash_rooted", named("/escaped.txt"), Expect::kTableDamaged},
    {"name_empty", named(""), Expect::kTableDamaged},
    {"name_ends_in_separator", named("sub\\"), Expect::kTableDamaged},
    {"name_dot", named("a\\.\\x.txt"), Expect::kTableDamaged},
    {"name_empty_component", named("a\\\\x.txt"), Expect::kTableDamaged},
    {"name_cut_double_byte", named("x\x95"), Expect::kTableDamaged},
    {"name_unc", named("\\\\host\\share\\escaped.txt"), Expect::kTableDamaged},
    {"name_device_nul", named("NUL"), Expect::kTableDamaged},
    {"name_device_com1", named("sub\\COM1.txt"), Expect::kTableDamaged},
    {"name_device_con", named("con"), Expect::kTableDamaged},
    {"name_trailing_dot", named("first.txt."), Expect::kTableDamaged},
    {"name_trailing_space", named("first.txt "), Expect::kTableDamaged},
    {"name_three_dots", named("...\\escaped.txt"), Expect::kTableDamaged},
    {"name_dot_dot_space", named(".. \\escaped.txt"), Expect::kTableDamaged},
    {"name_wildcard", named("a*b.txt"), Expect::kTableDamaged},
    {"name_pipe", named("a|b.txt"), Expect::kTableDamaged},
    {"name_control", named("a\x01" "b.txt"), Expect::kTableDamaged},
    // Streams that do not inflate to their entry.
    {"stream_bad_adler32", victim([](RawEntry& e) { e.stream.back() ^= 0x01; }),
     Expect::kStreamDamaged},
    {"stream_inflates_to_more", victim([](RawEntry& e) { e.unpacked_size -= 1; }),
     Expect::kStreamDamaged},
    {"stream_inflates_to_fewer", victim([](RawEntry& e) { e.unpacked_size += 1; }),
     Expect::kStreamDamaged},
    {"stream_cut_short", victim([](RawEntry& e) { e.stream.resize(e.stream.size() - 6); }),
     Expect::kStreamDamaged},
    {"stream_not_zlib", victim([](RawEntry& e) { e.stream = "not a zlib stream"; }),
     Expect::kStreamDamaged},
    {"stream_of_no_bytes",
     victim([](RawEntry& e) {
       e.stream.clear();
       e.unpacked_size = 0;
     }),
     Expect::kStreamDamaged},
    {"stream_past_shared_buffer",
     victim([](RawEntry& e) {
       e.stream = compress_stream(std::string(kSharedBuffer + 1, '\0'));
       e.unpacked_size = kSharedBuffer + 1;
     }),
     Expect::kStreamDamaged},
    {"stream_past_shared_buffer_claims_less",
     victim([](RawEntry& e) { e.stream = compress_stream(std::string(kSharedBuffer + 1, '\0')); }),
     Expect::kStreamDamaged},
    // Sound edges.
    {"empty_package", [] { return Bytes{0, 0, 0, 0, 8, 0, 0, 0}; }, Expect::kDone},
    {"stream_fills_shared_buffer",
     [] { return write_raw_package({entry("big.dat", std::string(kSharedBuffer, '\0'))}); },
     Expect::kDone},
    // The append edition checks its package the same way.
    {"append_data_start_past_end",
     changed([](Bytes& p) { set32(p, 4, static_cast<uint32_t>(p.size() + 1)); }),
     Expect::kTableDamaged, true},
    {"append_name_dot_dot", named("..\\escaped.txt"), Expect::kTableDamaged, true},
    {"append_stream_bad_adler32", victim([](RawEntry& e) { e.stream.back() ^= 0x01; }),
     Expect::kStreamDamaged, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, DamagedPackage, testing::ValuesIn(kPackageRows),
                         [](const testing::TestParamInfo<PackageRow>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Records: the real edition and its own package.

// Deterministic bytes of every value.
std::string garbage(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return out;
}

// The strings of a record up to its first empty one, each once by its
// folded key: what loading it must keep.
std::vector<std::string> loadable_items(const std::string& bytes) {
  std::vector<std::string> items;
  std::vector<std::string> keys;
  for (size_t position = 0; position < bytes.size() && bytes[position] != '\0';) {
    size_t end = std::min(bytes.find('\0', position), bytes.size());
    std::string item = bytes.substr(position, end - position);
    std::string key = fold_item_key(item);
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      keys.push_back(key);
      items.push_back(item);
    }
    position = end + 1;
  }
  return items;
}

enum class RecordExpect {
  kLoaded,      // completion; the record keeps its items, then the new ones
  kUnreadable,  // the record's box, nothing written
};

struct RecordRow {
  const char* name;
  std::function<std::string(const std::string& folder)> record;  // null: see `prepare`
  RecordExpect expect;
  // Makes the record some other way; returns what to release after the run.
  std::function<HANDLE(const std::string& record_path)> prepare = nullptr;
};

std::ostream& operator<<(std::ostream& out, const RecordRow& row) { return out << row.name; }

class BadRecord : public testing::TestWithParam<RecordRow> {};

TEST_P(BadRecord, GetsAClearOutcome) {
  const RecordRow& row = GetParam();
  Sandbox box = make_sandbox(std::string("record-") + row.name);
  const std::string record_path = box.game + "\\uinst.dat";
  std::string record;
  HANDLE held = nullptr;
  if (row.record) {
    record = row.record(box.game);
    ASSERT_TRUE(write_file(record_path, record));
  } else {
    DeleteFileA(record_path.c_str());
    held = row.prepare(record_path);
  }
  const std::vector<std::string> install_before = tree(box.game);
  const std::vector<std::string> outside_before = box.outside();

  RunResult run = run_program(edition_path("tivarn_patch104"), answer_yes);
  if (held && held != INVALID_HANDLE_VALUE) CloseHandle(held);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(changes(outside_before, box.outside()), std::vector<std::string>{});

  if (row.expect == RecordExpect::kUnreadable) {
    EXPECT_EQ(texts_of(run), std::vector<std::string>{kRecordMissingText}) << describe(run);
    EXPECT_EQ(changes(install_before, tree(box.game)), std::vector<std::string>{});
    return;
  }
  EXPECT_EQ(texts_of(run),
            (std::vector<std::string>{plain_prompt(false), kProgress, kCompletedText}))
      << describe(run);
  EXPECT_TRUE(file_exists(box.game + "\\readme_patch104.txt"));
  const std::vector<std::string> loaded = loadable_items(record);
  const std::vector<std::string> saved = record_items(record_path);
  ASSERT_GT(saved.size(), loaded.size());
  EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), saved.begin()));
  for (size_t i = loaded.size(); i < saved.size(); ++i)
    EXPECT_TRUE(saved[i].rfind("D" + box.game + "\\", 0) == 0 ||
                saved[i].rfind("F" + box.game + "\\", 0) == 0)
        << saved[i];
  const std::string bytes = read_file(record_path);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), std::string(2, '\0'));
  if (!HasFailure()) remove_tree(box.root);
}

const RecordRow kRecordRows[] = {
    {"binary_garbage", [](const std::string&) { return garbage(4096, 7); }, RecordExpect::kLoaded},
    {"no_closing_string",
     [](const std::string& folder) {
       return "F" + folder + "\\a.txt" + '\0' + "F" + folder + "\\b.txt";
     },
     RecordExpect::kLoaded},
    {"item_of_5000_bytes",
     [](const std::string& folder) {
       std::string item = "F" + folder + "\\";
       item += std::string(5000 - item.size(), 'a');
       return item + '\0' + '\0';
     },
     RecordExpect::kLoaded},
    {"items_50000",
     [](const std::string& folder) {
       std::string record;
       for (int i = 0; i < 50000; ++i)
         record += "F" + folder + "\\old\\file" + std::to_string(i) + ".txt" + '\0';
       return record + '\0';
     },
     RecordExpect::kLoaded},
    {"is_a_directory", nullptr, RecordExpect::kUnreadable,
     [](const std::string& path) {
       CreateDirectoryA(path.c_str(), nullptr);
       return HANDLE(nullptr);
     }},
    {"held_open_exclusively", nullptr, RecordExpect::kUnreadable,
     [](const std::string& path) {
       write_file(path, std::string("FC:\\x") + '\0' + '\0');
       return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
     }},
};

INSTANTIATE_TEST_SUITE_P(Rows, BadRecord, testing::ValuesIn(kRecordRows),
                         [](const testing::TestParamInfo<RecordRow>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// The registry value DataDir, of any type and length.

enum class FolderExpect {
  kUsed,          // the update runs in the sandbox's game folder
  kGameMissing,   // taken as a folder, but no game there
  kNotInstalled,  // no folder: the question before the folder browser
};

// The folder padded with "\." to `length` bytes: the same folder, longer.
std::string padded(const std::string& folder, size_t length) {
  std::string out = folder;
  while (out.size() + 2 <= length) out += "\\.";
  if (out.size() < length) out = folder + "\\\\" + out.substr(folder.size() + 1);
  return out;
}

struct RegistryRow {
  const char* name;
  DWORD type;
  std::function<std::string(const std::string& folder)> value;  // the exact bytes stored
  FolderExpect expect;
  const char* game_name = "game";
};

std::ostream& operator<<(std::ostream& out, const RegistryRow& row) { return out << row.name; }

class BadRegistryValue : public testing::TestWithParam<RegistryRow> {};

// Confirms the update, but cancels the question that leads to the folder
// browser.
int answer_yes_but_no_browser(const Box& box) {
  return box.text == not_installed(false) ? IDCANCEL : answer_yes(box);
}

TEST_P(BadRegistryValue, GetsAClearOutcome) {
  const RegistryRow& row = GetParam();
  Sandbox box = make_sandbox(std::string("registry-") + row.name, sjis(row.game_name));
  const std::string value = row.value(box.game);
  set_registry_value(row.type, value.data(), static_cast<DWORD>(value.size()));
  const std::vector<std::string> install_before = tree(box.game);
  const std::vector<std::string> outside_before = box.outside();

  RunResult run = run_program(edition_path("tivarn_patch104"), answer_yes_but_no_browser);
  set_install_folder(nullptr);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(changes(outside_before, box.outside()), std::vector<std::string>{});

  switch (row.expect) {
    case FolderExpect::kUsed:
      EXPECT_EQ(texts_of(run),
                (std::vector<std::string>{plain_prompt(false), kProgress, kCompletedText}))
          << describe(run);
      EXPECT_TRUE(file_exists(box.game + "\\data\\script\\ch01.txt"));
      EXPECT_EQ(record_items(box.game + "\\uinst.dat").back(),
                "F" + box.game + "\\readme_patch104.txt");
      break;
    case FolderExpect::kGameMissing:
      EXPECT_EQ(texts_of(run), std::vector<std::string>{game_missing(false)}) << describe(run);
      EXPECT_EQ(changes(install_before, tree(box.game)), std::vector<std::string>{});
      break;
    case FolderExpect::kNotInstalled:
      EXPECT_EQ(texts_of(run), std::vector<std::string>{not_installed(false)}) << describe(run);
      EXPECT_EQ(changes(install_before, tree(box.game)), std::vector<std::string>{});
      break;
  }
  if (!HasFailure()) remove_tree(box.root);
}

std::string with_nul(std::string text) { return text + '\0'; }

const RegistryRow kRegistryRows[] = {
    {"sz_without_nul", REG_SZ, [](const std::string& f) { return f; }, FolderExpect::kUsed},
    {"sz_empty", REG_SZ, [](const std::string&) { return with_nul(""); },
     FolderExpect::kNotInstalled},
    // The buffer holds 260 bytes. A folder that long leaves no room for
    // "\Tivarne.exe" within the 260 bytes of the file calls: the game
    // is not found there, which shows the value was taken.
    {"sz_259_bytes_with_nul", REG_SZ, [](const std::string& f) { return with_nul(padded(f, 258)); },
     FolderExpect::kGameMissing},
    {"sz_259_bytes_without_nul", REG_SZ, [](const std::string& f) { return padded(f, 259); },
     FolderExpect::kGameMissing},
    {"sz_260_bytes_with_nul", REG_SZ, [](const std::string& f) { return with_nul(padded(f, 259)); },
     FolderExpect::kGameMissing},
    {"sz_260_bytes_without_nul", REG_SZ, [](const std::string& f) { return padded(f, 260); },
     FolderExpect::kNotInstalled},
    {"sz_261_bytes", REG_SZ, [](const std::string& f) { return with_nul(padded(f, 260)); },
     FolderExpect::kNotInstalled},
    {"expand_sz", REG_EXPAND_SZ, [](const std::string& f) { return with_nul(f); },
     FolderExpect::kUsed},
    {"expand_sz_not_expanded", REG_EXPAND_SZ,
     [](const std::string& f) { return with_nul("%SystemDrive%" + f.substr(2)); },
     FolderExpect::kGameMissing},
    {"dword", REG_DWORD, [](const std::string&) { return std::string("\x78\x56\x34\x12", 4); },
     FolderExpect::kGameMissing},
    {"binary_folder", REG_BINARY, [](const std::string& f) { return with_nul(f); },
     FolderExpect::kUsed},
    {"binary_arbitrary", REG_BINARY, [](const std::string&) { return garbage(64, 11); },
     FolderExpect::kGameMissing},
    {"binary_300_bytes", REG_BINARY, [](const std::string&) { return garbage(300, 13); },
     FolderExpect::kNotInstalled},
    {"folder_missing", REG_SZ, [](const std::string& f) { return with_nul(f + "\\nowhere"); },
     FolderExpect::kGameMissing},
    {"folder_ending_in_so", REG_SZ, [](const std::string& f) { return with_nul(f); },
     FolderExpect::kUsed, "gameソ"},
    {"folder_ending_in_hyou_and_separator", REG_SZ,
     [](const std::string& f) { return with_nul(f + "\\"); }, FolderExpect::kUsed, "game表"},
    {"folder_ending_in_lead_byte", REG_SZ, [](const std::string& f) { return with_nul(f + "\x95"); },
     FolderExpect::kGameMissing},
};

INSTANTIATE_TEST_SUITE_P(Rows, BadRegistryValue, testing::ValuesIn(kRegistryRows),
                         [](const testing::TestParamInfo<RegistryRow>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// An install folder of 240 bytes and entry names that take the paths past
// 260 and past 1024 bytes.

enum class LongExpect {
  kDone,       // completion, the entry written
  kCannotOpen, // the file-in-use box, the entry not written
  kEither,     // past the 260 bytes of the byte-string calls, which Wine
               // does not enforce everywhere: either, consistently
};

struct LongPathRow {
  const char* name;
  size_t path_length;  // of the last entry, folder included
  int depth;           // directories in its name
  LongExpect expect;
};

std::ostream& operator<<(std::ostream& out, const LongPathRow& row) { return out << row.name; }

class LongPath : public testing::TestWithParam<LongPathRow> {};

// A relative name of `depth` directories of equal length and a file name,
// `length` bytes in all.
std::string deep_name(size_t length, int depth) {
  const size_t file_length = 8;  // "f___.txt" and longer
  size_t directory_length = depth ? (length - file_length) / depth - 1 : 0;
  std::string name;
  for (int i = 0; i < depth; ++i) name += std::string(directory_length, 'a' + i % 26) + "\\";
  name += "f" + std::string(length - name.size() - 5, '_') + ".txt";
  return name;
}

TEST_P(LongPath, GetsAClearOutcome) {
  const LongPathRow& row = GetParam();
  const std::string root_name = std::string("long-") + row.name;
  // C:\tivarne-tests\bad-long-NAME\ then two directories up to 240 bytes.
  const size_t root_length = std::strlen("C:\\tivarne-tests\\bad-") + root_name.size() + 1;
  const std::string game_name =
      std::string(100, 'g') + "\\" + std::string(240 - root_length - 101, 'h');
  Sandbox box = make_sandbox(root_name, game_name);
  ASSERT_EQ(box.game.size(), 240u);
  ASSERT_TRUE(file_exists(box.game + "\\Tivarne.exe"));

  const std::string name = deep_name(row.path_length - box.game.size() - 1, row.depth);
  const std::string path = box.game + "\\" + name;
  ASSERT_EQ(path.size(), row.path_length);
  const std::string exe = box.root + "\\updater.exe";
  ASSERT_TRUE(copy_with_package(edition_path("tivarn_patch104"), exe, false,
                                write_raw_package({entry("ok.txt", "ok"), entry(name, "deep")})));
  // The byte-string calls of the sandbox's clean-up stop at 260 bytes;
  // the runtime's do not.
  std::remove(path.c_str());
  const std::string record_before = read_file(box.game + "\\uinst.dat");
  const std::vector<std::string> outside_before = box.outside();

  RunResult run = run_program(exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(changes(outside_before, box.outside()), std::vector<std::string>{});
  EXPECT_EQ(read_file(box.game + "\\ok.txt"), "ok");

  const std::vector<std::string> done = {plain_prompt(false), kProgress, kCompletedText};
  const std::vector<std::string> cannot_open = {plain_prompt(false), kProgress,
                                                file_in_use(false)};
  const bool written = texts_of(run) == done;
  ASSERT_TRUE(written || texts_of(run) == cannot_open) << describe(run);
  if (row.expect != LongExpect::kEither) {
    EXPECT_EQ(written, row.expect == LongExpect::kDone) << describe(run);
  }
  // Whichever it was, the disk and the record say the same.
  if (written) {
    EXPECT_EQ(read_file(path), "deep");
    EXPECT_EQ(record_items(box.game + "\\uinst.dat").back(), "F" + path);
  } else {
    EXPECT_FALSE(file_exists(path));
    EXPECT_EQ(read_file(box.game + "\\uinst.dat"), record_before);
  }
  std::remove(path.c_str());
  if (!HasFailure()) remove_tree(box.root);
}

const LongPathRow kLongPathRows[] = {
    {"deep_to_259", 259, 1, LongExpect::kDone},
    {"deep_past_260", 300, 2, LongExpect::kCannotOpen},
    {"flat_past_260", 290, 0, LongExpect::kEither},
    {"deep_past_1024", 1100, 8, LongExpect::kCannotOpen},
    {"flat_past_1024", 1100, 0, LongExpect::kCannotOpen},
};

INSTANTIATE_TEST_SUITE_P(Rows, LongPath, testing::ValuesIn(kLongPathRows),
                         [](const testing::TestParamInfo<LongPathRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
