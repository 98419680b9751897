#include "run/prompts.h"

#include "run/texts.h"

// Version codes are compared as signed numbers; real ones are below 2^24.
static bool is_newer(const EditionProfile& profile, uint32_t installed_version) {
  return static_cast<int32_t>(installed_version) >
         static_cast<int32_t>(profile.target_version);
}

Confirmation choose_confirmation(const EditionProfile& profile, uint32_t installed_version) {
  if (profile.version_policy == VersionPolicy::refuse_newer &&
      installed_version == profile.target_version)
    return {{kUpdateAgainText, profile.game_exe_name, kStyleYesNoQuestion}, kButtonYes};
  if (profile.version_policy == VersionPolicy::warn_newer &&
      is_newer(profile, installed_version))
    return {{kNewerWarningText, profile.game_exe_name, kStyleYesNoQuestion}, kButtonYes};
  return {{kPlainPromptText, profile.title, kStyleOkCancelQuestion}, kButtonOk};
}

bool refuses_installed_version(const EditionProfile& profile, uint32_t installed_version) {
  return profile.version_policy == VersionPolicy::refuse_newer &&
         is_newer(profile, installed_version);
}

int choose_report(const EditionProfile& profile, int outcome, uint32_t installed_version,
                  Message out[2]) {
  switch (outcome) {
    case kExtractDone:
      out[0] = {kCompletedText, nullptr, kStyleOk};
      if (profile.version_policy == VersionPolicy::warn_newer &&
          is_newer(profile, installed_version)) {
        out[1] = {kApplyLatestPatchText, nullptr, kStyleOk};
        return 2;
      }
      return 1;
    case kExtractCannotOpen:
      out[0] = {kFileInUseText, profile.product_name, kStyleOk};
      return 1;
    case kExtractShortWrite:
      out[0] = {kWriteFailedText, nullptr, kStyleOk};
      return 1;
    case kExtractDamaged:
      out[0] = {kPackageDamagedText, nullptr, kStyleOk};
      return 1;
    default:
      return 0;
  }
}
