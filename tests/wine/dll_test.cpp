// The editions run elevated from wherever they were downloaded: a
// version.dll left beside them must never be loaded. Each edition is
// copied next to a planted version.dll (tests/wine/planted) and run with
// Wine told to prefer a native version.dll over its own; the planted DLL
// leaves a marker file when anything loads it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/edition_profile.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

const char kMarker[] = "planted_dll_loaded.txt";

std::string planted_path(const char* file) {
  const char* build = std::getenv("TIVARNE_BUILD");
  return std::string(build ? build : ".") + "\\planted\\" + file;
}

std::string formatted(const char* format, const char* argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

// A download folder holding `program` and the planted version.dll.
std::string download_folder(const std::string& name, const std::string& program) {
  std::string folder = fresh_folder("dll-" + name);
  EXPECT_TRUE(CopyFileA(program.c_str(), (folder + "\\updater.exe").c_str(), FALSE));
  EXPECT_TRUE(CopyFileA(planted_path("version.dll").c_str(), (folder + "\\version.dll").c_str(),
                        FALSE));
  return folder;
}

// Runs `exe` with Wine preferring a native version.dll to its own, as if
// the planted one were the system's: the loader then takes the first
// version.dll that its search finds. Wine reads this per program from its
// registry (WINEDLLOVERRIDES set in a Windows environment block does not
// reach a child's loader).
RunResult run_preferring_native_version(const std::string& exe) {
  const std::string program = exe.substr(exe.rfind('\\') + 1);
  const std::string app_key = "Software\\Wine\\AppDefaults\\" + program;
  HKEY key;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (app_key + "\\DllOverrides").c_str(), 0, nullptr,
                            0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  static const char kNativeFirst[] = "native,builtin";
  RegSetValueExA(key, "version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                 sizeof kNativeFirst);
  RegCloseKey(key);
  RunResult run = run_program(exe, answer_yes);
  RegDeleteKeyA(HKEY_CURRENT_USER, (app_key + "\\DllOverrides").c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, app_key.c_str());
  return run;
}

// Without this, a pass below would prove nothing: a program that imports
// version.dll statically does load the planted one.
TEST(PlantedDll, IsLoadedByAProgramThatImportsIt) {
  std::string folder = download_folder("control", planted_path("version_importer.exe"));
  RunResult run = run_preferring_native_version(folder + "\\updater.exe");
  ASSERT_FALSE(run.timed_out);
  EXPECT_TRUE(file_exists(folder + "\\" + kMarker));
  EXPECT_EQ(run.exit_code, 1u);  // the planted function found no version
}

struct EditionRow {
  const char* name;
  bool append;
  const char* game;
  std::vector<std::string> texts;  // the message boxes, in order
};

std::ostream& operator<<(std::ostream& out, const EditionRow& row) { return out << row.name; }

class PlantedDllBesideEdition : public testing::TestWithParam<EditionRow> {};

// A whole run, with the version check on a game whose version decides the
// prompt: only the system's version.dll can have read it.
TEST_P(PlantedDllBesideEdition, IsNeverLoaded) {
  const EditionRow& row = GetParam();
  std::string record = std::string("DC:\\x") + '\0' + '\0';
  Install install = make_install(std::string("dll-game-") + row.name, row.game, &record);
  std::string folder = download_folder(row.name, edition_path(row.append ? "tivarn_append104"
                                                                          : "tivarn_patch104"));
  RunResult run = run_preferring_native_version(folder + "\\updater.exe");
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  std::vector<std::string> texts;
  for (const Box& box : run.messages()) texts.push_back(box.text);
  EXPECT_EQ(texts, row.texts) << describe(run);
  EXPECT_FALSE(file_exists(folder + "\\" + kMarker)) << read_file(folder + "\\" + kMarker);
  EXPECT_FALSE(file_exists(install.folder + "\\" + kMarker));
}

const EditionRow kEditionRows[] = {
    {"patch", false, "game_1_4_0_1",
     {formatted(kUpdateAgainText, patch_edition.game_exe_name), kCompletedText}},
    {"append", true, "game_1_4_1_0",
     {formatted(kNewerWarningText, append_edition.game_exe_name), kCompletedText,
      kApplyLatestPatchText}},
};

INSTANTIATE_TEST_SUITE_P(Editions, PlantedDllBesideEdition, testing::ValuesIn(kEditionRows),
                         [](const testing::TestParamInfo<EditionRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
