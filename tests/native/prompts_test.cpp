#include "run/prompts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "checks/version_code.h"
#include "run/texts.h"

namespace {

TEST(VersionCode, PacksThreePartsModulo256) {
  struct Case {
    unsigned a, b, c, d;
    uint32_t code;
  } cases[] = {
      {1, 4, 0, 1, 0x010400}, {1, 4, 0, 9, 0x010400},   {1, 3, 9, 0, 0x010309},
      {1, 4, 1, 0, 0x010401}, {1, 10, 0, 0, 0x010A00},  {2, 0, 0, 0, 0x020000},
      {1, 260, 0, 0, 0x010400}, {0, 0, 0, 0, 0}, {0x1FF, 0xFFFF, 0x1FF, 7, 0xFFFFFF},
  };
  for (const Case& c : cases)
    EXPECT_EQ(version_code_from(c.a << 16 | c.b, c.c << 16 | c.d), c.code)
        << c.a << "." << c.b << "." << c.c << "." << c.d;
}

TEST(Prompts, ConfirmationByEditionAndVersion) {
  struct Case {
    const EditionProfile* profile;
    uint32_t version;
    const char* format;
    unsigned style;
    int button;
  } cases[] = {
      {&patch_edition, 0x010400, kUpdateAgainText, 0x24, 6},
      {&patch_edition, 0x010309, kPlainPromptText, 0x21, 1},
      {&patch_edition, 0, kPlainPromptText, 0x21, 1},
      {&append_edition, 0x010401, kNewerWarningText, 0x24, 6},
      {&append_edition, 0x020000, kNewerWarningText, 0x24, 6},
      {&append_edition, 0x010400, kPlainPromptText, 0x21, 1},
      {&append_edition, 0, kPlainPromptText, 0x21, 1},
  };
  for (const Case& c : cases) {
    Confirmation prompt = choose_confirmation(*c.profile, c.version);
    EXPECT_EQ(prompt.message.format, c.format) << std::hex << c.version;
    EXPECT_EQ(prompt.message.style, c.style);
    EXPECT_EQ(prompt.confirm_button, c.button);
    // The plain prompt names the edition; the others the game executable.
    EXPECT_STREQ(prompt.message.argument,
                 c.format == kPlainPromptText ? c.profile->title : "Tivarne.exe");
  }
}

TEST(Prompts, OnlyThePatchEditionRefusesANewerGame) {
  EXPECT_TRUE(refuses_installed_version(patch_edition, 0x010401));
  EXPECT_FALSE(refuses_installed_version(patch_edition, 0x010400));
  EXPECT_FALSE(refuses_installed_version(append_edition, 0x010401));
}

TEST(Prompts, ReportByOutcome) {
  Message m[2];
  ASSERT_EQ(choose_report(append_edition, 0, 0x010401, m), 2);
  EXPECT_EQ(m[0].format, kCompletedText);
  EXPECT_EQ(m[1].format, kApplyLatestPatchText);
  EXPECT_EQ(choose_report(append_edition, 0, 0x010400, m), 1);
  EXPECT_EQ(choose_report(patch_edition, 0, 0x010401, m), 1);
  ASSERT_EQ(choose_report(patch_edition, 1, 0, m), 1);
  EXPECT_EQ(m[0].format, kFileInUseText);
  EXPECT_STREQ(m[0].argument, patch_edition.product_name);
  ASSERT_EQ(choose_report(patch_edition, 2, 0, m), 1);
  EXPECT_EQ(m[0].format, kWriteFailedText);
  ASSERT_EQ(choose_report(patch_edition, 3, 0, m), 1);
  EXPECT_EQ(m[0].format, kPackageDamagedText);
  EXPECT_EQ(choose_report(patch_edition, -1, 0, m), 0);
}

// The texts are stored in CP932: a few checked against their known bytes.
TEST(Texts, AreCp932) {
  EXPECT_STREQ(kCompletedText,
               "\x83\x76\x83\x8D\x83\x4F\x83\x89\x83\x80\x82\xCC\x8D\x58\x90\x56\x82\xAA"
               "\x8F\x49\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42");
  EXPECT_STREQ(patch_edition.title, "\x83\x65\x83\x42\x83\x94\x83\x40\x83\x8B\x83\x6C 1.04");
  EXPECT_STREQ(append_edition.product_name, "\x83\x65\x83\x42\x83\x94\x83\x40\x83\x8B\x83\x6C");
}

}  // namespace
