#include "run/edition_profile.h"
#include "run/update_run.h"

int read_install_folder() {
  run.install_folder[0] = '\0';
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, edition.registry_key, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  DWORD size = sizeof run.install_folder;
  LONG status = RegQueryValueExA(key, edition.registry_value, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(run.install_folder), &size);
  // A value stored without its NUL comes back unterminated; one that fills
  // the whole buffer that way is too long.
  if (status != ERROR_SUCCESS || size > sizeof run.install_folder ||
      (size == sizeof run.install_folder && run.install_folder[size - 1] != '\0'))
    run.install_folder[0] = '\0';
  else if (size < sizeof run.install_folder)
    run.install_folder[size] = '\0';
  RegCloseKey(key);
  return 1;
}
