#include "checks/free_space.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "run/edition_profile.h"
#include "run/message_box.h"
#include "run/texts.h"
#include "run/update_run.h"

// The last drive asked, byte for byte: 'c' and 'C' are different drives
// here. '@' is just below 'A', which no drive letter equals.
static unsigned char cached_drive = '@';
static uint32_t cached_free_mib = 0;

uint32_t free_megabytes_on_drive(const char* path) {
  char root[kPathBufferSize];
  std::snprintf(root, sizeof root, "%s", path);
  if (root[0] == '\0' || root[1] != ':' || root[2] != '\\') return cached_free_mib;
  root[3] = '\0';
  if (static_cast<unsigned char>(root[0]) == cached_drive) return cached_free_mib;
  cached_drive = static_cast<unsigned char>(root[0]);
  ULARGE_INTEGER available, total, total_free;
  if (GetDiskFreeSpaceExA(root, &available, &total, &total_free))
    cached_free_mib = static_cast<uint32_t>(
        std::min<ULONGLONG>(available.QuadPart >> 20, 0xFFFFFFFF));
  else
    cached_free_mib = 0;
  return cached_free_mib;
}

static bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool check_free_space() {
  if (!is_ascii_letter(run.install_folder[0]) || run.install_folder[1] != ':') return true;
  uint32_t free_mib = free_megabytes_on_drive(run.install_folder);
  if (free_mib >= 1 && free_mib < edition.free_space_threshold_mib) {
    show_message(kDiskFullText, MB_OK);
    return false;
  }
  return true;
}
