#include "package/sjis_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// 表 and ソ end in 0x5C, the byte of a backslash.
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

TEST(SjisPath, LeadBytes) {
  EXPECT_FALSE(is_sjis_lead(0x80));
  EXPECT_TRUE(is_sjis_lead(0x81));
  EXPECT_TRUE(is_sjis_lead(0x9F));
  EXPECT_FALSE(is_sjis_lead(0xA0));
  EXPECT_FALSE(is_sjis_lead(0xDF));
  EXPECT_TRUE(is_sjis_lead(0xE0));
  EXPECT_TRUE(is_sjis_lead(0xFC));
  EXPECT_FALSE(is_sjis_lead(0xFD));
  EXPECT_FALSE(is_sjis_lead('\\'));
}

std::vector<std::string> parents(const std::string& path) {
  std::vector<std::string> seen;
  for_each_parent_directory(path, [&](std::string_view p) {
    seen.emplace_back(p);
    return 0;
  });
  return seen;
}

TEST(SjisPath, ParentDirectoriesComeParentFirst) {
  using V = std::vector<std::string>;
  EXPECT_EQ(parents("C:\\A\\B\\C\\f"), (V{"C:", "C:\\A", "C:\\A\\B", "C:\\A\\B\\C"}));
  EXPECT_EQ(parents("C:\\A\\B"), (V{"C:", "C:\\A"}));
  EXPECT_EQ(parents("C:\\A\\B\\"), (V{"C:", "C:\\A", "C:\\A\\B"}));
  EXPECT_EQ(parents(""), V{});
  EXPECT_EQ(parents("file"), V{});
  // A network path fails at its empty first prefix.
  EXPECT_EQ(parents("\\\\host\\share\\f")[0], "");
  // 表 is one component, its 0x5C is not a separator.
  EXPECT_EQ(parents("C:\\" + kHyou + "\\f"), (V{"C:", "C:\\" + kHyou}));
  EXPECT_EQ(parents("C:\\" + kHyou + "x\\" + kSo + "\\f"),
            (V{"C:", "C:\\" + kHyou + "x", "C:\\" + kHyou + "x\\" + kSo}));
}

TEST(SjisPath, ParentWalkStopsAtFirstFailure) {
  int calls = 0;
  int result = for_each_parent_directory("C:\\A\\B\\f", [&](std::string_view) {
    ++calls;
    return calls == 2 ? -1 : 0;
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(calls, 2);
}

TEST(SjisPath, TrailingSeparatorIsDroppedOnlyWhenReal) {
  struct Case {
    std::string folder;
    size_t expected;
  } cases[] = {
      {"C:\\Games\\Tivarne\\", 16},
      {"C:\\Games\\Tivarne", 16},
      {"C:\\Games\\\\", 9},  // one of two goes
      {"C:\\", 2},
      {"", 0},
      {"C:\\" + kSo, 5},
      {"C:\\" + kHyou, 5},
      {"C:\\" + kHyou + "\\", 5},
      {"C:\\a" + kSo + "\\", 6},
  };
  for (const Case& c : cases)
    EXPECT_EQ(length_without_trailing_separator(c.folder), c.expected) << c.folder;
}

TEST(SjisPath, DriveRoots) {
  EXPECT_TRUE(path_is_drive_root("C:"));
  EXPECT_TRUE(path_is_drive_root("z:\\"));
  EXPECT_FALSE(path_is_drive_root("C:\\A"));
  EXPECT_FALSE(path_is_drive_root("1:"));
  EXPECT_FALSE(path_is_drive_root("\x82:"));
  EXPECT_FALSE(path_is_drive_root(""));
}

TEST(SjisPath, SafeEntryNames) {
  for (const std::string& name : std::vector<std::string>{"a", "data\\bgm\\x.ogg", "a..b", "...x", kHyou + "\\f",
                           "d\\" + kSo})
    EXPECT_TRUE(is_safe_entry_name(name)) << name;
  for (const std::string& name : std::vector<std::string>{"", "a/b", "\\x", "x\\", "..\\x", "a\\..\\x", "a\\.\\x", "a/../x", "C:x",
                           "x:stream", "a\\\\b", "/x", "x/", std::string("a\0b", 3),
                           std::string("a\x95")})
    EXPECT_FALSE(is_safe_entry_name(name)) << name;
}

}  // namespace
