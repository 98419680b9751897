// Every text the user sees, in CP932. texts.cpp and edition_profiles.cpp
// are compiled with -fexec-charset=CP932, so their UTF-8 literals become
// the CP932 bytes that the byte-string Windows calls expect.
#pragma once

// Formats with one %s.
extern const char kGameRunningText[];        // product_name
extern const char kNotInstalledText[];       // product_name
extern const char kBrowseTitleText[];        // game_exe_name
extern const char kGameMissingText[];        // game_exe_name
extern const char kGameNewerRefusedText[];   // game_exe_name
extern const char kUpdateAgainText[];        // game_exe_name
extern const char kNewerWarningText[];       // game_exe_name
extern const char kPlainPromptText[];        // title
extern const char kFileInUseText[];          // product_name

// Plain texts.
extern const char kFolderTooDeepText[];
extern const char kDiskFullText[];
extern const char kRecordMissingText[];
extern const char kCompletedText[];
extern const char kApplyLatestPatchText[];
extern const char kWriteFailedText[];
extern const char kPackageDamagedText[];
extern const char kResourceMissingText[];
extern const char kResourceMissingCaption[];
extern const char kProgressText[];
