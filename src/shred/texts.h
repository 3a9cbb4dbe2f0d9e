// The texts the shredder shows: its question, its status lines and its
// messages, and the popup item's two captions.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/language.h"

namespace vesk::shred::text {

inline constexpr Tr kIdleCaption = Tr("粉碎文件(彻底删除文件，慎用)");
inline constexpr Tr kBusyCaption = Tr("停止粉碎文件");
inline constexpr Tr kQuestionCaption = Tr("粉碎文件");
inline constexpr Tr kDialogTitle = Tr("选择要粉碎的文件进行粉碎");
inline constexpr Tr kRunning = Tr("进行粉碎文件 ...");
inline constexpr Tr kStopped = Tr("粉碎文件已停止。");
inline constexpr Tr kDialogCancelled = Tr("粉碎文件已取消。");
inline constexpr Tr kFailed = Tr("粉碎文件出错，已停止。");
inline constexpr Tr kCannotOpen = Tr("粉碎文件出错，已停止。 要粉碎的文件正在使用中或者有只读属性等。");
inline constexpr Tr kCopyOnWriteLine =
    Tr("注意：此文件位于写时复制文件系统(btrfs、ZFS、bcachefs)上，零会写到新的位置，"
    "文件原有内容的旧副本(包括快照中的)可能仍留在磁盘上。");

inline std::string Question(const std::string& path) { return Fill(Tr("真的要粉碎文件“{1}”吗？"), path); }
inline std::string Cancelled(const std::string& path) { return Fill(Tr("粉碎文件已取消。 - {1}"), path); }
inline std::string Done(const std::string& path) { return Fill(Tr("粉碎文件已完成 — {1}"), path); }
// Shredded all the same: the stop came once every byte was zeroed.
inline std::string DoneAfterStop(const std::string& path) {
  return Fill(Tr("停止时文件已全部被零覆盖，已将其删除。粉碎文件已完成 — {1}"), path);
}
inline std::string ProgressHint(const std::string& path) { return Fill(Tr("粉碎的文件：{1}"), path); }
// The file was overwritten and deleted, but the marker that clears its name
// could not be written (`disk_full`: for want of space).
inline std::string NameNotCleared(const std::string& path, bool disk_full) {
  return disk_full ? Fill(Tr("粉碎文件没有全部完成：“{1}”的内容已经用零覆盖，文件已经删除，但磁盘已满，不能清除原来的文件名。"), path)
                   : Fill(Tr("粉碎文件没有全部完成：“{1}”的内容已经用零覆盖，文件已经删除，但不能清除原来的文件名。"), path);
}
inline std::string OtherNamesLine(nlink_t links) {
  return Fill(Tr("注意：此文件另有 {1}"
                   " 个硬链接名称，粉碎只删除这一个名称，其他名称仍会留下(内容已被零覆盖)。"), std::to_string(links - 1));
}

}  // namespace vesk::shred::text
