// The uninstall record through whole runs of the real editions: what a
// successful run leaves in it, and that nothing else ever changes it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <set>

#include "package/package_format.h"
#include "record/installed_item_list.h"
#include "run/edition_profile.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

using Items = std::vector<std::string>;

std::string formatted(const char* format, const char* argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

const EditionProfile& profile_of(bool append) { return append ? append_edition : patch_edition; }
std::string edition_exe(bool append) {
  return edition_path(append ? "tivarn_append104" : "tivarn_patch104");
}

// A record of `items`; `closed`: with the closing empty string.
std::string record_bytes(const Items& items, bool closed = true) {
  std::string bytes;
  for (const std::string& item : items) bytes += item + '\0';
  if (closed) bytes += '\0';
  return bytes;
}

std::string upper_ascii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  return text;
}

// What writing the edition's package into `folder` (holding only the
// game) adds, in order: each directory before the first file inside it,
// parents first, then each file; nothing twice. The package's names are
// ASCII.
Items written_items(bool append, const std::string& folder) {
  std::vector<PackFile> files = unpack_package(edition_package(edition_exe(append), append));
  EXPECT_FALSE(files.empty());
  Items items;
  std::set<std::string> keys;
  auto add = [&](char letter, const std::string& path) {
    if (keys.insert(fold_item_key(letter + path)).second) items.push_back(letter + path);
  };
  for (const PackFile& file : files) {
    for (size_t at = file.name.find('\\'); at != std::string::npos;
         at = file.name.find('\\', at + 1))
      add('D', folder + "\\" + file.name.substr(0, at));
    add('F', folder + "\\" + file.name);
  }
  return items;
}

std::vector<std::string> message_texts(const RunResult& run) {
  std::vector<std::string> texts;
  for (const Box& box : run.messages()) texts.push_back(box.text);
  return texts;
}

std::string temporary_of(const std::string& folder) { return folder + "\\uinst.dat.new"; }

// ---------------------------------------------------------------------------
// A successful run: the loaded items, then the new ones, each once.

struct SavedCase {
  const char* name;
  bool append;
  // The record before the run, and the items of it that stay, for `folder`.
  std::string (*record)(const std::string& folder);
  Items (*kept)(const std::string& folder);
};

Items installer_items(const std::string& folder) {
  return {"D" + folder, "F" + folder + "\\Tivarne.exe"};
}

// Items already listed for files of the update, in other ASCII case,
// beside items the updater never writes.
Items mixed_items(const std::string& folder) {
  return {"D" + folder,
          "F" + folder + "\\Tivarne.exe",
          "R" + std::string("HKCU\\Software\\Brevandt\\Tivarne"),
          "d" + upper_ascii(folder) + "\\DATA",
          "F" + upper_ascii(folder) + "\\DATA\\SCRIPT\\CH02.TXT",
          // カ and ニ (0x83 0x4A, 0x83 0x6A): two files, not one.
          "F" + folder + "\\save\\\x83\x4A.dat",
          "F" + folder + "\\save\\\x83\x6A.dat",
          "fc" + folder.substr(1) + "\\readme_patch104.txt"};
}

const SavedCase kSavedCases[] = {
    {"InstallerRecord", false,
     [](const std::string& f) { return record_bytes(installer_items(f)); }, installer_items},
    {"ListedInOtherCase", false, [](const std::string& f) { return record_bytes(mixed_items(f)); },
     mixed_items},
    {"RepeatedItemsCollapse", false,
     [](const std::string& f) {
       return record_bytes({"D" + f, "F" + f + "\\Tivarne.exe",
                            "F" + upper_ascii(f) + "\\TIVARNE.EXE", "D" + f});
     },
     installer_items},
    {"ZeroBytes", false, [](const std::string&) { return std::string(); },
     [](const std::string&) { return Items{}; }},
    {"NoClosingString", false,
     [](const std::string& f) { return record_bytes(installer_items(f), false); }, installer_items},
    {"AppendEdition", true, [](const std::string& f) { return record_bytes(installer_items(f)); },
     installer_items},
};

void PrintTo(const SavedCase& c, std::ostream* out) { *out << c.name; }

class Saved : public testing::TestWithParam<SavedCase> {};

