// The compression component: compresses one whole file into one zlib stream,
// or decompresses such a stream back, on a worker thread of its own, and
// reports start, progress and end through three events delivered on the
// user-interface thread.
//
// Event rules:
//  - OnBegin(nMax) once before the first chunk; OnProcess(nHasDone) after
//    every chunk of 65535 bytes; OnEnd(nNormal, nZipRate) exactly once per
//    started run. nMax and nHasDone count source bytes when compressing and
//    produced bytes when decompressing.
//  - OnCheck(nChecked, nSize) during a decompression's check pass, before
//    OnBegin: bytes of the compressed source checked so far, of its size
//    nSize; rising, about one event per hundredth of the source.
//  - The worker waits while a handler runs. The component is idle (Busy()
//    false, no worker) before OnEnd is called, so an OnEnd handler may start
//    the next run at once.
//  - A component being destroyed receives no events at all.
//
// Decompression rules: the whole source is inflated and checked once before
// OnBegin, to learn nMax. A source that is not one complete zlib stream (not
// zlib data, damaged, failing its Adler-32 check, or cut short anywhere up to
// the last byte of its trailer) ends the run with OnEnd(false, 0) and no
// OnBegin, leaving DestFile created and empty. Bytes behind the end of a
// complete stream are ignored; a finished run has nHasDone == nMax.
//
// Threading rules: use the component (its properties, Compress, Decompress,
// the destructor) on the user-interface thread of `ui`. Stop may also be
// called from another thread; there it only waits, and the user-interface
// thread must keep running its queued calls meanwhile. Never destroy the
// component from inside one of its own handlers.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fault_hooks.h"
#include "threads/ui_thread.h"

namespace vesk {

enum class TCompressionLevel { clNone, clFastest, clDefault, clMax };

// The zlib level a compression level selects: 0, 1, Z_DEFAULT_COMPRESSION, 9.
int ZlibLevelOf(TCompressionLevel level);

class CompressionThread;

class Compressor {
 public:
  explicit Compressor(UiThread& ui);
  ~Compressor();  // stops a running worker and waits for it; delivers no events
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // True from the start of a run until its end event is about to be delivered.
  bool Busy() const;

  std::string SourceFile;  // read when a run starts
  std::string DestFile;    // deleted if it exists, then created new (0600)
  std::function<void(int64_t nMax)> OnBegin;
  std::function<void(int64_t nHasDone)> OnProcess;
  std::function<void(int64_t nChecked, int64_t nSize)> OnCheck;
  std::function<void(bool nNormal, float nZipRate)> OnEnd;
  TCompressionLevel ZipLevel = TCompressionLevel::clDefault;
  // Tests: faults on SourceFile and DestFile, read when a run starts (the
  // read hook may be called from two threads at once while decompressing).
  FaultHooks Faults{};

  // Start a run and return at once. Ignored (no worker, no event) while a
  // worker is referenced or when SourceFile is not an existing file.
  void Compress();
  void Decompress();

  // Tells a running worker to end after its current chunk (a decompression
  // inflates and reports 16 chunks at a time: after those) and waits until
  // it has. On the user-interface thread the stopped run's OnEnd(false, 0) is
  // delivered while Stop waits. Called from inside one of this component's
  // own handlers, Stop cannot wait (the worker waits for that handler): it
  // only asks the worker to end, and OnEnd follows after the handler.
  void Stop();

 private:
  friend class CompressionThread;

  void Start(bool compress);
  // On the user-interface thread, from the worker's events.
  void DoBegin(int64_t nMax);
  void DoProcess(int64_t nHasDone);
  void DoCheck(int64_t nChecked, int64_t nSize);
  void DoEnd(const CompressionThread* worker, bool nNormal, float nZipRate);

  UiThread& ui_;
  mutable std::mutex mutex_;  // guards busy_ and worker_ (Stop may come from any thread)
  bool busy_ = false;
  std::shared_ptr<CompressionThread> worker_;
};

}  // namespace vesk
