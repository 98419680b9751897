#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "record/installed_item_list.h"
#include "record/record_bytes.h"

namespace {

using Items = std::vector<std::string>;
using namespace std::string_literals;

// Loads `bytes`, then saves: what the record holds after a run that
// wrote nothing.
std::string round_trip(const std::string& bytes, Items* items = nullptr) {
  InstalledItemList list;
  parse_record_bytes(bytes, list);
  if (items) *items = installed_items_of(list);
  return record_bytes_of(list);
}

TEST(Record, LoadAndSaveTable) {
  struct Case {
    const char* what;
    std::string bytes;
    Items items;
    std::string saved;
  } cases[] = {
      {"zero bytes", "", {}, "\0"s},
      {"only the end", "\0"s, {}, "\0"s},
      {"two items", "DC:\\G\0FC:\\G\\a\0\0"s, {"DC:\\G", "FC:\\G\\a"}, "DC:\\G\0FC:\\G\\a\0\0"s},
      {"no closing string", "FC:\\a\0FC:\\b\0"s, {"FC:\\a", "FC:\\b"}, "FC:\\a\0FC:\\b\0\0"s},
      {"last item cut off", "FC:\\a\0FC:\\b"s, {"FC:\\a", "FC:\\b"}, "FC:\\a\0FC:\\b\0\0"s},
      {"garbage after the end", "FC:\\a\0\0FC:\\junk\0\xff\xfe"s, {"FC:\\a"}, "FC:\\a\0\0"s},
      {"case repeats collapse into the first", "FC:\\Game\\A.DAT\0Fc:\\game\\a.dat\0\0"s,
       {"FC:\\Game\\A.DAT"}, "FC:\\Game\\A.DAT\0\0"s},
      {"the letter counts too", "FC:\\a\0fC:\\a\0\0"s, {"FC:\\a"}, "FC:\\a\0\0"s},
      {"other letters kept", "RHKCU\\Software\\X\0XC:\\y\0\0"s, {"RHKCU\\Software\\X", "XC:\\y"},
       "RHKCU\\Software\\X\0XC:\\y\0\0"s},
      // カ (83 4A) and ニ (83 6A) name different files.
      {"double-byte second bytes not folded", "FC:\\\x83\x4A\0FC:\\\x83\x6A\0\0"s,
       {"FC:\\\x83\x4A", "FC:\\\x83\x6A"}, "FC:\\\x83\x4A\0FC:\\\x83\x6A\0\0"s},
      // After a double-byte character, ASCII folds again.
      {"ASCII after double-byte folds", "FC:\\\x83\x4A" "A\0FC:\\\x83\x4A" "a\0\0"s,
       {"FC:\\\x83\x4A" "A"}, "FC:\\\x83\x4A" "A\0\0"s},
  };
  for (const Case& c : cases) {
    Items items;
    EXPECT_EQ(round_trip(c.bytes, &items), c.saved) << c.what;
    EXPECT_EQ(items, c.items) << c.what;
  }
}

TEST(Record, LongItemsAreKeptWhole) {
  std::string item = "FC:\\" + std::string(1500, 'x');
  Items items;
  EXPECT_EQ(round_trip(item + '\0' + '\0', &items), item + '\0' + '\0');
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size(), 1504u);
}

TEST(Record, ManyItemsAreKept) {
  std::string bytes;
  for (int i = 0; i < 12000; ++i) bytes += "FC:\\Game\\file" + std::to_string(i) + '\0';
  bytes += '\0';
  Items items;
  EXPECT_EQ(round_trip(bytes, &items), bytes);
  EXPECT_EQ(items.size(), 12000u);
}

