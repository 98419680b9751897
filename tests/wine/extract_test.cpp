// The extractor inside the real patch edition, given packages of our own:
// what it writes, the directories it creates, the items it adds to the
// record, how each failure ends, and the progress window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "package/package_format.h"
#include "run/edition_profile.h"
#include "run/texts.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int32_t kEntryTime = 1450000000;   // 2015-12-13
constexpr long long kOldTime = 1400000000;   // 2014-05-13, of files already there

std::string formatted(const char* format, const char* argument) {
  char text[1024];
  std::snprintf(text, sizeof text, format, argument);
  return text;
}

const std::string kPrompt = formatted(kPlainPromptText, patch_edition.title);
const std::string kFileInUse = formatted(kFileInUseText, patch_edition.product_name);

std::vector<std::string> box_texts(const RunResult& run) {
  std::vector<std::string> texts;
  for (const Box& box : run.boxes) texts.push_back(box.text);
  return texts;
}

long long unix_now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return static_cast<long long>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

std::string installer_record(const std::string& folder) {
  return "D" + folder + '\0' + "F" + folder + "\\Tivarne.exe" + '\0' + '\0';
}

// A registered game of version 1.3.0 with its record, in `folder`, and a
// copy of the patch edition carrying `package` beside the test folders.
struct Prepared {
  std::string folder;
  std::string exe;
  std::string record_path() const { return folder + "\\uinst.dat"; }
};

Prepared prepare_in(const std::string& folder, const std::string& name, const Bytes& package) {
  CopyFileA(game_exe_path("game_1_3_0").c_str(), (folder + "\\Tivarne.exe").c_str(), FALSE);
  write_file(folder + "\\uinst.dat", installer_record(folder));
  set_install_folder(folder.c_str());
  Prepared setup{folder, "C:\\tivarne-tests\\" + name + ".exe"};
  EXPECT_TRUE(copy_with_package(edition_path("tivarn_patch104"), setup.exe, false, package));
  return setup;
}

Prepared prepare(const std::string& name, const Bytes& package) {
  return prepare_in(fresh_folder(name), name, package);
}

RawEntry raw(const std::string& name, const std::string& data) {
  return {name, compress_stream(data), static_cast<uint32_t>(data.size()), kEntryTime};
}

// ---------------------------------------------------------------------------
// Packages that are written whole: the files, the directories created and
// the items the record gains, in order.

struct WrittenCase {
  const char* name;
  std::vector<PackFile> files;
  std::vector<std::string> existing;  // directories there before the run
  std::vector<std::string> added;     // letter and path below the folder
};

const char kOmote[] = "\x95\x5C";  // 表: its trail byte is a backslash

const WrittenCase kWrittenCases[] = {
    {"EmptyPackage", {}, {}, {}},
    // New directories once each, parents first; none for one already there.
    {"NewAndExistingDirectories",
     {{"x\\y\\z.txt", "z", kEntryTime},
      {"x\\w.txt", "w", kEntryTime},
      {"data\\a.txt", "a", kEntryTime}},
     {"data"},
     {"Dx", "Dx\\y", "Fx\\y\\z.txt", "Fx\\w.txt", "Fdata\\a.txt"}},
    // Written twice, listed once, the later contents and time on disk;
    // names compare without ASCII case.
    {"SameNameTwice",
     {{"dup.txt", "first", kEntryTime},
      {"dup.txt", "second", kEntryTime + 60},
      {"data\\Dup.txt", "first", kEntryTime},
      {"DATA\\DUP.TXT", "second", kEntryTime + 60}},
     {},
     {"Fdup.txt", "Ddata", "Fdata\\Dup.txt"}},
    {"DirectoryWithTrailByte5C",
     {{std::string(kOmote) + "\\a.txt", "a", kEntryTime},
      {std::string("d") + kOmote + "\\" + kOmote + "\\b.txt", "b", kEntryTime}},
     {},
     {std::string("D") + kOmote, std::string("F") + kOmote + "\\a.txt",
      std::string("Dd") + kOmote, std::string("Dd") + kOmote + "\\" + kOmote,
      std::string("Fd") + kOmote + "\\" + kOmote + "\\b.txt"}},
    {"EmptyFile", {{"empty.txt", "", kEntryTime}}, {}, {"Fempty.txt"}},
    {"NegativeTimes",
     {{"min.txt", "min", INT32_MIN}, {"minus_one.txt", "-1", -1}, {"zero.txt", "0", 0}},
     {},
     {"Fmin.txt", "Fminus_one.txt", "Fzero.txt"}},
};

