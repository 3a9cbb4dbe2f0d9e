// Writes into regular files that fall back to small pieces when large
// writes turn slow.
//
// The kernel gives a write page-cache memory in blocks as large as the
// write (up to 2 MiB). Blocks of up to 32 KiB come from the processor's own
// lists of recently freed memory; larger ones from the general free memory,
// which after other programs' large writes is fragmented or handed back to
// the virtual machine's host, and then each costs a compaction or a fresh
// fault, which shows as processor time spent in the write. Measured on the
// build machine (2 cores, 1 GiB written in pieces of 1 MiB against 32 KiB,
// interleaved runs): right after 4 GiB of other writes made in pieces of
// 1 MiB, 3.9 to 7.2 s against 0.28 to 0.68 s (2.5 to 2.9 s of it processor
// time against 0.3 s); but after 4 GiB made in pieces of 32 KiB, while the
// disk writes them back, an age encryption takes 0.84 to 1.48 s in pieces
// of 1 MiB against 1.07 to 1.86 s in 32 KiB (small blocks cost the
// writeback more). So a file is written as it comes until its large writes
// use more processor time than kSlowWriteRate allows, and in pieces of
// 32 KiB from then on; a write that only waits for the disk does not count.
// A few slow writes make the switch, not one: an interrupt or a page fault
// now and then makes a single write slow on any machine (1 GiB in writes of
// 1 MiB: at most one above 1 ms after other small writes, three quarters
// after other large ones).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

inline constexpr std::size_t kPageCacheWritePiece = std::size_t{32} << 10;
// Bytes per second of this thread's processor time below which a write of
// at least kTimedWrite bytes counts as slow: a write into the page cache
// copies at about 4 GB/s, one whose memory is costly at about 0.4 GB/s.
inline constexpr double kSlowWriteRate = 1024.0 * (1 << 20);
inline constexpr std::size_t kTimedWrite = std::size_t{256} << 10;

// Whether `slow` of `timed` large writes are enough to write in pieces:
// at least 8, and more than a quarter of them.
constexpr bool SlowEnough(uint64_t slow, uint64_t timed) { return slow >= 8 && 4 * slow > timed; }

// Writes all `n` bytes of `buf` at the position of `fd` in pieces of at
// most kPageCacheWritePiece, retrying interrupted calls. `at` is that
// position (a hint: the pieces after the first end at its multiples of the
// piece size, so that each fills whole aligned blocks). Adds each piece
// written to `*written` when given. Returns 0, or the errno of the failed
// call (what went before it stays written).
int WriteInPieces(int fd, const void* buf, std::size_t n, int64_t at, int64_t* written = nullptr);

// Writes all `n` bytes of `buf` at `offset` of `fd` (pwrite), leaving its
// position where it was, retrying interrupted calls. Returns 0, or the errno
// of the failed call (EIO for a call that wrote nothing).
int WriteWholeAt(int fd, const void* buf, std::size_t n, int64_t offset);

// Writes all `n` bytes of `buf` as the file takes them (a pipe or a device),
// retrying interrupted calls; adds what was written to `*written` when given.
// Returns 0, or the errno of the failed call.
int WriteWhole(int fd, const void* buf, std::size_t n, int64_t* written = nullptr);

// The writes of one output: whole until enough are slow (SlowEnough), then
// in pieces.
class PageCacheWriter {
 public:
  // As WriteInPieces, a write of kTimedWrite or more whole until the
  // switch.
  int Write(int fd, const void* buf, std::size_t n, int64_t at, int64_t* written = nullptr);

 private:
  bool pieces_ = false;
  uint64_t timed_ = 0;  // large writes timed
  uint64_t slow_ = 0;   // of them slow
};

// Whether `fd` is a regular file, whose writes go through the page cache
// (pipes, sockets and devices take large writes as they come).
bool IsRegularFile(int fd);

// Sets aside room on the disk for the bytes of the regular file `fd` up to
// offset `end`, which later writes fill, without changing the file's size:
// the kernel spends a third less time on a write into room set aside at
// once than on finding room page by page (1 GiB in writes of 2 MiB on ext4:
// 0.14 s against 0.21 s). A hint: false, with nothing set aside, on file
// systems other than ext2, ext3 and ext4 (tmpfs would clear every page first;
// where files share blocks a copy takes the source's own), or where the disk
// has not that much room.
bool ReserveRoom(int fd, int64_t end) noexcept;
// Gives back the room set aside past the end of `fd` by ReserveRoom(fd,
// end): cuts the file at its own size if that is below `end`, which leaves
// its content as it is (and frees any other room past its end too). Nothing
// for an `end` of 0. A failure only leaves the room taken.
void GiveBackRoom(int fd, int64_t end) noexcept;

// Room set aside in the regular file `fd` for `bytes` from its position on,
// and given back once the writer is done with it: for output files that
// belong to the caller.
class ReservedRoom {
 public:
  ReservedRoom(int fd, uint64_t bytes) noexcept;
  ~ReservedRoom();
  ReservedRoom(const ReservedRoom&) = delete;
  ReservedRoom& operator=(const ReservedRoom&) = delete;

 private:
  int fd_;
  int64_t end_ = 0;  // 0: nothing set aside
};

}  // namespace vesk
