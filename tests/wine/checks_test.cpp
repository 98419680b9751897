// The installed-game check on registered games: the version of Tivarne.exe
// decides between refusal and the prompts of each edition, a missing game
// stops the run, and the install folder keeps a final double-byte
// character whose second byte is 0x5C.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/checks_support.h"

using namespace harness;
using namespace checks;

namespace {

const std::string kRecord = std::string("FC:\\old.txt") + '\0' + '\0';

const char* edition_exe(const EditionProfile& e) {
  return &e == &patch_edition ? "tivarn_patch104" : "tivarn_append104";
}

// A file that each edition's package writes into the install folder.
const char* package_readme(const EditionProfile& e) {
  return &e == &patch_edition ? "readme_patch104.txt" : "readme_append104.txt";
}

enum Flow { kRefused, kUpdateAgain, kPlain, kNewerWarning };

std::vector<Expected> boxes_of(Flow flow, const EditionProfile& e) {
  switch (flow) {
    case kRefused: return {newer_refused(e)};
    case kUpdateAgain: return {update_again(e), completed()};
    case kPlain: return {plain_prompt(e), completed()};
    case kNewerWarning: return {newer_warning(e), completed(), apply_latest_patch()};
  }
  return {};
}

// Every box answered with OK or Yes: a refusal ends the run, every other
// version is updated and reported.
TEST(InstalledGame, VersionDecidesThePromptAndTheReport) {
  struct Case {
    const EditionProfile* edition;
    const char* game;
    Flow flow;
  } cases[] = {
      {&patch_edition, "game_1_4_0_1", kUpdateAgain},
      {&patch_edition, "game_1_4_0_9", kUpdateAgain},  // the fourth part is ignored
      {&patch_edition, "game_1_260_0_0", kUpdateAgain},  // 260 counts as 4
      {&patch_edition, "game_1_3_9_0", kPlain},
      {&patch_edition, "game_none", kPlain},
      {&patch_edition, "game_1_4_1_0", kRefused},
      {&patch_edition, "game_1_10_0_0", kRefused},
      {&patch_edition, "game_2_0_0_0", kRefused},
      {&append_edition, "game_1_4_0_1", kPlain},
      {&append_edition, "game_1_4_0_9", kPlain},
      {&append_edition, "game_1_260_0_0", kPlain},
      {&append_edition, "game_1_3_9_0", kPlain},
      {&append_edition, "game_none", kPlain},
      {&append_edition, "game_1_4_1_0", kNewerWarning},
      {&append_edition, "game_1_10_0_0", kNewerWarning},
      {&append_edition, "game_2_0_0_0", kNewerWarning},
  };
  for (const Case& c : cases) {
    const EditionProfile& e = *c.edition;
    SCOPED_TRACE(std::string(edition_exe(e)) + " with " + c.game);
    Install install = make_install("version", c.game, &kRecord);
    auto before = harness::folder_contents(install.folder);
    RunResult run = run_program(edition_path(edition_exe(e)), answer_yes);
    ASSERT_FALSE(run.timed_out) << describe(run);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(shown(run), expected_lines(e, boxes_of(c.flow, e))) << describe(run);
    if (c.flow == kRefused) {
      EXPECT_FALSE(showed_progress(run));
      EXPECT_EQ(harness::folder_contents(install.folder), before);
    } else {
      EXPECT_TRUE(file_exists(install.folder + "\\" + package_readme(e)));
    }
  }
}

// Anything named Tivarne.exe counts as the game, a directory too (without
// a version, so the plain prompt, declined here).
TEST(InstalledGame, MissingGameStopsTheRunBeforeAnythingElse) {
  struct Case {
    const EditionProfile* edition;
    bool directory_named_like_the_game;
    std::vector<Expected> boxes;
  } cases[] = {
      {&patch_edition, false, {game_missing(patch_edition)}},
      {&append_edition, false, {game_missing(append_edition)}},
      {&patch_edition, true, {plain_prompt(patch_edition)}},
      {&append_edition, true, {plain_prompt(append_edition)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(edition_exe(*c.edition)) +
                 (c.directory_named_like_the_game ? " with a directory" : " without the game"));
    Install install = make_install("missing", nullptr, &kRecord);
    if (c.directory_named_like_the_game) {
      ASSERT_TRUE(CreateDirectoryA((install.folder + "\\Tivarne.exe").c_str(), nullptr));
    }
    auto before = harness::folder_contents(install.folder);
    RunResult run = run_program(edition_path(edition_exe(*c.edition)), answer_no);
    ASSERT_FALSE(run.timed_out) << describe(run);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(shown(run), expected_lines(*c.edition, c.boxes)) << describe(run);
    EXPECT_EQ(harness::folder_contents(install.folder), before);
  }
}

// ソ is 0x83 0x5C and 表 is 0x95 0x5C: their second byte is not a
// separator, and only a real trailing backslash is dropped. The update
// then works in the folder itself: files written there, record saved there.
TEST(InstalledGame, FolderEndingInA5CTrailByteIsUsedAsItIs) {
  for (const char* name : {"trail", "ゲームソ", "一覧表"}) {
    for (const char* registered_suffix : {"", "\\"}) {
      SCOPED_TRACE(std::string(name) + (*registered_suffix ? " registered with \\" : ""));
      std::string folder = fresh_folder(sjis(name));
      ASSERT_TRUE(directory_exists(folder));
      ASSERT_TRUE(CopyFileA(game_exe_path("game_1_3_9_0").c_str(),
                            (folder + "\\Tivarne.exe").c_str(), FALSE));
      ASSERT_TRUE(write_file(folder + "\\uinst.dat", kRecord));
      set_install_folder((folder + registered_suffix).c_str());

      RunResult run = run_program(edition_path("tivarn_patch104"), answer_yes);
      ASSERT_FALSE(run.timed_out) << describe(run);
      EXPECT_EQ(shown(run), expected_lines(patch_edition, {plain_prompt(patch_edition),
                                                           completed()}))
          << describe(run);
      EXPECT_TRUE(file_exists(folder + "\\readme_patch104.txt"));
      std::vector<std::string> items = record_items(folder + "\\uinst.dat");
      ASSERT_FALSE(items.empty());
      EXPECT_EQ(items.front(), "FC:\\old.txt");
      bool lists_readme = false;
      std::string listed;
      for (const std::string& item : items) {
        lists_readme |= item == "F" + folder + "\\readme_patch104.txt";
        listed += utf8(item) + "\n";
      }
      EXPECT_TRUE(lists_readme) << "record items:\n" << listed;
      EXPECT_FALSE(file_exists(folder + "\\uinst.dat.new"));
    }
  }
}

}  // namespace