void PrintTo(const WrittenCase& c, std::ostream* out) { *out << c.name; }

class Written : public testing::TestWithParam<WrittenCase> {};

TEST_P(Written, FilesDirectoriesAndRecord) {
  const WrittenCase& c = GetParam();
  Prepared setup = prepare(std::string("written_") + c.name, write_package(c.files));
  for (const std::string& directory : c.existing)
    CreateDirectoryA((setup.folder + "\\" + directory).c_str(), nullptr);

  const long long before = unix_now();
  RunResult run = run_program(setup.exe, answer_yes);
  const long long after = unix_now();
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run), (std::vector<std::string>{kPrompt, kProgressText, kCompletedText}))
      << describe(run);

  // The last entry of a name wins; names compare without ASCII case.
  std::map<std::string, const PackFile*> last;
  for (const PackFile& file : c.files) {
    std::string key = file.name;
    for (char& ch : key)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 0x20);
    last[key] = &file;
  }
  for (const auto& [key, file] : last) {
    const std::string path = setup.folder + "\\" + file->name;
    if (file->time >= 0) {
      EXPECT_EQ(file_write_time(path), file->time) << utf8(file->name);
      EXPECT_EQ(file_access_time(path), file->time) << utf8(file->name);
    } else {
      // Refused by the runtime: the file keeps the times of its writing.
      EXPECT_GE(file_write_time(path), before - 2) << utf8(file->name);
      EXPECT_LE(file_write_time(path), after + 2) << utf8(file->name);
    }
    EXPECT_EQ(read_file(path), file->data) << utf8(file->name);
  }

  std::vector<std::string> items = {"D" + setup.folder, "F" + setup.folder + "\\Tivarne.exe"};
  std::vector<std::string> directories = c.existing;
  for (const std::string& item : c.added) {
    items.push_back(item.substr(0, 1) + setup.folder + "\\" + item.substr(1));
    if (item[0] == 'D') directories.push_back(item.substr(1));
  }
  EXPECT_EQ(record_items(setup.record_path()), items);
  // Exactly these directories exist: none cut at a trail byte.
  std::vector<std::string> found;
  for (const auto& [path, contents] : folder_contents(setup.folder))
    if (contents == "<dir>") found.push_back(path);
  std::sort(directories.begin(), directories.end());
  EXPECT_EQ(found, directories);
}

INSTANTIATE_TEST_SUITE_P(Extract, Written, testing::ValuesIn(kWrittenCases),
                         [](const testing::TestParamInfo<WrittenCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Failures while writing: the report, the files written before kept, the
// record as it was, and the progress window still behind the report.

// Runs `exe`, answering Yes, and tells whether the progress window was
// still on screen when the report came.
RunResult run_to_report(const std::string& exe, const std::string& report,
                        bool* progress_behind_report, const ProgressHook& also = nullptr) {
  HWND progress = nullptr;
  *progress_behind_report = false;
  return run_program(
      exe,
      [&](const Box& box) {
        if (box.text == report)
          *progress_behind_report = progress && IsWindow(progress) && IsWindowVisible(progress);
        return answer_yes(box);
      },
      [&](HWND window, HANDLE process) {
        progress = window;
        if (also) also(window, process);
      });
}

TEST(Extract, FileHeldOpenEndsWithTheGameRunningReport) {
  Prepared setup = prepare("held_open", write_raw_package({raw("a.txt", "new a"),
                                                        raw("held.txt", "new held"),
                                                        raw("c.txt", "new c")}));
  const std::string held = setup.folder + "\\held.txt";
  write_file(held, "old held");
  set_file_times(held, kOldTime);
  const std::string record = read_file(setup.record_path());

  bool progress_behind = false;
  RunResult run;
  {
    ScopedHandle other_program = hold_file_exclusively(held);
    ASSERT_TRUE(other_program);
    run = run_to_report(setup.exe, kFileInUse, &progress_behind);
  }
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run), (std::vector<std::string>{kPrompt, kProgressText, kFileInUse}))
      << describe(run);
  EXPECT_EQ(run.boxes.back().buttons, "OK");
  EXPECT_FALSE(run.boxes.back().has_icon);
  EXPECT_TRUE(progress_behind);
  EXPECT_EQ(read_file(setup.folder + "\\a.txt"), "new a");
  EXPECT_EQ(file_write_time(setup.folder + "\\a.txt"), kEntryTime);
  EXPECT_EQ(file_write_time(held), kOldTime);
  EXPECT_EQ(read_file(held), "old held");
  EXPECT_FALSE(file_exists(setup.folder + "\\c.txt"));
  EXPECT_EQ(read_file(setup.record_path()), record);
}

