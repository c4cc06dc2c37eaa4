// The texts of the setting files' own refusals: why a save or a load was not even attempted.
// They stand in FileResult::Describe between the path and the system's error.
#pragma once

#include "texts/texts.h"

namespace krt6 {

inline constexpr TextPair kNotRegularFileText{"not a regular file", "通常のファイルではありません"};
// %1: the link, as the chain of links reached it.
inline constexpr TextPair kSharedFolderLinkText{
    "%1 is a symbolic link in a folder that everyone may write to (sticky), and it belongs "
    "neither to this user nor to the folder's owner, so it is not followed",
    "%1 は誰でも書き込めるフォルダー (スティッキー) にあるシンボリックリンクで、このユーザーの"
    "ものでもフォルダーの所有者のものでもないため、たどりません"};

}  // namespace krt6