TEST_P(Saved, HoldsTheLoadedItemsThenTheNewOnesOnce) {
  const SavedCase& c = GetParam();
  const std::string folder = std::string("C:\\tivarne-tests\\record_") + c.name;
  const std::string record = c.record(folder);
  Install install = make_install(std::string("record_") + c.name, "game_1_3_0", &record);

  RunResult run = run_program(edition_exe(c.append), answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(message_texts(run),
            (std::vector<std::string>{formatted(kPlainPromptText, profile_of(c.append).title),
                                      kCompletedText}))
      << describe(run);

  Items expected = c.kept(folder);
  std::set<std::string> listed;
  for (const std::string& item : expected) listed.insert(fold_item_key(item));
  for (const std::string& item : written_items(c.append, folder))
    if (!listed.count(fold_item_key(item))) expected.push_back(item);
  EXPECT_EQ(read_file(install.record_path()), record_bytes(expected));
  EXPECT_FALSE(file_exists(temporary_of(folder)));
}

INSTANTIATE_TEST_SUITE_P(Record, Saved, testing::ValuesIn(kSavedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A record that cannot be read ends the run before anything is written.

struct UnreadableCase {
  const char* name;
  bool append;
  bool directory;  // uinst.dat is a directory; else there is none
};

const UnreadableCase kUnreadableCases[] = {
    {"Missing", false, false},
    {"MissingAppend", true, false},
    {"Directory", false, true},
};

void PrintTo(const UnreadableCase& c, std::ostream* out) { *out << c.name; }

class Unreadable : public testing::TestWithParam<UnreadableCase> {};

TEST_P(Unreadable, EndsWithItsBoxAndWritesNothing) {
  const UnreadableCase& c = GetParam();
  Install install = make_install(std::string("record_") + c.name, "game_1_3_0", nullptr);
  if (c.directory) ASSERT_TRUE(CreateDirectoryA(install.record_path().c_str(), nullptr));
  const auto before = folder_contents(install.folder);

  RunResult run = run_program(edition_exe(c.append), answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u) << describe(run);
  EXPECT_EQ(run.boxes[0].caption, profile_of(c.append).title);
  EXPECT_EQ(run.boxes[0].text, kRecordMissingText);
  EXPECT_EQ(run.boxes[0].buttons, "OK");
  EXPECT_FALSE(run.boxes[0].has_icon);
  EXPECT_EQ(folder_contents(install.folder), before);
}

INSTANTIATE_TEST_SUITE_P(Record, Unreadable, testing::ValuesIn(kUnreadableCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A failed extraction leaves the record as it was, byte for byte.

TEST(Record, FileHeldOpenLeavesTheRecord) {
  const std::string record = record_bytes(mixed_items("C:\\tivarne-tests\\record_held_open"));
  Install install = make_install("record_held_open", "game_1_3_0", &record);
  const std::string held = install.folder + "\\data\\bgm\\bgm03.ogg";
  CreateDirectoryA((install.folder + "\\data").c_str(), nullptr);
  CreateDirectoryA((install.folder + "\\data\\bgm").c_str(), nullptr);
  ASSERT_TRUE(write_file(held, "old"));
  ScopedHandle hold = hold_file_exclusively(held);
  ASSERT_TRUE(hold);

  RunResult run = run_program(edition_exe(true), answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(message_texts(run).back(),
            formatted(kFileInUseText, append_edition.product_name))
      << describe(run);
  EXPECT_TRUE(file_exists(install.folder + "\\data\\bgm\\bgm02.ogg"));  // written before
  EXPECT_EQ(read_file(install.record_path()), record);
  EXPECT_FALSE(file_exists(temporary_of(install.folder)));
}

TEST(Record, DamagedStreamLeavesTheRecord) {
  const std::string record = record_bytes(mixed_items("C:\\tivarne-tests\\record_damaged"));
  Install install = make_install("record_damaged", "game_1_3_0", &record);
  const std::string exe = "C:\\tivarne-tests\\record_damaged.exe";
  const std::string sound = "sound";
  const std::vector<unsigned char> package = write_raw_package(
      {{"data\\new\\sound.txt", compress_stream(sound), static_cast<uint32_t>(sound.size()), 0},
       {"data\\new\\damaged.txt", "not a zlib stream", 100, 0}});
  ASSERT_TRUE(copy_with_package(edition_exe(false), exe, false, package));

  RunResult run = run_program(exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(message_texts(run).back(), kPackageDamagedText) << describe(run);
  EXPECT_TRUE(file_exists(install.folder + "\\data\\new\\sound.txt"));
  EXPECT_EQ(read_file(install.record_path()), record);
  EXPECT_FALSE(file_exists(temporary_of(install.folder)));
}

// ---------------------------------------------------------------------------
// A save that fails keeps the old record whole, leaves no temporary file
// behind, and the run still reports completion.

void expect_completed_with_record_kept(const RunResult& run, const std::string& folder,
                                       const std::string& record) {
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(message_texts(run).back(), kCompletedText) << describe(run);
  EXPECT_EQ(read_file(folder + "\\uinst.dat"), record);
}

TEST(Record, TemporaryNameTakenByADirectory) {
  const std::string record = record_bytes(installer_items("C:\\tivarne-tests\\record_taken"));
  Install install = make_install("record_taken", "game_1_3_0", &record);
  ASSERT_TRUE(CreateDirectoryA(temporary_of(install.folder).c_str(), nullptr));

  RunResult run = run_program(edition_exe(false), answer_yes);
  expect_completed_with_record_kept(run, install.folder, record);
  EXPECT_TRUE(file_exists(install.folder + "\\readme_patch104.txt"));
  EXPECT_TRUE(directory_exists(temporary_of(install.folder)));
}

// A game on a tmpfs mapped as drive R:, with its record.
std::string install_on(SmallDrive& drive, const std::string& record) {
  const std::string folder = drive.root() + "game";
  EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_TRUE(CopyFileA(game_exe_path("game_1_3_0").c_str(), (folder + "\\Tivarne.exe").c_str(),
                        FALSE));
  EXPECT_TRUE(write_file(folder + "\\uinst.dat", record));
  set_install_folder(folder.c_str());
  return folder;
}

TEST(Record, ReadOnlyFolder) {
  SmallDrive drive('R', 20 * 1024);
  ASSERT_TRUE(drive.mounted()) << "mounting a tmpfs needs root";
  const std::string record = record_bytes(mixed_items("R:\\game"));
  const std::string folder = install_on(drive, record);
  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_TRUE(prefix);
  ASSERT_EQ(run_unix_script("mount -o remount,ro \"$(readlink -f '" + std::string(prefix) +
                            "/dosdevices/r:')\""),
            0);
  ASSERT_FALSE(write_file(folder + "\\probe", "x")) << "the drive is still writable";
  // Nothing to write but the record: an empty package.
  const std::string exe = "C:\\tivarne-tests\\record_read_only.exe";
  ASSERT_TRUE(copy_with_package(edition_exe(false), exe, false, write_raw_package({})));

  RunResult run = run_program(exe, answer_yes);
  expect_completed_with_record_kept(run, folder, record);
  EXPECT_EQ(folder_contents(folder).size(), 2u);  // Tivarne.exe and uinst.dat
}

TEST(Record, DiskFullWhileSaving) {
  // The patch edition needs 15 MiB free: with a record of 16.5 MiB on a
  // drive of 32, the run goes on, but a second copy of the record does
  // not fit.
  SmallDrive drive('R', 32 * 1024);
  ASSERT_TRUE(drive.mounted()) << "mounting a tmpfs needs root";
  Items items = installer_items("R:\\game");
  for (size_t size = 0; size < 17'300'000; size += items.back().size() + 1) {
    char item[64];
    std::snprintf(item, sizeof item, "FR:\\game\\data\\voice\\v%07zu.ogg", items.size());
    items.push_back(item);
  }
  const std::string record = record_bytes(items);
  const std::string folder = install_on(drive, record);
  ULARGE_INTEGER free_bytes;
  ASSERT_TRUE(GetDiskFreeSpaceExA(drive.root().c_str(), &free_bytes, nullptr, nullptr));
  ASSERT_GE(free_bytes.QuadPart, 15ull << 20);
  ASSERT_LT(free_bytes.QuadPart, record.size());

  RunResult run = run_program(edition_exe(false), answer_yes);
  expect_completed_with_record_kept(run, folder, record);
  EXPECT_TRUE(file_exists(folder + "\\readme_patch104.txt"));
  EXPECT_FALSE(file_exists(temporary_of(folder)));
}

}  // namespace
