// The entry and the course of one run: guards, install folder, checks,
// confirmation, extraction and report. Every path ends with exit code 0.
#include "run/update_run.h"

#include <cstdio>
#include <cstring>

#include "checks/folder_selection.h"
#include "checks/free_space.h"
#include "checks/installed_game.h"
#include "package/extract.h"
#include "record/uninstall_record.h"
#include "run/edition_profile.h"
#include "run/message_box.h"
#include "run/prompts.h"
#include "run/texts.h"

// The updater runs elevated from wherever it was downloaded: DLLs come
// from the system directory only, never from beside the executable.
// Looked up at run time, as systems without the loader update lack it.
static void restrict_dll_search() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default_dll_directories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                             "SetDefaultDllDirectories")));
  if (set_default_dll_directories) set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// True when the named mutex was created here and did not exist before.
static bool create_new_mutex(const char* name, HANDLE* handle) {
  *handle = CreateMutexA(nullptr, FALSE, name);
  DWORD error = GetLastError();
  return *handle != nullptr && error != ERROR_ALREADY_EXISTS;
}

static bool load_record_of_registered_folder() {
  std::snprintf(run.record_path, sizeof run.record_path, "%s\\%s", run.install_folder,
                edition.record_file_name);
  if (load_uninstall_record(run.record_path) == 0) return true;
  show_message(kRecordMissingText, MB_OK);
  return false;
}

static bool confirm_update() {
  Confirmation prompt = choose_confirmation(edition, run.installed_version);
  return show_message_with(prompt.message.format, prompt.message.argument,
                           prompt.message.style) == prompt.confirm_button;
}

static void report(int outcome) {
  if (outcome == 0 && !run.folder_from_user) save_uninstall_record(run.install_folder);
  Message messages[2];
  int count = choose_report(edition, outcome, run.installed_version, messages);
  for (int i = 0; i < count; ++i)
    show_message_with(messages[i].format, messages[i].argument, messages[i].style);
}

static void run_update() {
  if (!create_new_mutex(edition.updater_mutex_name, &run.updater_mutex)) return;
  if (!create_new_mutex(edition.game_mutex_name, &run.game_mutex)) {
    if (run.game_mutex) CloseHandle(run.game_mutex);
    show_message_with(kGameRunningText, edition.product_name, MB_ICONINFORMATION);
    return;
  }
  read_install_folder();
  if (run.install_folder[0] == '\0' && !select_install_folder()) return;
  if (!check_installed_game()) return;
  if (!check_free_space()) return;
  if (!run.folder_from_user && !load_record_of_registered_folder()) return;
  if (!confirm_update()) return;
  report(extract_package());
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  restrict_dll_search();
  run.instance = instance;
  run_update();
  return 0;
}
