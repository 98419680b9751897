// The editions run elevated from wherever they were downloaded: a DLL left
// beside them must never be loaded. A DLL of our own (tests/wine/planted)
// is planted in a download folder under the name of a system DLL, and Wine
// is told to prefer a native DLL of that name to its own, as if the
// planted one were the system's; the loader then takes the first one its
// search finds. The planted DLL leaves a marker file when loaded.
//
// Wine's own user32 imports version.dll and imm32.dll and loads them when
// the process starts, before any code of ours runs (Windows takes a known
// DLL's dependencies from the system directory). A planted version.dll
// therefore reaches every GUI program under Wine, and an edition's later
// LoadLibraryExA gets the module already loaded. So the version reading is
// checked in a program that links no user32 (version_probe), and the
// editions with uxtheme.dll, which Wine loads once the first window shows,
// after SetDefaultDllDirectories.
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

// A download folder holding `program` as updater.exe and the planted DLL
// as `dll_name`.
std::string download_folder(const std::string& name, const std::string& program,
                            const std::string& dll_name) {
  std::string folder = fresh_folder("dll-" + name);
  EXPECT_TRUE(CopyFileA(program.c_str(), (folder + "\\updater.exe").c_str(), FALSE));
  EXPECT_TRUE(
      CopyFileA(planted_path("version.dll").c_str(), (folder + "\\" + dll_name).c_str(), FALSE));
  return folder;
}

// Runs `exe` with Wine preferring a native `dll` (base name) to its own.
// Wine reads this per program from its registry; WINEDLLOVERRIDES in a
// Windows environment block does not reach a child's loader.
RunResult run_preferring_native(const std::string& exe, const char* dll) {
  const std::string program = exe.substr(exe.rfind('\\') + 1);
  const std::string app_key = "Software\\Wine\\AppDefaults\\" + program;
  const std::string overrides_key = app_key + "\\DllOverrides";
  HKEY key;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, overrides_key.c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  static const char kNativeFirst[] = "native,builtin";
  RegSetValueExA(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                 sizeof kNativeFirst);
  RegCloseKey(key);
  RunResult run = run_program(exe, answer_yes);
  RegDeleteKeyA(HKEY_CURRENT_USER, overrides_key.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, app_key.c_str());
  return run;
}

// Without this, the passes below would prove nothing: a program that
// imports version.dll statically does load the planted one.
TEST(PlantedDll, IsLoadedByAProgramThatImportsIt) {
  std::string folder =
      download_folder("control", planted_path("version_importer.exe"), "version.dll");
  RunResult run = run_preferring_native(folder + "\\updater.exe", "version");
  ASSERT_FALSE(run.timed_out);
  EXPECT_TRUE(file_exists(folder + "\\" + kMarker));
  EXPECT_EQ(run.exit_code, 1u);  // the planted function found no version
}

// The version functions come from the system's version.dll: the version is
// read, and the planted DLL is not loaded.
TEST(PlantedDll, VersionFunctionsComeFromTheSystem) {
  std::string folder = download_folder("version", planted_path("version_probe.exe"), "version.dll");
  ASSERT_TRUE(CopyFileA(game_exe_path("game_1_4_0_1").c_str(), (folder + "\\Tivarne.exe").c_str(),
                        FALSE));
  RunResult run = run_preferring_native(folder + "\\updater.exe", "version");
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0x010400u);
  EXPECT_FALSE(file_exists(folder + "\\" + kMarker)) << read_file(folder + "\\" + kMarker);
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
// prompt, message boxes and the progress window: every DLL loaded once
// the run has begun comes from the system directory.
TEST_P(PlantedDllBesideEdition, IsNeverLoaded) {
  const EditionRow& row = GetParam();
  std::string record = std::string("DC:\\x") + '\0' + '\0';
  Install install = make_install(std::string("dll-game-") + row.name, row.game, &record);
  std::string folder = download_folder(
      row.name, edition_path(row.append ? "tivarn_append104" : "tivarn_patch104"), "uxtheme.dll");
  RunResult run = run_preferring_native(folder + "\\updater.exe", "uxtheme");
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
