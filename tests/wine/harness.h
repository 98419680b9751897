// Drives a real edition under Wine: starts it, reads each window it
// shows, answers message boxes as a user would, and prepares the game
// installation around it (registry, folders, packages).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "package/package_format.h"

namespace harness {

// One top-level window the updater showed.
struct Box {
  std::string caption;  // CP932
  std::string text;     // CP932; the progress window's static text too
  std::string buttons;  // "OK", "OKCancel", "YesNo", "" for the progress window
  bool has_icon = false;
  bool is_progress() const { return buttons.empty(); }
};

struct RunResult {
  std::vector<Box> boxes;  // in the order they appeared
  DWORD exit_code = 0xFFFFFFFF;
  bool timed_out = false;
  // Only the message boxes, without the progress window.
  std::vector<Box> messages() const;
};

// Returns the button to press (IDOK, IDCANCEL, IDYES, IDNO) for a box.
using Answer = std::function<int(const Box&)>;
// Presses the affirmative button of each box: OK, or Yes.
int answer_yes(const Box& box);
// Presses Cancel or No, else OK.
int answer_no(const Box& box);

// Called once when the progress window has appeared, with the updater's
// thread suspended. With progress_gate.dll beside the test program the
// window is caught as soon as it is shown, before any entry is written;
// the hook may post to it but must not send to it.
using ProgressHook = std::function<void(HWND window, HANDLE process)>;

RunResult run_program(const std::string& exe, const Answer& answer,
                      const ProgressHook& on_progress = nullptr, DWORD timeout_ms = 60000);

// The path of `file_name` in the folder of the running program; empty
// when that folder cannot be found.
std::string beside_this_program(const char* file_name);

// Path of a built program: TIVARNE_DIST is the folder of the editions.
std::string edition_path(const char* name);  // "tivarn_patch104"
std::string game_exe_path(const char* target);  // "game_1_4_0"

// A fresh folder under the test root (C:\tivarne-tests\NAME), removed first.
std::string fresh_folder(const std::string& name);
void remove_tree(const std::string& path);

// The game's registry value; `value` null removes the key.
void set_install_folder(const char* value);
void set_registry_value(DWORD type, const void* data, DWORD size);

// Copies `exe` to `copy_path` and replaces its package resource with
// `package` (the edition's own name, type and language).
bool copy_with_package(const std::string& exe, const std::string& copy_path, bool append,
                       const std::vector<unsigned char>& package);

std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& data);
bool file_exists(const std::string& path);
bool directory_exists(const std::string& path);
// Last write and last access time of a file, seconds since 1970 UTC.
long long file_write_time(const std::string& path);
long long file_access_time(const std::string& path);

// The record's items, in order (without the closing empty string).
std::vector<std::string> record_items(const std::string& record_path);

// A game installation: folder with Tivarne.exe of `game` (empty for
// none), a record with `record` bytes (null for none), registered.
struct Install {
  std::string folder;
  std::string record_path() const { return folder + "\\uinst.dat"; }
};
Install make_install(const std::string& name, const char* game, const std::string* record);

// A handle closed when it goes out of scope.
struct ScopedHandle {
  HANDLE handle = nullptr;
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE h) : handle(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ScopedHandle(ScopedHandle&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
  ScopedHandle& operator=(ScopedHandle&& other) noexcept;
  ~ScopedHandle();
  explicit operator bool() const { return handle != nullptr; }
};
// Creates the named mutex here, as a running updater or game does.
ScopedHandle hold_mutex(const char* name);
// Opens an existing file with no sharing at all, as a program that keeps
// it open; null when the file cannot be opened.
ScopedHandle hold_file_exclusively(const std::string& path);

// Sets a file's access and write times, seconds since 1970 UTC.
bool set_file_times(const std::string& path, long long unix_seconds);

// Everything below `folder`: relative path to the file's bytes, and to
// "<dir>" for a directory. Compare two of them for "nothing changed".
std::map<std::string, std::string> folder_contents(const std::string& folder);

// The package resource of a built edition, as bytes (empty when missing).
std::vector<unsigned char> edition_package(const std::string& exe, bool append);
// The files of a sound package in table order, inflated; empty when the
// package fails its check or a stream does not inflate.
std::vector<PackFile> unpack_package(const std::vector<unsigned char>& package);

// Runs `script` with /bin/sh on the Unix side (Wine starts Unix programs
// as they are) and waits for it. Returns its exit status, or -1 when it
// could not be run or did not end within 30 s.
int run_unix_script(const std::string& script);

// A tmpfs of `kib` KiB mounted as Wine drive `letter` (needs root), for
// disk-full and free-space tests. Unmounted and unmapped when it goes out
// of scope. `root()` is "T:\" for letter 'T'; mounted() says whether it
// worked.
class SmallDrive {
 public:
  SmallDrive(char letter, unsigned kib);
  ~SmallDrive();
  SmallDrive(const SmallDrive&) = delete;
  SmallDrive& operator=(const SmallDrive&) = delete;
  bool mounted() const { return mounted_; }
  std::string root() const { return std::string(1, letter_) + ":\\"; }

 private:
  char letter_;
  std::string unix_dir_;
  std::string link_;
  bool mounted_ = false;
};

// CP932 text from UTF-8, for expected texts written in the tests.
std::string sjis(const char* utf8);
// UTF-8 from CP932, for messages.
std::string utf8(const std::string& cp932);
// The boxes of a run, one a line, in UTF-8.
std::string describe(const RunResult& run);

}  // namespace harness