// The index grows while items come one by one and is sized ahead when a
// record is loaded; either way every item is found again in any ASCII case.
TEST(InstalledItemList, FindsEveryItemAfterGrowth) {
  std::string bytes;
  for (int i = 0; i < 30000; ++i) bytes += "FC:\\Game\\File" + std::to_string(i) + '\0';
  InstalledItemList loaded;
  parse_record_bytes(bytes, loaded);
  InstalledItemList added;
  for (int i = 0; i < 30000; ++i)
    ASSERT_EQ(add_installed_item(added, 'F', "C:\\Game\\File" + std::to_string(i)), 1) << i;
  for (InstalledItemList* list : {&loaded, &added}) {
    for (int i = 0; i < 30000; ++i)
      ASSERT_EQ(add_installed_item(*list, 'F', "c:\\GAME\\file" + std::to_string(i)), 0) << i;
    EXPECT_EQ(record_bytes_of(*list), bytes + '\0');
  }
}

// Many short items over a few bytes that fold or almost fold, against a
// plain set of folded keys: the first of each key stays, in order.
TEST(InstalledItemList, AgreesWithFoldedKeys) {
  const char alphabet[] = {'A', 'a', 'Z', 'z', '\\', '\x83', '\x4A', '\x6A', '\xE0', '@'};
  std::mt19937 random(7);
  InstalledItemList list;
  std::unordered_set<std::string> keys;
  Items expected;
  for (int i = 0; i < 20000; ++i) {
    std::string item = "F";
    for (int length = 1 + static_cast<int>(random() % 5); length > 0; --length)
      item += alphabet[random() % sizeof alphabet];
    bool fresh = keys.insert(fold_item_key(item)).second;
    if (fresh) expected.push_back(item);
    ASSERT_EQ(add_installed_item(list, item), fresh ? 1 : 0) << i;
    ASSERT_TRUE(has_installed_item(list, item));
  }
  EXPECT_EQ(installed_items_of(list), expected);
  EXPECT_GT(expected.size(), 1000u);
}

// An item is a C string: it ends at its first NUL, and an empty one
// would end the record early, so it is never listed.
TEST(InstalledItemList, ItemsEndAtANul) {
  struct Case {
    const char* what;
    std::string item;
    int added;
    Items items;
  } cases[] = {
      {"NUL inside", "FC:\\a\0b"s, 1, {"FC:\\a"}},
      {"empty", "", 0, {}},
      {"NUL first", "\0FC:\\a"s, 0, {}},
  };
  for (const Case& c : cases) {
    InstalledItemList list;
    EXPECT_EQ(add_installed_item(list, c.item), c.added) << c.what;
    EXPECT_EQ(installed_items_of(list), c.items) << c.what;
  }
  InstalledItemList list;
  EXPECT_EQ(add_installed_item(list, '\0', "C:\\a"), 0);
  EXPECT_EQ(record_bytes_of(list), "\0"s);
}

TEST(InstalledItemList, AddsOnceByFoldedKeyInOrder) {
  InstalledItemList list;
  EXPECT_EQ(add_installed_item(list, 'D', "C:\\Game\\data"), 1);
  EXPECT_EQ(add_installed_item(list, 'F', "C:\\Game\\data\\a.bin"), 1);
  EXPECT_EQ(add_installed_item(list, 'F', "c:\\GAME\\DATA\\A.BIN"), 0);
  EXPECT_EQ(add_installed_item(list, 'F', "C:\\Game\\data"), 1);  // another letter
  EXPECT_EQ(installed_items_of(list),
            (Items{"DC:\\Game\\data", "FC:\\Game\\data\\a.bin", "FC:\\Game\\data"}));
}

TEST(InstalledItemList, FoldKeyLeavesOnlyAsciiCaseOut) {
  EXPECT_EQ(fold_item_key("FC:\\AbZ[@"), "fc:\\abz[@");
  EXPECT_EQ(fold_item_key("\x83\x4A\x83\x5A" "Q"), "\x83\x4A\x83\x5A" "q");
  EXPECT_EQ(fold_item_key("\xC1"), "\xC1");  // half-width katakana stays
}

}  // namespace
