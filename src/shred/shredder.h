// The file shredder: after a confirmation it overwrites one regular file once
// with zero bytes, every stretch that holds data from its first byte to its
// last (the holes of a sparse file have no blocks and stay holes), without
// changing its length, pushes the zeros to the device, deletes the file,
// then creates, fills with one zero byte and deletes a file of the same
// name.
//
// It runs from start to end on a worker thread, talks to the user only
// through the Reporter and polls KeepShredding before every block. Anything
// but a regular file (a symbolic link, a directory, a device, a FIFO, a
// socket), a file whose owner has taken its write permission away and a file
// another process holds locked (flock, or a record lock on any part of it)
// are refused and left untouched.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/reporting.h"
#include "platform/fault_hooks.h"

namespace vesk::shred {

// The zero block written again and again; the last write takes its first
// bytes only.
inline constexpr std::size_t kZeroBlockSize = 65535;

// What the shred command hands to the engine when it starts it.
struct ShredJob {
  std::string path;  // the file to shred
  // Window-side steps: the progress bar's hint; the popup item's busy state
  // (tag 1, enabled, caption "停止粉碎文件") once overwriting begins; and
  // ResetShredItem. Each may be empty.
  std::function<void(const std::string&)> set_progress_hint;
  std::function<void()> mark_busy;
  std::function<void()> reset_item;
  // True once the user has stopped this run, even when a later run has set
  // KeepShredding again meanwhile; the engine then never goes on.
  std::function<bool()> stopped;
  // Tests: called before each write of zeros, and with size 0 before they
  // are pushed to the device (fault_hooks.h).
  FaultHooks faults{};
};

// The whole command from the confirmation on. True when the file was
// overwritten and deleted.
bool ShredFile(const ShredJob& job, Reporter& reporter);

// Where one pass of zeros cannot reach the old data.
struct Reach {
  bool copy_on_write = false;  // the file system writes the zeros elsewhere
  nlink_t links = 1;           // names of the file, this one included
};
// Looks at the file at `path` (not through a symbolic link); a path that is
// no regular file gets the defaults.
Reach ReachOf(const std::string& path);
// True for the copy-on-write file systems btrfs, ZFS and bcachefs, by the
// file system type that statfs reports.
bool IsCopyOnWriteFileSystem(uint64_t fs_type);
// The confirmation question, with one more line for each way the old data
// or the file's other names may survive.
std::string Confirmation(const std::string& path, const Reach& reach);

// The texts of the command.
namespace text {
inline constexpr const char* kIdleCaption = "粉碎文件(彻底删除文件，慎用)";
inline constexpr const char* kBusyCaption = "停止粉碎文件";
inline constexpr const char* kQuestionCaption = "粉碎文件";
inline constexpr const char* kDialogTitle = "选择要粉碎的文件进行粉碎";
inline constexpr const char* kRunning = "进行粉碎文件 ...";
inline constexpr const char* kStopped = "粉碎文件已停止。";
inline constexpr const char* kDialogCancelled = "粉碎文件已取消。";
inline constexpr const char* kFailed = "粉碎文件出错，已停止。";
inline constexpr const char* kCannotOpen = "粉碎文件出错，已停止。 要粉碎的文件正在使用中或者有只读属性等。";
inline constexpr const char* kCopyOnWriteLine =
    "注意：此文件位于写时复制文件系统(btrfs、ZFS、bcachefs)上，零会写到新的位置，"
    "文件原有内容的旧副本(包括快照中的)可能仍留在磁盘上。";

std::string Question(const std::string& path);
std::string Cancelled(const std::string& path);
std::string Done(const std::string& path);
// Shredded all the same: the stop came once every byte was zeroed.
std::string DoneAfterStop(const std::string& path);
std::string ProgressHint(const std::string& path);
// The file was overwritten and deleted, but the marker that clears its name
// could not be written (`disk_full`: for want of space).
std::string NameNotCleared(const std::string& path, bool disk_full);
std::string OtherNamesLine(nlink_t links);
}  // namespace text

}  // namespace vesk::shred
