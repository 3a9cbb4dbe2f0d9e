// Files that appear complete or not at all.
//
// Every output is written as a file without a name in its target's folder
// and linked into place only once it is complete, so a failure, a cancel or
// a kill leaves whatever was at the target before exactly as it was, and a
// crash leaves nothing: the kernel frees a file that has no name when its
// last descriptor closes. Where the file system has no such files, the
// output is written under a hidden name that carries the process id, and the
// next output staged in that folder removes the names whose process is gone. An
// output that replaces a file is on the disk before the rename, so a power
// cut cannot lose the old file either; a new file, whose source is still
// there, goes to the disk with the system's ordinary writeback, as a copy
// does (the shredder flushes the file system before it destroys anything).
// Staging and temporary files are created with mode 0600; the output gets
// its bits at the commit, and a file it replaces never becomes readable or
// writable by more people than before (the group's and others' bits are those
// that both the old file and the output have).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/fault_hooks.h"
#include "platform/file_io.h"
#include "platform/page_cache_write.h"

namespace vesk {

// The target is already there and the commit was told not to replace it.
class TargetExistsError : public IoError {
 public:
  using IoError::IoError;
};

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask();
// Permission bits of a new ordinary file (0666) or program (0777) under the umask.
mode_t DefaultFileMode();
mode_t DefaultProgramMode();
// The permission bits of an existing file, or DefaultFileMode() when it cannot be read.
mode_t PermissionsOf(const std::string& path);
// The same for the open file `fd`.
mode_t PermissionsOfOpen(int fd);
// The bits of a program made from a file with the bits `mode`: execute is
// added wherever read is set (0600 gives 0700, 0644 gives 0755), so the
// program is exactly as private as the file it was made from.
mode_t ProgramModeFor(mode_t mode);

// Creates a new, empty file named `folder` + `prefix` + six random
// characters + `suffix` with mode 0600, never reusing or following anything
// that is already there. Returns its path. Throws IoError.
std::string CreateUniqueFile(const std::string& folder, std::string_view prefix, std::string_view suffix);

// The folder part of `path` with its final "/", or "./" for a bare name.
std::string FolderOf(const std::string& path);

// False when a commit could not put a file at `target`: a folder stands
// there, or the folder it would go into cannot be written. Links are not
// followed (a commit replaces the link itself). True when nothing is there.
bool Replaceable(const std::string& target);

// Removes the files and links in `folder` named "<prefix><pid>-XXXXXX<suffix>" that
// belong to this user and whose process no longer runs: staging files of a
// run that crashed where no unnamed files can be made.
void RemoveStaleStaging(const std::string& folder, std::string_view prefix, std::string_view suffix);
// "<prefix><pid>-": the start of the names this process stages under.
std::string StagingNamePrefix(std::string_view prefix);
// Whether `name` is such a staging name of a process that no longer runs.
bool StagingNameOfGoneProcess(std::string_view name, std::string_view prefix, std::string_view suffix);
// Tests: stage under names, as on a file system without unnamed files.
void SetNamedStagingForTests(bool named);
// Closes the unnamed temporary file that StagedOutput::Keep handed over as
// `path`, which frees it, and removes that link; false when `path` is no
// such file (DeleteFile calls this first).
bool ReleaseUnnamed(const std::string& path);

// Makes the completed file `staging` the file `target`: pushes its data to the
// disk when it replaces a file, gives it the permission bits `mode`, then
// renames it over `target`
// (replace) or to `target` only when nothing is there yet (no replace: throws
// TargetExistsError, `staging` stays). Both must be in the same folder.
void CommitStagedFile(const std::string& staging, const std::string& target, mode_t mode, bool replace);

// An output file written under a staging name beside its target, or a
// temporary file with a unique name that the caller keeps and later deletes.
class StagedOutput {
 public:
  StagedOutput() = default;
  ~StagedOutput();  // abandons an output that was not committed
  StagedOutput(StagedOutput&& other) noexcept;
  StagedOutput& operator=(StagedOutput&& other) noexcept;
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Creates the staging file in the folder of `target`. `mode` is the
  // permission bits the target gets on commit. Throws IoError.
  void Open(const std::string& target, mode_t mode = DefaultFileMode());
  // Creates a new temporary file in `folder` (mode 0600), without a name
  // where the file system allows, else with CreateUniqueFile's naming and the
  // process id; it is finished with Keep, not Commit.
  void OpenTemporary(const std::string& folder, std::string_view prefix, std::string_view suffix);
  // Tests: called before each write and, with size 0, before the final
  // flush of a commit or a keep (fault_hooks.h).
  void SetWriteHook(WriteHook hook) { hook_ = std::move(hook); }
  bool IsOpen() const { return fd_ >= 0; }
  // The open file, for a writer of its own (OutputFile::WriteInto); the
  // bytes it writes are not counted in BytesWritten.
  int Descriptor() const { return fd_; }
  void Write(const void* buf, std::size_t n);  // all or throw
  template <typename Bytes>
  void Write(const Bytes& bytes) {
    Write(bytes.data(), bytes.size());
  }
  void Seek(int64_t pos);
  // Overwrites `n` bytes already written at `offset` (a field whose value is
  // known only at the end); the position and BytesWritten stay. All or throw.
  void WriteAt(int64_t offset, const void* buf, std::size_t n);
  // Appends the next `n` bytes of `in` from its position on (and moves that
  // position past them), copied inside the kernel where the file systems
  // allow it. All or throw; a source that ends early throws.
  void CopyFrom(InputFile& in, std::size_t n);
  int64_t BytesWritten() const { return written_; }
  // Sets aside room on the disk for the first `bytes` of the output, which
  // the writes then fill (ReserveRoom, page_cache_write.h: a hint that
  // makes them cheaper). The file's size stays what has been written, and
  // room the output did not use is given back when it is committed or kept.
  void Reserve(int64_t bytes) noexcept;

