// Which words the run uses, by edition and installed version. No Windows
// calls here, so the choice is tested natively.
#pragma once

#include <cstdint>

#include "run/edition_profile.h"

inline constexpr unsigned kStyleOk = 0x00;              // MB_OK
inline constexpr unsigned kStyleOkCancelQuestion = 0x21;  // MB_OKCANCEL | MB_ICONQUESTION
inline constexpr unsigned kStyleYesNoQuestion = 0x24;     // MB_YESNO | MB_ICONQUESTION
inline constexpr unsigned kStyleInformation = 0x40;       // MB_ICONINFORMATION
inline constexpr int kButtonOk = 1;   // IDOK
inline constexpr int kButtonYes = 6;  // IDYES

// The outcome of the extraction.
enum ExtractOutcome {
  kExtractDone = 0,
  kExtractCannotOpen = 1,     // reported as the game running
  kExtractShortWrite = 2,     // reported as a write failure
  kExtractDamaged = 3,        // the package failed its checks
  kExtractNoPackage = -1,     // the extractor has shown its own box
};

struct Message {
  const char* format;    // null: no message
  const char* argument;  // the %s, or null when the text has none
  unsigned style;
};

struct Confirmation {
  Message message;
  int confirm_button;  // the answer that lets the run go on
};

// The prompt of the confirmation stage.
Confirmation choose_confirmation(const EditionProfile& profile, uint32_t installed_version);

// True when a game of this version is refused before anything is asked.
bool refuses_installed_version(const EditionProfile& profile, uint32_t installed_version);

// The boxes of the report, in order; returns how many (0 to 2).
int choose_report(const EditionProfile& profile, int outcome, uint32_t installed_version,
                  Message out[2]);
