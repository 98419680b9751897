// The whole run of each edition, end to end, on a registered game.
#include <gtest/gtest.h>

#include <cstdio>

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

TEST(Run, PatchEditionUpdatesARegisteredGame) {
  std::string record = std::string("DC:\\x") + '\0' + '\0';
  Install install = make_install("patch_happy", "game_1_3_0", &record);
  RunResult run = run_program(edition_path("tivarn_patch104"), answer_yes);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 3u) << describe(run);
  EXPECT_EQ(run.boxes[0].caption, patch_edition.title);
  EXPECT_EQ(run.boxes[0].text, formatted(kPlainPromptText, patch_edition.title));
  EXPECT_EQ(run.boxes[0].buttons, "OKCancel");
  EXPECT_TRUE(run.boxes[0].has_icon);
  EXPECT_TRUE(run.boxes[1].is_progress());
  EXPECT_EQ(run.boxes[1].caption, patch_edition.title);
  EXPECT_EQ(run.boxes[1].text, kProgressText);
  EXPECT_EQ(run.boxes[2].text, kCompletedText);
  EXPECT_EQ(run.boxes[2].buttons, "OK");
  EXPECT_FALSE(run.boxes[2].has_icon);
  EXPECT_TRUE(file_exists(install.folder + "\\readme_patch104.txt"));
  EXPECT_TRUE(file_exists(install.folder + "\\data\\script\\ch01.txt"));
}

}  // namespace
