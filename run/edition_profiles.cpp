#include "run/edition_profile.h"

const EditionProfile patch_edition = {
    .title = "ティヴァルネ 1.04",
    .product_name = "ティヴァルネ",
    .game_exe_name = "Tivarne.exe",
    .game_mutex_name = "Tivarne",
    .updater_mutex_name = "UPDATE_EX",
    .registry_key = "Software\\Brevandt\\Tivarne",
    .registry_value = "DataDir",
    .package_resource_type = "BIN",
    .package_resource_name = {"PATCH", 0},
    .progress_dialog_id = 1178,
    .target_version = 0x010400,
    .version_policy = VersionPolicy::refuse_newer,
    .free_space_threshold_mib = 15,
    .record_file_name = "uinst.dat",
};

const EditionProfile append_edition = {
    .title = "ティヴァルネ アペンド 1.04",
    .product_name = "ティヴァルネ",
    .game_exe_name = "Tivarne.exe",
    .game_mutex_name = "Tivarne",
    .updater_mutex_name = "UPDATE_EX",
    .registry_key = "Software\\Brevandt\\Tivarne",
    .registry_value = "DataDir",
    .package_resource_type = "BIN",
    .package_resource_name = {nullptr, 132},
    .progress_dialog_id = 102,
    .target_version = 0x010400,
    .version_policy = VersionPolicy::warn_newer,
    .free_space_threshold_mib = 180,
    .record_file_name = "uinst.dat",
};
