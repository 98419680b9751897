// Everything that tells the two editions apart, and every constant that
// names the game. Each executable is built with exactly one of them as
// `edition`; no other code spells these values.
#pragma once

#include <cstdint>

enum class VersionPolicy {
  refuse_newer,  // patch: a newer game is refused before anything is asked
  warn_newer,    // append: a newer game is warned about, then reminded
};

// A resource is named either by a string or by an integer identifier.
struct ResourceName {
  const char* text;  // null when named by `id`
  uint16_t id;
};

struct EditionProfile {
  const char* title;         // CP932
  const char* product_name;  // CP932
  const char* game_exe_name;
  const char* game_mutex_name;
  const char* updater_mutex_name;
  const char* registry_key;
  const char* registry_value;
  const char* package_resource_type;
  ResourceName package_resource_name;
  uint16_t progress_dialog_id;
  uint32_t target_version;  // VersionCode
  VersionPolicy version_policy;
  uint32_t free_space_threshold_mib;
  const char* record_file_name;
};

extern const EditionProfile patch_edition;
extern const EditionProfile append_edition;

// The profile this executable was built with (run/this_edition.cpp).
extern const EditionProfile& edition;