// A drive of 768 KiB: less than 1 MiB free counts as unknown, so the
// free-space check lets the run go on, and the second file fills the disk.
TEST(Extract, FullDiskEndsWithTheWriteFailedReport) {
  SmallDrive drive('T', 768);
  ASSERT_TRUE(drive.mounted()) << "mounting a tmpfs needs root";
  const std::string folder = drive.root() + "game";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  std::string big(1 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  Prepared setup = prepare_in(folder, "full_disk", write_raw_package({raw("small.txt", "small"),
                                                                   raw("big.bin", big),
                                                                   raw("after.txt", "after")}));
  const std::string record = read_file(setup.record_path());

  bool progress_behind = false;
  RunResult run = run_to_report(setup.exe, kWriteFailedText, &progress_behind);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run),
            (std::vector<std::string>{kPrompt, kProgressText, kWriteFailedText}))
      << describe(run);
  EXPECT_EQ(run.boxes.back().buttons, "OK");
  EXPECT_FALSE(run.boxes.back().has_icon);
  EXPECT_TRUE(progress_behind);
  EXPECT_EQ(read_file(folder + "\\small.txt"), "small");
  // The partial file stays.
  const std::string partial = read_file(folder + "\\big.bin");
  EXPECT_TRUE(file_exists(folder + "\\big.bin"));
  EXPECT_LT(partial.size(), big.size());
  EXPECT_TRUE(big.compare(0, partial.size(), partial) == 0);
  EXPECT_FALSE(file_exists(folder + "\\after.txt"));
  EXPECT_EQ(read_file(setup.record_path()), record);
}

// ---------------------------------------------------------------------------
// A stream that does not inflate to its entry: the damaged-package report
// after the entries before it; its own file is not opened.

struct DamagedStreamCase {
  const char* name;
  void (*damage)(RawEntry&);
};

const DamagedStreamCase kDamagedStreams[] = {
    {"BadAdler32", [](RawEntry& e) { e.stream.back() ^= 0x01; }},
    {"InflatesToMore", [](RawEntry& e) { e.unpacked_size -= 1; }},
    {"InflatesToFewer", [](RawEntry& e) { e.unpacked_size += 1; }},
};

void PrintTo(const DamagedStreamCase& c, std::ostream* out) { *out << c.name; }

class DamagedStream : public testing::TestWithParam<DamagedStreamCase> {};

TEST_P(DamagedStream, StopsBeforeItsFile) {
  std::vector<RawEntry> entries = {raw("a.txt", "new a"), raw("b.txt", "new b"),
                                   raw("c.txt", "new c")};
  GetParam().damage(entries[1]);
  Prepared setup = prepare(std::string("damaged_") + GetParam().name, write_raw_package(entries));
  const std::string victim = setup.folder + "\\b.txt";
  write_file(victim, "old b");
  set_file_times(victim, kOldTime);
  const std::string record = read_file(setup.record_path());

  RunResult run = run_program(setup.exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run),
            (std::vector<std::string>{kPrompt, kProgressText, kPackageDamagedText}))
      << describe(run);
  EXPECT_EQ(run.boxes.back().caption, patch_edition.title);
  EXPECT_EQ(run.boxes.back().buttons, "OK");
  EXPECT_FALSE(run.boxes.back().has_icon);
  EXPECT_EQ(read_file(setup.folder + "\\a.txt"), "new a");
  EXPECT_EQ(file_write_time(victim), kOldTime);
  EXPECT_EQ(read_file(victim), "old b");
  EXPECT_FALSE(file_exists(setup.folder + "\\c.txt"));
  EXPECT_EQ(read_file(setup.record_path()), record);
}

