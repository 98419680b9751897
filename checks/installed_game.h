// The game executable in the install folder, and its version.
#pragma once

// True when the run goes on. Drops a trailing separator from
// run.install_folder and sets run.installed_version.
bool check_installed_game();

// Returns 1 when the game executable exists in `folder` (changed in
// place), 0 when not; sets run.installed_version when it has a version.
int probe_game_version(char* folder);
