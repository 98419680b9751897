#include "checks/folder_selection.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "run/edition_profile.h"
#include "run/message_box.h"
#include "run/texts.h"
#include "run/update_run.h"

static constexpr size_t kDeepestFolder = 200;

// Greys out the first item of the browser's system menu.
static int CALLBACK browse_init_callback(HWND window, UINT message, LPARAM, LPARAM) {
  if (message == BFFM_INITIALIZED) {
    HMENU menu = GetSystemMenu(window, FALSE);
    EnableMenuItem(menu, GetMenuItemID(menu, 0), MF_BYCOMMAND | MF_GRAYED);
  }
  return 0;
}

int browse_for_folder(HWND owner, char* folder, const char* title) {
  char display_name[kPathBufferSize];
  std::snprintf(display_name, sizeof display_name, "%s", folder);
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = display_name;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = browse_init_callback;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info);
  if (!list) return 0;
  SHGetPathFromIDListA(list, display_name);
  CoTaskMemFree(list);
  // A path too long for the folder buffer is cut; it is too deep anyway.
  std::snprintf(folder, kFolderBufferSize, "%s", display_name);
  return 1;
}

bool select_install_folder() {
  if (show_message_with(kNotInstalledText, edition.product_name,
                        MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
    return false;
  char title[kPathBufferSize];
  std::snprintf(title, sizeof title, kBrowseTitleText, edition.game_exe_name);
  for (;;) {
    if (!browse_for_folder(nullptr, run.install_folder, title)) return false;
    if (std::strlen(run.install_folder) <= kDeepestFolder) break;
    show_message(kFolderTooDeepText, MB_OK);
  }
  run.folder_from_user = true;
  return true;
}
