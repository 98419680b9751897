// The game's uninstall record, uinst.dat in the install folder: loaded
// into the run's list before the update and saved, extended, after it.
#pragma once

// Adds the record's items to run.installed_items. Returns 0, or -1 when
// the file cannot be read: missing, not a file, too big for memory.
int load_uninstall_record(const char* path);

// Writes run.installed_items as the record of `folder`. The old record is
// replaced in one step or not at all. Returns 0, or -1 when it was kept.
int save_uninstall_record(const char* folder);
