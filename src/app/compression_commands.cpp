// The runs of the compression component: where they write, and what their
// end makes of it.
//
// Compression deletes and recreates its DestFile and leaves a partial file behind
// when it fails or is stopped. So it never writes a file of the user's: a
// compression for encryption writes a unique ".zak" in the temporary folder,
// and every other run a unique staging file beside its output, which the end
// handler renames over the output once the run is complete. A failed or
// cancelled run deletes only what it made; the output's old file stays.
#include <utility>

#include "app/texts.h"
#include "app/window_logic.h"
#include "compress/run_failure.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "selfextract/elf_image.h"

namespace vesk {

void WindowLogic::ResetRunFlags() {
  BeginRun();
  after_run_ = nullptr;  // a follow-up belongs to the run that armed it
  // Only between runs: nothing of Compression is running when a command starts.
  compressing_for_encryption_ = false;
  DeleteZakAfterUnzip = false;
  zip_ = ZipRun{};
  decrypt_cancelled_ = false;
}

void WindowLogic::StopZipForCancel() {
  if (!Compression.Busy()) return;  // also from a worker's StopAll, when nothing compresses
  zip_.cancelled = true;
  Compression.Stop();  // the end handler runs meanwhile (or right after, from inside a handler)
}

void WindowLogic::StartCompression(const std::string& source, const ZipRun& run) {
  zip_ = run;
  zip_.decompress = false;
  compressing_for_encryption_ = run.target.empty();
  Compression.SourceFile = source;
  Compression.DestFile.clear();
  const std::string folder = compressing_for_encryption_ ? TempFolderPath() : FolderOf(run.target);
  try {
    Compression.DestFile = compressing_for_encryption_ ? CreateUniqueFile(folder, "vesk-", ".zak")
                                                  : CreateUniqueFile(folder, ".vesk-", ".part");
  } catch (const IoError&) {
    return EndOfZipRun(false, FolderFailure(folder));
  }
  if (compressing_for_encryption_) SourcePath = Compression.DestFile;
  Compression.Compress();
  // The component ignores a start it cannot make (the source vanished
  // meanwhile); without this the command would stay busy for ever.
  if (!Compression.Busy()) EndOfZipRun(false, text::CompressionSourceUnreadable(source));
}

bool WindowLogic::StartDecompression(const std::string& source, const std::string& dest, bool delete_zak_after) {
  bool started = false;
  ui_.Synchronize([&] {
    zip_ = ZipRun{};
    compressing_for_encryption_ = false;
    DeleteZakAfterUnzip = delete_zak_after;
    Flags().KeepRunning = false;
    if (!Flags().KeepDecrypting) {
      // Cancelled while the file was handed over: the cancel has reported.
      if (delete_zak_after) DeleteIfExists(source);
      DeleteZakAfterUnzip = false;
      started = true;
      return;
    }
    if (SameFile(dest, source) || SameFile(dest, SourcePath)) {
      DeleteZakAfterUnzip = false;
      return;
    }
    zip_.decompress = true;
    zip_.target = dest;
    // The check pass and the output pass each read the compressed file
    // once: two stages of equal work, after the deciphering when there was
    // one (DecompressionFollows).
    if (!Staged()) {
      const int64_t size = FileSizeOf(source);
      PlanStages({size, size});
    }
    zip_.check_stage = StageCount() - 2;
    zip_.write_stage = StageCount() - 1;
    // A decompressed file is as private as the file it came from; a
    // self-decrypting program's execute bits are no part of that.
    // The file decrypted is the self-decrypting program's own when that
    // command runs (SourcePath then names whatever an earlier command read).
    if (Tag(Control::SelfDecryptButton) != 0) {
      zip_.mode = PermissionsOf(OwnProgramFile()) & 0666;
    } else {
      zip_.mode = PermissionsOf(SourcePath);
    }
    // The engine or the command has asked before naming an existing file.
    zip_.replace = PathExists(dest);
    Compression.SourceFile = source;
    Compression.DestFile.clear();
    ShowStatus(text::kDecompressRunning);
    started = true;
    const std::string folder = FolderOf(dest);
    try {
      Compression.DestFile = CreateUniqueFile(folder, ".vesk-", ".part");
    } catch (const IoError&) {
      return EndOfZipRun(false, FolderFailure(folder));
    }
    Compression.Decompress();
    if (!Compression.Busy()) EndOfZipRun(false, text::CompressionSourceUnreadable(source));
  });
  return started;
}

void WindowLogic::DecompressionFollows(int64_t compressed) {
  // The deciphering reads the payload once; the decompression reads the
  // compressed copy twice, to check it and to write it out.
  PlanStages({compressed, compressed, compressed});
}

// ---- Compression events ---------------------------------------------------

void WindowLogic::CompressionBegan(int64_t nMax) {
  zip_.began = true;
  if (zip_.decompress) BeginStage(zip_.write_stage);
  SetProgressTotal(nMax);
  SetBarRange(BarMaxFor(nMax));
}

void WindowLogic::CompressionChecked(int64_t checked, int64_t size) {
  if (!zip_.decompress || !Staged()) return;
  if (CurrentStage() != zip_.check_stage) BeginStage(zip_.check_stage);
  SetBarRange(size);
  SetBarPosition(checked);
}

void WindowLogic::CompressionProgressed(int64_t nHasDone) { SetBarPosition(BarPositionFor(nHasDone)); }

void WindowLogic::CompressionEnded(bool nNormal, float /*nZipRate*/) { EndOfZipRun(nNormal, ""); }

std::string WindowLogic::ZipFailure(const ZipRun& run) const {
  return RunFailure(Compression.SourceFile, Compression.DestFile, run.decompress, run.began);
}

void WindowLogic::EndOfZipRun(bool normal, std::string failure) {
  // Every flag of the run is taken here, whatever the outcome, so that none
  // is left set for a later run.
  const bool for_encryption = std::exchange(compressing_for_encryption_, false);
  const bool delete_zak = std::exchange(DeleteZakAfterUnzip, false);
  const ZipRun run = std::exchange(zip_, ZipRun{});
  const std::string written = Compression.DestFile;

  if (normal && failure.empty() && for_encryption && Flags().KeepRunning) {
    BeginStage(1);
    // The encryption engine deletes the copy when it ends.
    StartCommandWorker([this, stop = RunStopToken()] { EncryptEngine(stop); });
    return;
  }
  // A compression for an encryption whose flag was cleared meanwhile is a
  // cancelled one: its copy is the plain text, merely compressed.
  const bool cancelled = run.cancelled || (normal && for_encryption);
  if (!normal && failure.empty() && !cancelled) failure = ZipFailure(run);
  bool complete = normal && failure.empty() && !cancelled;
  if (complete && !run.target.empty()) {
    try {
      CommitStagedFile(written, run.target, run.mode, run.replace);
    } catch (const TargetExistsError&) {
      failure = text::CompressionTargetAppeared(run.target);
      complete = false;
    } catch (const std::exception&) {
      const std::string folder = FolderOf(run.target);
      failure = FolderFailure(folder);
      complete = false;
    }
  }
  if (!complete && !written.empty()) DeleteIfExists(written);
  // The deciphered copy a decryption decompressed is this run's own
  // temporary file: gone before anything is shown.
  const bool zak_deleted = delete_zak && ExtractFileExt(Compression.SourceFile) == ".zak";
  if (zak_deleted) DeleteIfExists(Compression.SourceFile);
  // Nothing of the command runs any more, and the window says so before
  // any message box opens.
  Flags().KeepRunning = false;
  Flags().KeepDecrypting = false;
  const std::string stage = StatusText();
  SetControlCaption(Control::DecryptButton, IdleCaption(Control::DecryptButton));
  SetControlCaption(Control::SelfDecryptButton, IdleCaption(Control::SelfDecryptButton));
  SetControlTag(Control::DecryptButton, 0);
  SetControlTag(Control::SelfDecryptButton, 0);
  SetCommandState(Operation::Encrypt, true);

  if (complete) {
    if (!run.target.empty()) Complete({run.target});
    ShowStatus(zak_deleted ? std::string(keyed::text::kDecryptDone) : stage + text::kStageDone);
  } else if (cancelled) {
    EndRun(Outcome::kCancelled, stage);
  } else {
    const std::string message = stage + text::kCannotComplete + failure;
    EndRun(Outcome::kFailed, message);
    ReportMessage(message);
  }
  PostRunCheck();
}

}  // namespace vesk
