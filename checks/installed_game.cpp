#include "checks/installed_game.h"

#include <cstdio>
#include <cstring>

#include "checks/version_dll.h"
#include "package/sjis_path.h"
#include "run/edition_profile.h"
#include "run/message_box.h"
#include "run/prompts.h"
#include "run/shared_buffer.h"
#include "run/texts.h"
#include "run/update_run.h"

int probe_game_version(char* folder) {
  folder[length_without_trailing_separator(folder)] = '\0';
  char path[kPathBufferSize];
  std::snprintf(path, sizeof path, "%s\\%s", folder, edition.game_exe_name);
  // Anything of that name counts, a directory too.
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return 0;
  if (uint32_t code = read_version_code(path, shared_buffer, kSharedBufferSize))
    run.installed_version = code;
  return 1;
}

bool check_installed_game() {
  if (!probe_game_version(run.install_folder)) {
    show_message_with(kGameMissingText, edition.game_exe_name, MB_OK);
    return false;
  }
  if (refuses_installed_version(edition, run.installed_version)) {
    show_message_with(kGameNewerRefusedText, edition.game_exe_name, MB_OK);
    return false;
  }
  return true;
}