INSTANTIATE_TEST_SUITE_P(Extract, DamagedStream, testing::ValuesIn(kDamagedStreams),
                         [](const testing::TestParamInfo<DamagedStreamCase>& info) {
                           return std::string(info.param.name);
                         });

// A table that fails its check, in its last entry: the damaged-package
// report with no progress window, and nothing written anywhere.
struct BadTableCase {
  const char* name;
  Bytes (*package)();
};

const BadTableCase kBadTables[] = {
    {"OffsetPastTheEnd",
     [] {
       Bytes p = write_raw_package({raw("a.txt", "a"), raw("b.txt", "b")});
       // The second entry's offset, behind "a.txt", its fields and "b.txt".
       put_le32(p.data() + kPackageHeaderSize + 6 + kEntryFixedSize + 6 + 4,
                static_cast<uint32_t>(p.size()));
       return p;
     }},
    {"NameLeavesTheFolder",
     [] { return write_raw_package({raw("a.txt", "a"), raw("..\\x", "x")}); }},
};

void PrintTo(const BadTableCase& c, std::ostream* out) { *out << c.name; }

class BadTable : public testing::TestWithParam<BadTableCase> {};

TEST_P(BadTable, WritesNothing) {
  const std::string name = std::string("bad_table_") + GetParam().name;
  Prepared setup = prepare(name, GetParam().package());
  const auto before = folder_contents(setup.folder);
  const auto around = folder_contents("C:\\tivarne-tests");

  RunResult run = run_program(setup.exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run), (std::vector<std::string>{kPrompt, kPackageDamagedText}))
      << describe(run);
  EXPECT_EQ(folder_contents(setup.folder), before);
  EXPECT_EQ(folder_contents("C:\\tivarne-tests"), around);
}

INSTANTIATE_TEST_SUITE_P(Extract, BadTable, testing::ValuesIn(kBadTables),
                         [](const testing::TestParamInfo<BadTableCase>& info) {
                           return std::string(info.param.name);
                         });

// Paths too long for their buffers count as files that cannot be opened.
struct LongPathCase {
  const char* name;
  std::string entry;
  std::vector<std::string> created;  // directories made before the failure
};

std::string repeated(char c, size_t n) { return std::string(n, c); }

const LongPathCase kLongPaths[] = {
    // folder\ + 1100 bytes: past the 1024-byte output path.
    {"OutputPastItsBuffer",
     [] {
       std::string name;
       for (int i = 0; i < 11; ++i) name += repeated('p', 99) + "\\";
       return name + "f.txt";
     }(),
     {}},
    // The third directory's path is past 260 bytes.
    {"DirectoryPast260",
     repeated('d', 100) + "\\" + repeated('e', 100) + "\\" + repeated('g', 100) + "\\f.txt",
     {repeated('d', 100), repeated('d', 100) + "\\" + repeated('e', 100)}},
};

void PrintTo(const LongPathCase& c, std::ostream* out) { *out << c.name; }

class LongPath : public testing::TestWithParam<LongPathCase> {};

TEST_P(LongPath, EndsWithTheGameRunningReport) {
  const LongPathCase& c = GetParam();
  Prepared setup = prepare(std::string("long_") + c.name,
                        write_raw_package({raw("a.txt", "a"), raw(c.entry, "deep")}));
  const std::string record = read_file(setup.record_path());

  RunResult run = run_program(setup.exe, answer_yes);
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run), (std::vector<std::string>{kPrompt, kProgressText, kFileInUse}))
      << describe(run);
  EXPECT_EQ(read_file(setup.folder + "\\a.txt"), "a");
  std::vector<std::string> directories;
  for (const auto& [path, contents] : folder_contents(setup.folder))
    if (contents == "<dir>") directories.push_back(path);
  EXPECT_EQ(directories, c.created);
  EXPECT_EQ(read_file(setup.record_path()), record);
}

