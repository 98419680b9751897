#include "run/texts.h"

const char kGameRunningText[] = "『%s』が実行されてますので、\nアップデートができません。";
const char kNotInstalledText[] =
    "『%s』がインストールされていません。\nフォルダを指定してアップデートを行いますか？";
const char kBrowseTitleText[] = "『%s』のあるフォルダを指定してください";
const char kGameMissingText[] = "インストール先に『%s』が見つかりません。";
const char kGameNewerRefusedText[] =
    "このアップデートプログラムよりも『%s』が新しいバージョンです。\n書き換えできません。";
const char kUpdateAgainText[] = "『%s』はアップデート済みです。\nもう一度アップデートしますか？";
const char kNewerWarningText[] =
    "『%s』の方が新しいバージョンです。\nこのパッチを適用後、最新のパッチを適用してください。\n"
    "このパッチを適用してよろしいですか？";
const char kPlainPromptText[] = "『%s』\nにアップデートします。\n書き換えてよろしいですか？";
const char kFileInUseText[] =
    "『%s』が実行中です。\nゲームを終了してからアプリケーションを実行してください。";

const char kFolderTooDeepText[] = "インストール先が深すぎます。";
const char kDiskFullText[] =
    "ディスク領域が不足しています。\nディスクの空き領域を増やしてから、もう一度実行してください。";
const char kRecordMissingText[] = "インストール先に『uinst.dat』が見つかりません。";
const char kCompletedText[] = "プログラムの更新が終了しました。";
const char kApplyLatestPatchText[] = "最新のパッチを適用してください。";
const char kWriteFailedText[] =
    "書き込みに失敗しました。\nディスク領域が不足しています。\n"
    "ディスクの空き領域を増やしてから、もう一度実行してください。";
const char kPackageDamagedText[] =
    "更新データが壊れています。\nアップデートプログラムを入手し直してください。";
const char kResourceMissingText[] = "リソースが見つかりません";
const char kResourceMissingCaption[] = "PATCH";
const char kProgressText[] = "書き換え中です。しばらくお待ちください。";