  // Flushes to the disk when a file is there to be replaced, closes (every
  // step checked) and renames the file
  // over the target (`replace`) or to the target only when it is free. On
  // failure the staging file is deleted and IoError thrown; the target is
  // untouched.
  void Commit(bool replace = true);
  // Hands a temporary file over: the caller now owns the file at the
  // returned path and deletes it with DeleteFile. A file without a name stays
  // open until then, and the path is a symbolic link with CreateUniqueFile's
  // naming (and the process id) to this process's descriptor of it. On
  // failure it is deleted and IoError thrown.
  std::string Keep();
  // Closes and deletes the staging file; the target is untouched. No-throw.
  void Abandon() noexcept;

  const std::string& Target() const { return target_; }
  // The staging file's name; empty while it has none.
  const std::string& StagingPath() const { return staging_; }

 private:
  int fd_ = -1;
  bool unnamed_ = false;
  std::string folder_;  // where it was made, and the parts of its names
  std::string prefix_;
  std::string suffix_;
  std::string target_;
  std::string staging_;
  mode_t mode_ = 0644;
  int64_t written_ = 0;
  int64_t writeback_from_ = 0;  // bytes before this were handed to the disk
  int64_t reserved_ = 0;        // room set aside by Reserve, not yet given back
  bool writeback_ = false;      // the target was there when the output was opened
  PageCacheWriter writer_;
  WriteHook hook_;

  void OpenIn(const std::string& folder, std::string_view prefix, std::string_view suffix);
  void LinkIntoPlace(bool replace);
  static constexpr int64_t kWritebackRun = int64_t{8} << 20;
  void StartWriteback() noexcept;
  // Appends `n` bytes read from `in`, the output being at offset `to`.
  void CopyThroughBuffer(InputFile& in, std::size_t n, int64_t to);
  void CopyInKernel(InputFile& in, loff_t from, std::size_t n);
};

}  // namespace vesk