INSTANTIATE_TEST_SUITE_P(Extract, LongPath, testing::ValuesIn(kLongPaths),
                         [](const testing::TestParamInfo<LongPathCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// The progress window: made from the edition's template, captioned with the
// title, centred on the desktop, and deaf to Esc, Alt+F4 and its close box.

TEST(Extract, ProgressWindowComesFromTheTemplateCentredOnTheDesktop) {
  Prepared prepared = prepare("progress_window", write_raw_package({raw("a.txt", "a")}));
  RECT window_rect = {}, desktop_rect = {};
  LONG style = 0, static_style = 0;
  std::string caption;
  bool seen = false;
  RunResult run = run_program(prepared.exe, answer_yes, [&](HWND window, HANDLE) {
    seen = true;
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    caption = text;
    style = GetWindowLongA(window, GWL_STYLE);
    HWND label = GetDlgItem(window, -1);
    static_style = label ? GetWindowLongA(label, GWL_STYLE) : 0;
    GetWindowRect(window, &window_rect);
    GetWindowRect(GetDesktopWindow(), &desktop_rect);
  });
  ASSERT_FALSE(run.timed_out) << describe(run);
  ASSERT_TRUE(seen) << describe(run);
  EXPECT_EQ(caption, patch_edition.title);
  const LONG template_style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(style & template_style, template_style) << std::hex << style;
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_EQ(static_style, static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER))
      << std::hex << static_style;
  const int width = window_rect.right - window_rect.left;
  const int height = window_rect.bottom - window_rect.top;
  EXPECT_GT(width, 0);
  EXPECT_EQ(window_rect.left,
            desktop_rect.left + ((desktop_rect.right - desktop_rect.left) - width) / 2);
  EXPECT_EQ(window_rect.top,
            desktop_rect.top + ((desktop_rect.bottom - desktop_rect.top) - height) / 2);
  EXPECT_EQ(box_texts(run), (std::vector<std::string>{kPrompt, kProgressText, kCompletedText}))
      << describe(run);
}

// Esc (down and up), Alt+F4's SC_CLOSE and the close box's WM_CLOSE, posted
// before the first entry: the extraction goes on. When it completes, every
// file is there; when a later file fails, the window is still behind the
// report.
struct CloseCase {
  const char* name;
  bool hold_last_file;
};

const CloseCase kCloseCases[] = {{"ThenCompletes", false}, {"ThenFails", true}};

void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.name; }

class ProgressWindowIgnoresClosing : public testing::TestWithParam<CloseCase> {};

TEST_P(ProgressWindowIgnoresClosing, Requests) {
  const CloseCase& c = GetParam();
  Prepared setup = prepare(std::string("closing_") + c.name,
                        write_raw_package({raw("a.txt", "a"), raw("b.txt", "b"),
                                           raw("c.txt", "c")}));
  ScopedHandle other_program;
  if (c.hold_last_file) {
    write_file(setup.folder + "\\c.txt", "old c");
    other_program = hold_file_exclusively(setup.folder + "\\c.txt");
    ASSERT_TRUE(other_program);
  }
  const std::string report = c.hold_last_file ? kFileInUse : kCompletedText;

  bool progress_behind = false;
  RunResult run = run_to_report(setup.exe, report, &progress_behind, [](HWND window, HANDLE) {
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
  });
  ASSERT_FALSE(run.timed_out) << describe(run);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(box_texts(run), (std::vector<std::string>{kPrompt, kProgressText, report}))
      << describe(run);
  EXPECT_EQ(read_file(setup.folder + "\\a.txt"), "a");
  EXPECT_EQ(read_file(setup.folder + "\\b.txt"), "b");
  if (c.hold_last_file) {
    // Gone only with the process after the report, as after any failure.
    EXPECT_TRUE(progress_behind);
  } else {
    EXPECT_EQ(read_file(setup.folder + "\\c.txt"), "c");
    // Destroyed on success before the report.
    EXPECT_FALSE(progress_behind);
  }
}

INSTANTIATE_TEST_SUITE_P(Extract, ProgressWindowIgnoresClosing, testing::ValuesIn(kCloseCases),
                         [](const testing::TestParamInfo<CloseCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
