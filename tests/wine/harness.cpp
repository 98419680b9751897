#include "tests/wine/harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace harness {

std::vector<Box> RunResult::messages() const {
  std::vector<Box> out;
  for (const Box& box : boxes)
    if (!box.is_progress()) out.push_back(box);
  return out;
}

int answer_yes(const Box& box) { return box.buttons == "YesNo" ? IDYES : IDOK; }

int answer_no(const Box& box) {
  if (box.buttons == "YesNo") return IDNO;
  if (box.buttons == "OKCancel") return IDCANCEL;
  return IDOK;
}

std::string beside_this_program(const char* file_name) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1) + file_name;
}

namespace {

struct Finder {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK collect_window(HWND window, LPARAM data) {
  auto* finder = reinterpret_cast<Finder*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  if (pid == finder->pid && IsWindowVisible(window) && std::string(class_name) == "#32770")
    finder->windows.push_back(window);
  return TRUE;
}

bool has_visible_child(HWND box, int id) {
  HWND child = GetDlgItem(box, id);
  return child && IsWindowVisible(child);
}

Box read_box(HWND window) {
  Box box;
  char text[2048] = {};
  GetWindowTextA(window, text, sizeof text);
  box.caption = text;
  text[0] = '\0';
  // A message box's text is control 0xFFFF; the progress window's static
  // has the identifier -1, which a dialog template stores in 32 bits.
  if (!GetDlgItemTextA(window, 0xFFFF, text, sizeof text))
    GetDlgItemTextA(window, -1, text, sizeof text);
  box.text = text;
  if (has_visible_child(window, IDYES)) box.buttons = "YesNo";
  else if (has_visible_child(window, IDCANCEL)) box.buttons = "OKCancel";
  else if (has_visible_child(window, IDOK)) box.buttons = "OK";
  // The icon of a message box is the static control stc1 (0x440); a box
  // without one keeps the control, empty.
  HWND icon = GetDlgItem(window, 0x440);
  box.has_icon = icon && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
  return box;
}

bool start_process(const std::string& exe, PROCESS_INFORMATION* info, DWORD flags = 0) {
  std::string command = "\"" + exe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  // Wine fails a start now and then (error 1359): one retry.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, flags, nullptr,
                       nullptr, &startup, info))
      return true;
    Sleep(200);
  }
  return false;
}

// The progress gate (progress_gate.dll beside this program): a global
// hook that holds a program which has just shown its progress window until
// the harness has seen it. Without the DLL, windows are only polled for,
// and a progress window that lives for less than a poll can be missed.
bool install_progress_gate() {
  std::string dll = beside_this_program("progress_gate.dll");
  if (dll.empty()) return false;
  HMODULE module = LoadLibraryA(dll.c_str());
  if (!module) return false;
  auto hook = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(GetProcAddress(module, "progress_gate_hook")));
  return hook && SetWindowsHookExA(WH_CALLWNDPROCRET, hook, module, 0);
}

// The gate's two events for one process: "shown" is set by the program,
// "go" by the harness.
struct Gate {
  HANDLE shown = nullptr;
  HANDLE go = nullptr;
  explicit Gate(DWORD pid) {
    static const bool installed = install_progress_gate();
    if (!installed) return;
    char name[64];
    std::snprintf(name, sizeof name, "tivarne-gate-shown-%lu", pid);
    shown = CreateEventA(nullptr, FALSE, FALSE, name);
    std::snprintf(name, sizeof name, "tivarne-gate-go-%lu", pid);
    go = CreateEventA(nullptr, FALSE, FALSE, name);
  }
  ~Gate() {
    if (shown) CloseHandle(shown);
    if (go) CloseHandle(go);
  }
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;
};

}  // namespace

RunResult run_program(const std::string& exe, const Answer& answer,
                      const ProgressHook& on_progress, DWORD timeout_ms) {
  RunResult result;
  PROCESS_INFORMATION info;
  if (!start_process(exe, &info, CREATE_SUSPENDED)) {
    std::fprintf(stderr, "cannot start %s: %lu\n", exe.c_str(), GetLastError());
    return result;
  }
  Gate gate(info.dwProcessId);
  ResumeThread(info.hThread);
  std::set<HWND> handled;
  bool held = false;  // the program waits at the gate for this pass
  const DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) break;
    if (GetTickCount() - start > timeout_ms) {
      result.timed_out = true;
      TerminateProcess(info.hProcess, 0xDEAD);
      WaitForSingleObject(info.hProcess, 5000);
      break;
    }
    Finder finder{info.dwProcessId, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&finder));
    std::set<HWND> present(finder.windows.begin(), finder.windows.end());
    // A handle may be used again once its window is gone.
    for (auto it = handled.begin(); it != handled.end();)
      it = present.count(*it) ? std::next(it) : handled.erase(it);
    bool idle = true;
    for (HWND window : finder.windows) {
      if (handled.count(window)) continue;
      Box box = read_box(window);
      if (!box.is_progress() && box.text.empty()) continue;  // not filled in yet
      handled.insert(window);
      result.boxes.push_back(box);
      idle = false;
      if (box.is_progress()) {
        if (on_progress) {
          SuspendThread(info.hThread);
          on_progress(window, info.hProcess);
          ResumeThread(info.hThread);
        }
      } else {
        PostMessageA(window, WM_COMMAND, answer(box), 0);
      }
    }
    if (held) {
      SetEvent(gate.go);
      held = false;
    }
    if (gate.shown) {
      HANDLE events[2] = {info.hProcess, gate.shown};
      held = WaitForMultipleObjects(2, events, FALSE, idle ? 5 : 0) == WAIT_OBJECT_0 + 1;
    } else if (idle) {
      Sleep(5);
    }
  }
  GetExitCodeProcess(info.hProcess, &result.exit_code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return result;
}

