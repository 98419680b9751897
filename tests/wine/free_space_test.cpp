// The free-space check on real drives: tmpfs file systems of chosen sizes,
// mounted (as root) and mapped to Wine drive letters, filled so that the
// free space in MiB is exact before each edition runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "checks/free_space.h"
#include "tests/wine/checks_support.h"

using namespace harness;
using namespace checks;

namespace {

constexpr unsigned long long kMiB = 1ull << 20;
constexpr unsigned long long kHalfMiB = kMiB / 2;

std::string wine_prefix() {
  char prefix[1024] = {};
  GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
  return prefix;
}

// Runs a shell script on the Unix side: Wine starts Unix programs too, but
// their handle does not wait for their end, so the script leaves a mark
// when done and this waits for the mark.
void run_unix(const std::string& script) {
  static int calls = 0;
  std::string mark = wine_prefix() + "/../unix-done-" + std::to_string(GetCurrentProcessId()) +
                     "-" + std::to_string(++calls);
  std::string command = "/bin/sh -c \"" + script + "; : > '" + mark + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  if (!CreateProcessA("Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info))
    return;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::string windows_mark = "Z:" + mark;
  for (char& c : windows_mark)
    if (c == '/') c = '\\';
  for (int i = 0; i < 6000 && GetFileAttributesA(windows_mark.c_str()) == INVALID_FILE_ATTRIBUTES;
       ++i)
    Sleep(10);
  DeleteFileA(windows_mark.c_str());
}

bool disk_space(const std::string& root, unsigned long long* available,
                unsigned long long* total = nullptr) {
  ULARGE_INTEGER free_to_caller, all, all_free;
  if (!GetDiskFreeSpaceExA(root.c_str(), &free_to_caller, &all, &all_free)) return false;
  *available = free_to_caller.QuadPart;
  if (total) *total = all.QuadPart;
  return true;
}

// A tmpfs of `bytes` (a multiple of the page size) mounted under the
// prefix's folder and mapped to a drive letter, and when `shared` to
// \\tivhost\share as well. A mount left over from an interrupted run is
// taken down first.
class TmpfsDrive {
 public:
  TmpfsDrive(char letter, unsigned long long bytes, bool shared = false)
      : letter_(letter), bytes_(bytes), shared_(shared) {
    std::string prefix = wine_prefix();
    if (prefix.empty()) return;
    directory_ = prefix + "/../drives/" + letter;
    // Wine looks for the letter in lower case.
    link_ = prefix + "/dosdevices/" + static_cast<char>(letter - 'A' + 'a') + ":";
    share_ = prefix + "/dosdevices/unc/tivhost/share";
    std::string script = unmount_script() + "; mkdir -p '" + directory_ +
                         "' && mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs '" +
                         directory_ + "' && ln -s '" + directory_ + "' '" + link_ + "'";
    if (shared_)
      script += " && mkdir -p '" + prefix + "/dosdevices/unc/tivhost' && ln -s '" + directory_ +
                "' '" + share_ + "'";
    run_unix(script);
  }
  ~TmpfsDrive() {
    if (!directory_.empty()) run_unix(unmount_script());
  }
  TmpfsDrive(const TmpfsDrive&) = delete;
  TmpfsDrive& operator=(const TmpfsDrive&) = delete;

  std::string root() const { return std::string(1, letter_) + ":\\"; }

  // "" when the drive is there with its size, else why not.
  std::string problem() const {
    if (directory_.empty()) return "WINEPREFIX is not set";
    unsigned long long available = 0, total = 0;
    if (!disk_space(root(), &available, &total))
      return root() + " is not mapped: mounting a tmpfs needs root";
    if (total != bytes_) return root() + " is not the tmpfs just mounted";
    return "";
  }

 private:
  std::string unmount_script() const {
    return "while umount '" + directory_ + "' 2>/dev/null; do :; done; rmdir '" + directory_ +
           "' 2>/dev/null; rm -f '" + link_ + "'" + (shared_ ? " '" + share_ + "'" : "");
  }

  char letter_;
  unsigned long long bytes_;
  bool shared_;
  std::string directory_, link_, share_;
};

bool write_zeros(const std::string& path, unsigned long long size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Written, not extended: a sparse file would take no room on tmpfs.
  std::vector<char> zeros(kMiB);
  bool sound = true;
  while (sound && size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<unsigned long long>(size, zeros.size()));
    DWORD written = 0;
    sound = WriteFile(file, zeros.data(), chunk, &written, nullptr) && written == chunk;
    size -= chunk;
  }
  return CloseHandle(file) && sound;
}

// Takes room with a file until at most `free_bytes` (and less than a page
// fewer) are left; returns the free space then.
unsigned long long fill_to(const std::string& root, const std::string& name,
                           unsigned long long free_bytes) {
  unsigned long long available = 0;
  if (!disk_space(root, &available) || available <= free_bytes) return available;
  write_zeros(root + name, available - free_bytes);
  disk_space(root, &available);
  return available;
}

// Where a case puts the game, and how it is registered.
enum Place { kFolder, kLowerCaseFolder, kDriveRoot, kNetworkPath };

struct Case {
  const char* name;
  const EditionProfile* edition;
  char letter;
  unsigned long long drive_bytes;
  Place place;
  unsigned long long free_bytes;  // 0: the drive is left as it is
  bool stops;
};

TEST(FreeSpace, TooLittleRoomStopsTheRunBeforeTheConfirmation) {
  const Case cases[] = {
      {"patch, 14 MiB", &patch_edition, 'R', 17 * kMiB, kFolder, 14 * kMiB + kHalfMiB, true},
      {"patch, 15 MiB", &patch_edition, 'R', 17 * kMiB, kFolder, 15 * kMiB + kHalfMiB, false},
      {"append, 179 MiB", &append_edition, 'S', 182 * kMiB, kFolder, 179 * kMiB + kHalfMiB, true},
      {"append, 180 MiB", &append_edition, 'S', 182 * kMiB, kFolder, 180 * kMiB + kHalfMiB,
       false},
      {"patch, 14 MiB, registered as r:", &patch_edition, 'R', 17 * kMiB, kLowerCaseFolder,
       14 * kMiB + kHalfMiB, true},
      // Less than 1 MiB counts as unknown.
      {"patch, half a MiB", &patch_edition, 'R', 17 * kMiB, kFolder, kHalfMiB, false},
      // T:\ loses its backslash at the game check; T: is not a root to ask.
      {"patch, 5 MiB, drive root", &patch_edition, 'T', 8 * kMiB, kDriveRoot,
       5 * kMiB + kHalfMiB, false},
      {"patch, 5 MiB, network path", &patch_edition, 'T', 8 * kMiB, kNetworkPath,
       5 * kMiB + kHalfMiB, false},
      // 4 PiB and 10 MiB: the MiB count does not fit 32 bits; it must not
      // wrap around to 10.
      {"patch, 4 PiB", &patch_edition, 'U', (1ull << 52) + 11 * kMiB, kFolder, 0, false},
  };
  const std::string record = std::string("FC:\\old.txt") + '\0' + '\0';
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EditionProfile& e = *c.edition;
    TmpfsDrive drive(c.letter, c.drive_bytes, c.place == kNetworkPath);
    ASSERT_EQ(drive.problem(), "");

    std::string folder = c.place == kDriveRoot ? drive.root() : drive.root() + "game";
    std::string registered = folder;
    if (c.place == kLowerCaseFolder) registered[0] = static_cast<char>(c.letter - 'A' + 'a');
    if (c.place == kNetworkPath) registered = "\\\\tivhost\\share\\game";
    if (c.place != kDriveRoot) {
      ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    }
    std::string inside = c.place == kDriveRoot ? folder : folder + "\\";
    ASSERT_TRUE(CopyFileA(game_exe_path("game_1_3_9_0").c_str(), (inside + "Tivarne.exe").c_str(),
                          FALSE));
    ASSERT_TRUE(write_file(inside + "uinst.dat", record));
    set_install_folder(registered.c_str());

    unsigned long long available = 0;
    if (c.free_bytes) {
      available = fill_to(drive.root(), "filler", c.free_bytes);
      ASSERT_EQ(available >> 20, c.free_bytes >> 20);
    } else {
      ASSERT_TRUE(disk_space(drive.root(), &available));
      ASSERT_GT(available >> 20, 0xFFFFFFFFull);
      ASSERT_EQ((available >> 20) & 0xFFFFFFFF, 10u);
    }
    if (c.place == kNetworkPath) {
      ASSERT_TRUE(disk_space("\\\\tivhost\\share\\", &available));
      ASSERT_EQ(available >> 20, c.free_bytes >> 20);
    }
    auto before = harness::folder_contents(drive.root());

    RunResult run = run_program(edition_path(&e == &patch_edition ? "tivarn_patch104"
                                                                  : "tivarn_append104"),
                                answer_no);
    ASSERT_FALSE(run.timed_out) << describe(run);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(shown(run), expected_lines(e, {c.stops ? disk_full() : plain_prompt(e)}))
        << describe(run);
    EXPECT_EQ(harness::folder_contents(drive.root()), before);
  }
}

// The answer for one drive letter is kept and given for every path that
// starts with it, or that is no drive root; the letter is compared byte
// for byte, and a drive that cannot be asked counts as 0.
TEST(FreeSpace, LastDriveAskedKeepsItsAnswer) {
  TmpfsDrive drive('R', 17 * kMiB);
  ASSERT_EQ(drive.problem(), "");
  ASSERT_EQ(fill_to("R:\\", "filler", 10 * kMiB + kHalfMiB) >> 20, 10u);
  ASSERT_EQ(GetDriveTypeA("K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  struct Step {
    const char* path;
    uint32_t megabytes;
  } steps[] = {
      {"R:\\game", 10},
      {"R:\\other", 10},  // asked again after 2 MiB were taken below
      {"R:", 10},
      {"\\\\tivhost\\share\\game", 10},
      {"r:\\game", 8},
      {"K:\\", 0},
      {"R:\\", 8},
  };
  bool first = true;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.path);
    EXPECT_EQ(free_megabytes_on_drive(step.path), step.megabytes);
    if (first) {
      ASSERT_TRUE(write_zeros("R:\\taken", 2 * kMiB));
    }
    first = false;
  }
}

}  // namespace
