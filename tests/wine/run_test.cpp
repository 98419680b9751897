// The whole run of each edition, end to end: the guards, the install
// folder from the registry, the confirmation, and the update of a
// registered game with the edition's own package.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "run/edition_profile.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

std::string formatted(const char* format, const char* argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

struct Edition {
  const char* exe;
  const EditionProfile* profile;
  bool append;
};

const Edition kEditions[] = {
    {"tivarn_patch104", &patch_edition, false},
    {"tivarn_append104", &append_edition, true},
};

void PrintTo(const Edition& e, std::ostream* out) { *out << e.exe; }

std::string edition_name(const testing::TestParamInfo<Edition>& info) {
  return info.param.append ? "Append" : "Patch";
}

// A record that the game's installer might have left.
std::string installer_record(const std::string& folder) {
  return "D" + folder + '\0' + "F" + folder + "\\Tivarne.exe" + '\0' + '\0';
}

// What the updater adds to the record for `files` written into a folder
// that held no directories: each new directory once, parents first, before
// the first file below it; then the file. Names are plain ASCII here.
std::vector<std::string> added_items(const std::string& folder,
                                     const std::vector<PackFile>& files) {
  std::vector<std::string> items;
  std::set<std::string> directories;
  for (const PackFile& file : files) {
    for (size_t at = file.name.find('\\'); at != std::string::npos;
         at = file.name.find('\\', at + 1))
      if (directories.insert(file.name.substr(0, at)).second)
        items.push_back("D" + folder + "\\" + file.name.substr(0, at));
    items.push_back("F" + folder + "\\" + file.name);
  }
  return items;
}

class EachEdition : public testing::TestWithParam<Edition> {};

// The edition's own package into a game of version 1.3.0: every file with
// its bytes and times, the boxes in order, the record extended.
TEST_P(EachEdition, UpdatesARegisteredGame) {
  const Edition& edition = GetParam();
  const std::string exe = edition_path(edition.exe);
  const std::vector<PackFile> files = unpack_package(edition_package(exe, edition.append));
  ASSERT_FALSE(files.empty());
  Install install = make_install(std::string("happy_") + edition.exe, "game_1_3_0", nullptr);
  const std::string record = installer_record(install.folder);
  write_file(install.record_path(), record);

  RunResult run = run_program(exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 3u) << describe(run);
  const std::string title = edition.profile->title;
  EXPECT_EQ(run.boxes[0].caption, title);
  EXPECT_EQ(run.boxes[0].text, formatted(kPlainPromptText, edition.profile->title));
  EXPECT_EQ(run.boxes[0].buttons, "OKCancel");
  EXPECT_TRUE(run.boxes[0].has_icon);
  EXPECT_TRUE(run.boxes[1].is_progress());
  EXPECT_EQ(run.boxes[1].caption, title);
  EXPECT_EQ(run.boxes[1].text, kProgressText);
  EXPECT_EQ(run.boxes[2].caption, title);
  EXPECT_EQ(run.boxes[2].text, kCompletedText);
  EXPECT_EQ(run.boxes[2].buttons, "OK");
  EXPECT_FALSE(run.boxes[2].has_icon);

  for (const PackFile& file : files) {
    const std::string path = install.folder + "\\" + file.name;
    // Times first: reading the bytes may move the access time.
    EXPECT_EQ(file_write_time(path), file.time) << file.name;
    EXPECT_EQ(file_access_time(path), file.time) << file.name;
    EXPECT_TRUE(read_file(path) == file.data) << file.name;
  }
  std::vector<std::string> expected = {"D" + install.folder,
                                       "F" + install.folder + "\\Tivarne.exe"};
  for (const std::string& item : added_items(install.folder, files)) {
    // The append package carries Tivarne.exe, already in the record.
    if (item != "F" + install.folder + "\\Tivarne.exe") expected.push_back(item);
  }
  EXPECT_EQ(record_items(install.record_path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Run, EachEdition, testing::ValuesIn(kEditions), edition_name);

// Runs that end before anything is written: Cancel at the confirmation,
// another updater of either edition holding "UPDATE_EX" (no window at
// all), the game holding "Tivarne" (one information box).
enum class Stop { kCancel, kUpdaterRunning, kGameRunning };

struct StopCase {
  const char* name;
  Edition edition;
  Stop stop;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

const StopCase kStopCases[] = {
    {"CancelAtTheConfirmation", kEditions[1], Stop::kCancel},
    {"SecondUpdater", kEditions[0], Stop::kUpdaterRunning},
    {"GameRunning", kEditions[1], Stop::kGameRunning},
};

// Caption, text, buttons and icon of each box, one a line.
std::string boxes_of(const RunResult& run) {
  std::string out;
  for (const Box& box : run.boxes)
    out += box.caption + "|" + box.text + "|" + box.buttons + (box.has_icon ? "|icon\n" : "\n");
  return out;
}

class EndsBeforeWriting : public testing::TestWithParam<StopCase> {};

TEST_P(EndsBeforeWriting, WithItsBoxesOnly) {
  const StopCase& c = GetParam();
  const EditionProfile& profile = *c.edition.profile;
  Install install = make_install(std::string("stop_") + c.name, "game_1_3_0", nullptr);
  write_file(install.record_path(), installer_record(install.folder));
  const auto before = folder_contents(install.folder);
  ScopedHandle held;
  if (c.stop == Stop::kUpdaterRunning) held = hold_mutex(profile.updater_mutex_name);
  if (c.stop == Stop::kGameRunning) held = hold_mutex(profile.game_mutex_name);
  ASSERT_TRUE(c.stop == Stop::kCancel || held);

  RunResult run = run_program(edition_path(c.edition.exe),
                              c.stop == Stop::kCancel ? answer_no : answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  std::string expected;
  const std::string title = profile.title;
  if (c.stop == Stop::kCancel)
    expected = title + "|" + formatted(kPlainPromptText, profile.title) + "|OKCancel|icon\n";
  if (c.stop == Stop::kGameRunning)
    expected = title + "|" + formatted(kGameRunningText, profile.product_name) + "|OK|icon\n";
  EXPECT_EQ(boxes_of(run), expected) << describe(run);
  EXPECT_EQ(folder_contents(install.folder), before);
}

INSTANTIATE_TEST_SUITE_P(Run, EndsBeforeWriting, testing::ValuesIn(kStopCases),
                         [](const testing::TestParamInfo<StopCase>& info) {
                           return std::string(info.param.name);
                         });

// DataDir values at the edge of the 260-byte folder buffer. A value that
// fills the buffer without a NUL is too long and counts as no folder: the
// not-installed question, answered with Cancel. One that fits with its NUL
// is used: no game can be found at such a deep path, so its message shows.
// The run does not look at the type; REG_BINARY stores the bytes exactly,
// where Wine would add a NUL to a REG_SZ value when it is read.
struct DataDirCase {
  const char* name;
  DWORD type;
  size_t path_bytes;  // bytes of the path
  bool with_nul;      // stored with a NUL after the path
  bool used;          // the run takes it as the install folder
};

void PrintTo(const DataDirCase& c, std::ostream* out) { *out << c.name; }

const DataDirCase kDataDirCases[] = {
    {"Fills260WithoutNul", REG_BINARY, 260, false, false},
    {"Fills259WithNul", REG_SZ, 259, true, true},
    {"Needs261WithNul", REG_SZ, 260, true, false},
};

class DataDirLength : public testing::TestWithParam<DataDirCase> {};

TEST_P(DataDirLength, DecidesWhetherTheFolderIsUsed) {
  const DataDirCase& c = GetParam();
  std::string value = "C:\\tivarne-tests\\";
  value.resize(c.path_bytes, 'a');
  if (c.with_nul) value.push_back('\0');
  set_registry_value(c.type, value.data(), static_cast<DWORD>(value.size()));

  RunResult run = run_program(edition_path("tivarn_patch104"), answer_no);
  set_install_folder(nullptr);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u) << describe(run);
  if (c.used) {
    EXPECT_EQ(run.boxes[0].text, formatted(kGameMissingText, patch_edition.game_exe_name));
  } else {
    EXPECT_EQ(run.boxes[0].text, formatted(kNotInstalledText, patch_edition.product_name));
    EXPECT_EQ(run.boxes[0].buttons, "OKCancel");
  }
}

INSTANTIATE_TEST_SUITE_P(Run, DataDirLength, testing::ValuesIn(kDataDirCases),
                         [](const testing::TestParamInfo<DataDirCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
