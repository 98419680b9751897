// Folder selection when the registry names no install folder: the
// question, the shell's folder browser (driven from here with the
// keyboard, as a user would), the depth limit, and a picked folder that
// keeps the uninstall record out of the run.
//
// The browser's tree view takes keyboard messages from another process;
// its item texts are read through a TVITEM placed in the updater's own
// memory, as pointers are not carried across processes. The system menu
// lives in the updater's process alone under Wine, so menu_probe.dll is
// loaded there and asked from a remote thread.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/checks_support.h"

using namespace harness;
using namespace checks;

namespace {

// Controls of the shell's browser dialog.
constexpr int kBrowserTreeId = 14145;
constexpr int kBrowserTitleId = 14146;
constexpr DWORD kProbeFailed = 0xFFFFFFFF;

LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL, 10000, &result);
  return static_cast<LRESULT>(result);
}

// A page of memory in another process.
class RemotePage {
 public:
  explicit RemotePage(HANDLE process)
      : process_(process),
        address_(static_cast<char*>(
            VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ~RemotePage() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemotePage(const RemotePage&) = delete;
  RemotePage& operator=(const RemotePage&) = delete;
  char* at(size_t offset) const { return address_ + offset; }
  bool write(size_t offset, const void* data, size_t size) const {
    return address_ && WriteProcessMemory(process_, at(offset), data, size, nullptr);
  }
  bool read(size_t offset, void* data, size_t size) const {
    return address_ && ReadProcessMemory(process_, at(offset), data, size, nullptr);
  }

 private:
  HANDLE process_;
  char* address_;
};

// ---- The system menu, asked from inside the updater ----

DWORD run_remote_thread(HANDLE process, FARPROC start, void* argument) {
  HANDLE thread = CreateRemoteThread(process, nullptr, 0,
                                     reinterpret_cast<LPTHREAD_START_ROUTINE>(
                                         reinterpret_cast<void*>(start)),
                                     argument, 0, nullptr);
  if (!thread) return kProbeFailed;
  DWORD code = kProbeFailed;
  if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0 || !GetExitCodeThread(thread, &code))
    code = kProbeFailed;
  CloseHandle(thread);
  return code;
}

BYTE* module_base(DWORD pid, const char* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  MODULEENTRY32 module = {};
  module.dwSize = sizeof module;
  BYTE* base = nullptr;
  for (BOOL more = Module32First(snapshot, &module); more && !base;
       more = Module32Next(snapshot, &module))
    if (_stricmp(module.szModule, name) == 0) base = module.modBaseAddr;
  CloseHandle(snapshot);
  return base;
}

// GetMenuState of the first item of the window's system menu, or
// kProbeFailed. menu_probe.dll lies beside this program.
DWORD first_system_menu_item_state(HANDLE process, DWORD pid, HWND window) {
  std::string dll = harness::beside_this_program("menu_probe.dll");
  if (dll.empty()) return kProbeFailed;
  HMODULE local = LoadLibraryA(dll.c_str());
  if (!local) return kProbeFailed;
  FARPROC probe = GetProcAddress(local, "first_system_menu_item_state");
  RemotePage page(process);
  // kernel32 sits at the same address in every process.
  FARPROC load_library = GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA");
  if (!probe || !page.write(0, dll.c_str(), dll.size() + 1)) return kProbeFailed;
  run_remote_thread(process, load_library, page.at(0));
  BYTE* remote = module_base(pid, "menu_probe.dll");
  if (!remote) return kProbeFailed;
  auto remote_probe = reinterpret_cast<FARPROC>(
      remote + (reinterpret_cast<BYTE*>(probe) - reinterpret_cast<BYTE*>(local)));
  return run_remote_thread(process, remote_probe, window);
}

// ---- The tree view, driven by keys ----

class BrowserTree {
 public:
  BrowserTree(HWND tree, HANDLE process) : tree_(tree), page_(process) {}