// TIVARNE_BUILD is the build folder, as a Windows path.
static std::string build_folder() {
  const char* build = std::getenv("TIVARNE_BUILD");
  return build ? build : ".";
}

std::string edition_path(const char* name) {
  return build_folder() + "\\dist\\" + name + ".exe";
}

std::string game_exe_path(const char* target) {
  return build_folder() + "\\game\\" + target + "\\Tivarne.exe";
}

void remove_tree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        remove_tree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::string fresh_folder(const std::string& name) {
  CreateDirectoryA("C:\\tivarne-tests", nullptr);
  std::string folder = "C:\\tivarne-tests\\" + name;
  remove_tree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

static const char kKey[] = "Software\\Brevandt\\Tivarne";

void set_install_folder(const char* value) {
  if (!value) {
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    return;
  }
  set_registry_value(REG_SZ, value, static_cast<DWORD>(std::strlen(value) + 1));
}

void set_registry_value(DWORD type, const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "DataDir", 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

bool copy_with_package(const std::string& exe, const std::string& copy_path, bool append,
                       const std::vector<unsigned char>& package) {
  if (!CopyFileA(exe.c_str(), copy_path.c_str(), FALSE)) return false;
  HANDLE update = BeginUpdateResourceA(copy_path.c_str(), FALSE);
  if (!update) return false;
  const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
  LPCSTR name = append ? MAKEINTRESOURCEA(132) : "PATCH";
  BOOL ok = UpdateResourceA(update, "BIN", name, japanese,
                            const_cast<unsigned char*>(package.data()),
                            static_cast<DWORD>(package.size()));
  return EndUpdateResourceA(update, !ok) && ok;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool write_file(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

bool file_exists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directory_exists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static long long unix_time(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<long long>(value.QuadPart / 10000000ULL) - 11644473600LL;
}

static bool file_times(const std::string& path, FILETIME* access, FILETIME* write) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *access = data.ftLastAccessTime;
  *write = data.ftLastWriteTime;
  return true;
}

long long file_write_time(const std::string& path) {
  FILETIME access, write;
  return file_times(path, &access, &write) ? unix_time(write) : -1;
}

long long file_access_time(const std::string& path) {
  FILETIME access, write;
  return file_times(path, &access, &write) ? unix_time(access) : -1;
}

std::vector<std::string> record_items(const std::string& record_path) {
  std::string bytes = read_file(record_path);
  std::vector<std::string> items;
  size_t position = 0;
  while (position < bytes.size() && bytes[position] != '\0') {
    size_t end = bytes.find('\0', position);
    if (end == std::string::npos) end = bytes.size();
    items.push_back(bytes.substr(position, end - position));
    position = end + 1;
  }
  return items;
}

Install make_install(const std::string& name, const char* game, const std::string* record) {
  Install install{fresh_folder(name)};
  if (game && *game)
    CopyFileA(game_exe_path(game).c_str(), (install.folder + "\\Tivarne.exe").c_str(), FALSE);
  if (record) write_file(install.record_path(), *record);
  set_install_folder(install.folder.c_str());
  return install;
}


ScopedHandle& ScopedHandle::operator=(ScopedHandle&& other) noexcept {
  if (this != &other) {
    if (handle) CloseHandle(handle);
    handle = other.handle;
    other.handle = nullptr;
  }
  return *this;
}

ScopedHandle::~ScopedHandle() {
  if (handle) CloseHandle(handle);
}

ScopedHandle hold_mutex(const char* name) {
  return ScopedHandle(CreateMutexA(nullptr, FALSE, name));
}

ScopedHandle hold_file_exclusively(const std::string& path) {
  return ScopedHandle(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool set_file_times(const std::string& path, long long unix_seconds) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>(unix_seconds + 11644473600LL) * 10000000ULL;
  FILETIME time = {ticks.LowPart, ticks.HighPart};
  BOOL ok = SetFileTime(file, nullptr, &time, &time);
  CloseHandle(file);
  return ok;
}

static void collect_contents(const std::string& folder, const std::string& prefix,
                             std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[prefix + name] = "<dir>";
      collect_contents(folder + "\\" + name, prefix + name + "\\", out);
    } else {
      out[prefix + name] = read_file(folder + "\\" + name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::map<std::string, std::string> folder_contents(const std::string& folder) {
  std::map<std::string, std::string> out;
  collect_contents(folder, "", out);
  return out;
}

std::vector<unsigned char> edition_package(const std::string& exe, bool append) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return {};
  std::vector<unsigned char> package;
  HRSRC found = FindResourceA(module, append ? MAKEINTRESOURCEA(132) : "PATCH", "BIN");
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  if (loaded) {
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    package.assign(bytes, bytes + SizeofResource(module, found));
  }
  FreeLibrary(module);
  return package;
}

std::vector<PackFile> unpack_package(const std::vector<unsigned char>& package) {
  if (check_package(package) != kPackageSound) return {};
  std::vector<PackFile> files;
  PackageCursor cursor = begin_package_walk(package.data());
  PackageEntry entry;
  while (next_package_entry(cursor, entry)) {
    std::vector<unsigned char> data(entry.unpacked_size + 1);
    if (inflate_entry(entry_stream(cursor, entry), entry, data.data(), data.size()) != 0)
      return {};
    files.push_back({std::string(entry.name),
                     std::string(data.begin(), data.begin() + entry.unpacked_size), entry.time});
  }
  return files;
}

// The Wine prefix as a Unix path, and a Unix path as a Windows one (Z: is
// the Unix root).
static std::string wine_prefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  return prefix ? prefix : "";
}

static std::string windows_path_of(std::string unix_path) {
  for (char& c : unix_path)
    if (c == '/') c = '\\';
  return "Z:" + unix_path;
}

int run_unix_script(const std::string& script) {
  const std::string prefix = wine_prefix();
  if (prefix.empty()) return -1;
  static int counter = 0;
  const std::string base = prefix + "/../unix-script-" + std::to_string(GetCurrentProcessId()) +
                           "-" + std::to_string(++counter);
  const std::string status = base + ".status";
  // Wine does not wait for a Unix program: the script leaves its status
  // in a file, renamed into place once complete.
  std::string wrapper = "(\n" + script + "\n) >'" + base + ".log' 2>&1\n" +
                        "echo $? >'" + status + ".tmp' && mv '" + status + ".tmp' '" + status +
                        "'\n";
  if (!write_file(windows_path_of(base + ".sh"), wrapper)) return -1;
  std::string command = "/bin/sh \"" + base + ".sh\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return -1;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  int result = -1;
  for (int waited = 0; waited < 30000; waited += 20) {
    if (file_exists(windows_path_of(status))) {
      result = std::atoi(read_file(windows_path_of(status)).c_str());
      break;
    }
    Sleep(20);
  }
  for (const char* suffix : {".sh", ".log", ".status"})
    DeleteFileA(windows_path_of(base + suffix).c_str());
  return result;
}

SmallDrive::SmallDrive(char letter, unsigned kib) : letter_(letter) {
  const std::string prefix = wine_prefix();
  if (prefix.empty()) return;
  char lower = static_cast<char>(letter | 0x20);
  unix_dir_ = prefix + "/../drive-" + lower;
  link_ = prefix + "/dosdevices/" + lower + ":";
  std::string script = "d='" + unix_dir_ + "'; link='" + link_ + "'\n" +
                       "rm -f \"$link\"\n"
                       "if mountpoint -q \"$d\"; then umount -l \"$d\"; fi\n"
                       "mkdir -p \"$d\" || exit 1\n"
                       "mount -t tmpfs -o size=" +
                       std::to_string(kib) + "k tmpfs \"$d\" || exit 1\n" +
                       "ln -s \"$d\" \"$link\"\n";
  mounted_ = run_unix_script(script) == 0;
}

SmallDrive::~SmallDrive() {
  if (unix_dir_.empty()) return;
  run_unix_script("rm -f '" + link_ + "'\numount -l '" + unix_dir_ + "'\nrmdir '" + unix_dir_ +
                  "'\n");
}

static std::string convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  int wide_length = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
  std::wstring wide(wide_length, L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      wide_length);
  int length = WideCharToMultiByte(to, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  std::string out(length, '\0');
  WideCharToMultiByte(to, 0, wide.data(), wide_length, out.data(), length, nullptr, nullptr);
  return out;
}

std::string sjis(const char* text) { return convert(text, CP_UTF8, 932); }

std::string utf8(const std::string& cp932) { return convert(cp932, 932, CP_UTF8); }

std::string describe(const RunResult& run) {
  std::string out;
  for (const Box& box : run.boxes) {
    out += '[';
    out += utf8(box.caption);
    out += "] ";
    out += box.is_progress() ? "progress" : box.buttons;
    out += box.has_icon ? " icon: " : ": ";
    out += utf8(box.text);
    out += '\n';
  }
  out += "exit code " + std::to_string(run.exit_code) + (run.timed_out ? " (timed out)" : "");
  return out;
}

}  // namespace harness
