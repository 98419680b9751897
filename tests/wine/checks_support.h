// What the tests of the installation checks expect of a run: its message
// boxes in order, and folders left as they were.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run/edition_profile.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

namespace checks {

inline std::string formatted(const char* format, const char* argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

// A message box as the user sees it; its caption is the edition's title.
struct Expected {
  std::string text;  // CP932
  const char* buttons;
  bool icon;
};

inline Expected not_installed(const EditionProfile& e) {
  return {formatted(kNotInstalledText, e.product_name), "OKCancel", true};
}
inline Expected folder_too_deep() { return {kFolderTooDeepText, "OK", false}; }
inline Expected game_missing(const EditionProfile& e) {
  return {formatted(kGameMissingText, e.game_exe_name), "OK", false};
}
inline Expected newer_refused(const EditionProfile& e) {
  return {formatted(kGameNewerRefusedText, e.game_exe_name), "OK", false};
}
inline Expected disk_full() { return {kDiskFullText, "OK", false}; }
inline Expected update_again(const EditionProfile& e) {
  return {formatted(kUpdateAgainText, e.game_exe_name), "YesNo", true};
}
inline Expected newer_warning(const EditionProfile& e) {
  return {formatted(kNewerWarningText, e.game_exe_name), "YesNo", true};
}
inline Expected plain_prompt(const EditionProfile& e) {
  return {formatted(kPlainPromptText, e.title), "OKCancel", true};
}
inline Expected completed() { return {kCompletedText, "OK", false}; }
inline Expected apply_latest_patch() { return {kApplyLatestPatchText, "OK", false}; }

// One line per box, in UTF-8, so that a mismatch reads as text.
inline std::string box_line(const std::string& caption, const std::string& buttons, bool icon,
                            const std::string& text) {
  std::string line = "[";
  line += harness::utf8(caption);
  line += "] " + buttons + (icon ? " icon: " : ": ");
  line += harness::utf8(text);
  return line;
}

inline std::vector<std::string> shown(const harness::RunResult& run) {
  std::vector<std::string> lines;
  for (const harness::Box& box : run.messages())
    lines.push_back(box_line(box.caption, box.buttons, box.has_icon, box.text));
  return lines;
}

inline std::vector<std::string> expected_lines(const EditionProfile& e,
                                               const std::vector<Expected>& boxes) {
  std::vector<std::string> lines;
  for (const Expected& box : boxes) lines.push_back(box_line(e.title, box.buttons, box.icon, box.text));
  return lines;
}

inline bool showed_progress(const harness::RunResult& run) {
  for (const harness::Box& box : run.boxes)
    if (box.is_progress()) return true;
  return false;
}

}  // namespace checks