  HTREEITEM item(UINT relation, HTREEITEM from = nullptr) const {
    return reinterpret_cast<HTREEITEM>(
        send(tree_, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
  }
  HTREEITEM caret() const { return item(TVGN_CARET); }

  void press(UINT key) const {
    send(tree_, WM_KEYDOWN, key, 1);
    send(tree_, WM_KEYUP, key, 0xC0000001);
  }

  std::string label(HTREEITEM of) const {
    constexpr size_t kTextOffset = 512;
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = of;
    item.pszText = page_.at(kTextOffset);
    item.cchTextMax = 1024;
    char text[1025] = {};
    if (!page_.write(0, &item, sizeof item) ||
        !send(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(page_.at(0))) ||
        !page_.read(kTextOffset, text, 1024))
      return "(unreadable)";
    return text;
  }

  // Opens the selected item and selects its child named `name`, with the
  // keys a user would press: Right opens (and, once open, enters), Down
  // goes to the next sibling. "" when done, else what went wrong.
  std::string enter(const std::string& name) const {
    HTREEITEM parent = caret();
    press(VK_RIGHT);
    if (caret() == parent) press(VK_RIGHT);
    HTREEITEM current = caret();
    if (current == parent || item(TVGN_PARENT, current) != parent)
      return "cannot open " + utf8(label(parent));
    for (;;) {
      if (label(current) == name) return "";
      press(VK_DOWN);
      HTREEITEM next = caret();
      if (next == current || item(TVGN_PARENT, next) != parent)
        return "no " + utf8(name) + " in " + utf8(label(parent));
      current = next;
    }
  }

 private:
  HWND tree_;
  RemotePage page_;
};

std::string shell_display_name(LPCSTR path_or_list, UINT flags) {
  SHFILEINFOA info = {};
  SHGetFileInfoA(path_or_list, 0, &info, sizeof info, SHGFI_DISPLAYNAME | flags);
  return info.szDisplayName;
}

// The labels the tree shows on the way to `path` ("C:\a\b"): the
// computer, the drive, then each folder.
std::vector<std::string> tree_labels(const std::string& path) {
  std::vector<std::string> labels;
  PIDLIST_ABSOLUTE computer = nullptr;
  if (SUCCEEDED(SHGetFolderLocation(nullptr, CSIDL_DRIVES, nullptr, 0, &computer))) {
    labels.push_back(shell_display_name(reinterpret_cast<LPCSTR>(computer), SHGFI_PIDL));
    CoTaskMemFree(computer);
  }
  labels.push_back(shell_display_name(path.substr(0, 3).c_str(), 0));
  for (size_t start = 3; start < path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    labels.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return labels;
}

// ---- One run with the browser ----

// What the user does at one appearance of the browser: pick `folder`
// (OK), or press Cancel when it is empty.
struct Visit {
  std::string folder;
};

// What one appearance of the browser showed.
struct Seen {
  std::string caption;
  std::string title;
  DWORD first_menu_item_state = kProbeFailed;
  std::string error;  // the pick could not be made
};

class EventLog {
 public:
  EventLog() { InitializeCriticalSection(&lock_); }
  ~EventLog() { DeleteCriticalSection(&lock_); }
  void add(const std::string& event) {
    EnterCriticalSection(&lock_);
    events_.push_back(event);
    LeaveCriticalSection(&lock_);
  }
  std::vector<std::string> events() {
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = events_;
    LeaveCriticalSection(&lock_);
    return copy;
  }

 private:
  CRITICAL_SECTION lock_;
  std::vector<std::string> events_;
};

constexpr char kBrowserEvent[] = "(folder browser)";

struct Driver {
  std::vector<Visit> plan;
  std::vector<Seen> seen;
  EventLog* log;
  volatile LONG stop = 0;
};

struct BrowserWindow {
  HWND window = nullptr;
  HWND tree = nullptr;
  DWORD pid = 0;
};

BOOL CALLBACK match_browser(HWND window, LPARAM data) {
  auto* found = reinterpret_cast<BrowserWindow*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  if (pid == GetCurrentProcessId() || !IsWindowVisible(window) ||
      std::string(class_name) != "#32770")
    return TRUE;
  HWND tree = GetDlgItem(window, kBrowserTreeId);
  char tree_class[32] = {};
  if (tree) GetClassNameA(tree, tree_class, sizeof tree_class);
  if (std::string(tree_class) != WC_TREEVIEWA) return TRUE;
  *found = {window, tree, pid};
  return FALSE;
}

void handle_browser(const BrowserWindow& browser, const Visit* visit, Seen* seen) {
  char text[1024] = {};
  GetWindowTextA(browser.window, text, sizeof text);
  seen->caption = text;
  text[0] = '\0';
  GetDlgItemTextA(browser.window, kBrowserTitleId, text, sizeof text);
  seen->title = text;
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, browser.pid);
  if (!process) {
    seen->error = "cannot open the updater's process";
    PostMessageA(browser.window, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  seen->first_menu_item_state = first_system_menu_item_state(process, browser.pid, browser.window);
  int button = IDCANCEL;
  if (visit && !visit->folder.empty()) {
    BrowserTree tree(browser.tree, process);
    // What Tab would do: the tree takes the focus and selects its root.
    send(browser.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(browser.tree), TRUE);
    tree.press(VK_HOME);
    if (!tree.caret() || tree.caret() != tree.item(TVGN_ROOT)) seen->error = "no root selected";
    for (const std::string& label : tree_labels(visit->folder)) {
      if (!seen->error.empty()) break;
      seen->error = tree.enter(label);
    }
    if (seen->error.empty() && !IsWindowEnabled(GetDlgItem(browser.window, IDOK)))
      seen->error = "OK is disabled";
    if (seen->error.empty()) button = IDOK;
  } else if (!visit) {
    seen->error = "unexpected browser";
  }
  PostMessageA(browser.window, WM_COMMAND, button, 0);
  CloseHandle(process);
}

DWORD WINAPI drive_browsers(void* data) {
  Driver& driver = *static_cast<Driver*>(data);
  while (!driver.stop) {
    BrowserWindow browser;
    EnumWindows(match_browser, reinterpret_cast<LPARAM>(&browser));
    if (!browser.window) {
      Sleep(5);
      continue;
    }
    driver.log->add(kBrowserEvent);
    size_t index = driver.seen.size();
    Seen seen;
    handle_browser(browser, index < driver.plan.size() ? &driver.plan[index] : nullptr, &seen);
    driver.seen.push_back(seen);
    while (!driver.stop && IsWindow(browser.window) && IsWindowVisible(browser.window)) Sleep(5);
  }
  return 0;
}

struct SelectionRun {
  RunResult run;
  std::vector<std::string> events;  // boxes and browsers, in order
  std::vector<Seen> browsers;
};

SelectionRun run_with_browser(const EditionProfile& e, const std::vector<Visit>& plan,
                              const Answer& answer) {
  EventLog log;
  Driver driver;
  driver.plan = plan;
  driver.log = &log;
  HANDLE thread = CreateThread(nullptr, 0, drive_browsers, &driver, 0, nullptr);
  SelectionRun result;
  result.run = run_program(
      edition_path(&e == &patch_edition ? "tivarn_patch104" : "tivarn_append104"),
      [&](const Box& box) {
        log.add(box_line(box.caption, box.buttons, box.has_icon, box.text));
        return answer(box);
      });
  InterlockedExchange(&driver.stop, 1);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  result.events = log.events();
  result.browsers = driver.seen;
  return result;
}

// Box lines and browsers in the order they are expected.
struct Step {
  Expected box;
  bool browser;
};
Step box(Expected expected) { return {expected, false}; }
const Step kBrowser = {{"", "", false}, true};

std::vector<std::string> expected_events(const EditionProfile& e, const std::vector<Step>& steps) {
  std::vector<std::string> events;
  for (const Step& step : steps)
    events.push_back(step.browser ? std::string(kBrowserEvent)
                                  : expected_lines(e, {step.box}).front());
  return events;
}

std::string describe(const SelectionRun& selection) {
  std::string out = harness::describe(selection.run) + "\nbrowsers:";
  for (const Seen& seen : selection.browsers)
    out += "\n  [" + utf8(seen.caption) + "] " + utf8(seen.title) + " menu state " +
           std::to_string(seen.first_menu_item_state) +
           (seen.error.empty() ? "" : " error: " + seen.error);
  return out;
}

// Every browser showed the edition's title, under the shell's caption,
// with the first item of its system menu greyed, and took its pick.
void expect_browsers_as_asked(const SelectionRun& selection) {
  for (const Seen& seen : selection.browsers) {
    EXPECT_FALSE(seen.caption.empty());
    EXPECT_EQ(seen.title, formatted(kBrowseTitleText, patch_edition.game_exe_name));
    ASSERT_NE(seen.first_menu_item_state, kProbeFailed) << "system menu not readable";
    EXPECT_TRUE(seen.first_menu_item_state & MF_GRAYED);
    EXPECT_EQ(seen.error, "");
  }
}

void remove_registered_folder() { set_install_folder(nullptr); }

// OK to the not-installed question, No or Cancel to everything else.
int pick_then_decline(const Box& box) {
  return box.text == formatted(kNotInstalledText, patch_edition.product_name) ? IDOK
                                                                               : answer_no(box);
}

TEST(FolderSelection, UnregisteredGameBringsTheQuestionAndCancelEndsTheRun) {
  enum Registry { kNoKey, kKeyWithoutValue, kEmptyValue };
  struct Case {
    const char* name;
    const EditionProfile* edition;
    Registry registry;
  } cases[] = {
      {"no key", &patch_edition, kNoKey},
      {"key without value", &append_edition, kKeyWithoutValue},
      {"empty value", &patch_edition, kEmptyValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    remove_registered_folder();
    if (c.registry == kKeyWithoutValue) {
      HKEY key;
      ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Brevandt\\Tivarne", 0, nullptr, 0,
                                KEY_WRITE, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(key);
    } else if (c.registry == kEmptyValue) {
      set_install_folder("");
    }
    SelectionRun selection = run_with_browser(*c.edition, {}, answer_no);
    ASSERT_FALSE(selection.run.timed_out) << describe(selection);
    EXPECT_EQ(selection.run.exit_code, 0u);
    EXPECT_EQ(selection.events, expected_events(*c.edition, {box(not_installed(*c.edition))}))
        << describe(selection);
  }
}

// Folders under C:\tivarne-tests\browse: one exactly 200 bytes long and
// one of 201, both with a game, and one without.
struct BrowseFolders {
  std::string exact;
  std::string too_deep;
  std::string without_game;
};

BrowseFolders make_browse_folders() {
  std::string base = fresh_folder("browse");
  BrowseFolders folders;
  folders.exact = base + "\\" + std::string(200 - base.size() - 1, 'k');
  folders.too_deep = base + "\\" + std::string(201 - base.size() - 1, 'm');
  folders.without_game = base + "\\nogame";
  for (const std::string& folder : {folders.exact, folders.too_deep, folders.without_game})
    CreateDirectoryA(folder.c_str(), nullptr);
  for (const std::string& folder : {folders.exact, folders.too_deep})
    CopyFileA(game_exe_path("game_1_3_9_0").c_str(), (folder + "\\Tivarne.exe").c_str(), FALSE);
  return folders;
}

TEST(FolderSelection, BrowserPicksAFolderOfAtMost200Bytes) {
  BrowseFolders folders = make_browse_folders();
  ASSERT_EQ(folders.exact.size(), 200u);
  ASSERT_EQ(folders.too_deep.size(), 201u);
  ASSERT_TRUE(file_exists(folders.exact + "\\Tivarne.exe"));
  const Visit cancel{""};
  struct Case {
    const char* name;
    const EditionProfile* edition;
    std::vector<Visit> plan;
    std::vector<Step> steps;
  } cases[] = {
      {"cancel", &append_edition, {cancel},
       {box(not_installed(append_edition)), kBrowser}},
      {"too deep, then exactly 200 bytes", &patch_edition, {{folders.too_deep}, {folders.exact}},
       {box(not_installed(patch_edition)), kBrowser, box(folder_too_deep()), kBrowser,
        box(plain_prompt(patch_edition))}},
      {"too deep, then cancel", &patch_edition, {{folders.too_deep}, cancel},
       {box(not_installed(patch_edition)), kBrowser, box(folder_too_deep()), kBrowser}},
      {"a folder without the game", &patch_edition, {{folders.without_game}},
       {box(not_installed(patch_edition)), kBrowser, box(game_missing(patch_edition))}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    remove_registered_folder();
    SelectionRun selection = run_with_browser(*c.edition, c.plan, pick_then_decline);
    ASSERT_FALSE(selection.run.timed_out) << describe(selection);
    EXPECT_EQ(selection.run.exit_code, 0u);
    EXPECT_EQ(selection.events, expected_events(*c.edition, c.steps)) << describe(selection);
    expect_browsers_as_asked(selection);
  }
}

// A folder from the browser is updated without its uninstall record: none
// is read (a directory of that name would stop a registered game's run),
// created, or changed.
TEST(FolderSelection, PickedFolderIsUpdatedWithoutItsRecord) {
  enum RecordState { kNone, kFile, kDirectory };
  const std::string record_bytes = std::string("FC:\\old.txt") + '\0' + '\0';
  for (RecordState state : {kNone, kFile, kDirectory}) {
    SCOPED_TRACE(state == kNone   ? "no record"
                 : state == kFile ? "a record"
                                  : "a directory named uinst.dat");
    remove_registered_folder();
    std::string folder = fresh_folder("picked");
    ASSERT_TRUE(CopyFileA(game_exe_path("game_1_3_9_0").c_str(),
                          (folder + "\\Tivarne.exe").c_str(), FALSE));
    const std::string record = folder + "\\uinst.dat";
    if (state == kFile) {
      ASSERT_TRUE(write_file(record, record_bytes));
    } else if (state == kDirectory) {
      ASSERT_TRUE(CreateDirectoryA(record.c_str(), nullptr));
    }
    long long record_time = file_write_time(record);

    SelectionRun selection = run_with_browser(patch_edition, {{folder}}, answer_yes);
    ASSERT_FALSE(selection.run.timed_out) << describe(selection);
    EXPECT_EQ(selection.events,
              expected_events(patch_edition, {box(not_installed(patch_edition)), kBrowser,
                                              box(plain_prompt(patch_edition)), box(completed())}))
        << describe(selection);
    expect_browsers_as_asked(selection);
    EXPECT_TRUE(file_exists(folder + "\\readme_patch104.txt"));
    EXPECT_FALSE(file_exists(record + ".new"));
    switch (state) {
      case kNone: EXPECT_FALSE(file_exists(record)); break;
      case kFile:
        EXPECT_EQ(read_file(record), record_bytes);
        EXPECT_EQ(file_write_time(record), record_time);
        break;
      case kDirectory: EXPECT_TRUE(directory_exists(record)); break;
    }
  }
}

}  // namespace
