#include "compress/compressor.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "compress/byte_buffer.h"
#include "compress/deflate_source.h"
#include "compress/parallel_deflate.h"
#include "compress/inflate_reader.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "threads/worker.h"
#include "threads/spin_wait.h"

namespace vesk {

namespace {

// Progress granularity: one event per chunk of this many bytes.
constexpr int64_t kChunkSize = 65535;
// A decompression inflates this many chunks at a time.
constexpr std::size_t kInflateBatch = 16;

// Counts the uncompressed bytes of a file on a thread of its own, for a
// decompression that inflates into its destination meanwhile.
class LengthPass {
 public:
  LengthPass(const std::string& path, ReadHook hook, const std::atomic<bool>& terminate)
      : thread_([this, path, hook, &terminate] { Run(path, hook, terminate); }) {}
  ~LengthPass() {
    Cancel();
    thread_.join();
  }
  LengthPass(const LengthPass&) = delete;
  LengthPass& operator=(const LengthPass&) = delete;

  bool Done() const { return done_; }
  void Cancel() { cancel_ = true; }
  // Bytes of the compressed source read so far.
  int64_t Checked() const { return checked_; }

  // Waits for the pass: the total, or -1 when stopped; rethrows its failure.
  int64_t Wait() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return done_.load(); });
    if (error_) std::rethrow_exception(error_);
    return total_;
  }

 private:
  void Run(const std::string& path, const ReadHook& hook, const std::atomic<bool>& terminate) {
    try {
      InputFile source(path);
      source.SetReadHook(hook);
      compress::InflateReader inflater(source);
      compress::ByteBuffer scratch(kInflateBatch * kChunkSize);
      int64_t total = 0;
      for (;;) {
        if (terminate || cancel_) {
          total = -1;
          break;
        }
        const std::size_t got = inflater.Read(scratch.data(), scratch.size());
        total += static_cast<int64_t>(got);
        checked_ = source.Position();
        if (got < scratch.size()) break;
      }
      total_ = total;
    } catch (...) {
      error_ = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    finished_.notify_all();
  }

  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<int64_t> checked_{0};
  int64_t total_ = -1;
  std::exception_ptr error_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace

int ZlibLevelOf(TCompressionLevel level) {
  switch (level) {
    case TCompressionLevel::clNone:
      return 0;
    case TCompressionLevel::clFastest:
      return 1;
    case TCompressionLevel::clDefault:
      return Z_DEFAULT_COMPRESSION;
    case TCompressionLevel::clMax:
      return 9;
  }
  return Z_DEFAULT_COMPRESSION;
}

// One run of the component. Shared between the component (while it refers
// to the run), the worker thread, Stop, and the calls it posts to the
// user-interface thread, so that none of them outlives what it touches.
//
// Events go to the user-interface thread through a one-slot rendezvous: the
// worker puts the event in the slot, posts a call that runs the slot, and
// waits until the slot has been run. A Stop waiting on the user-interface
// thread runs the slot itself, so the stopped run's events arrive while it
// waits without any polling.
class CompressionThread : public std::enable_shared_from_this<CompressionThread> {
 public:
  struct Job {
    bool compress;
    std::string source;
    std::string dest;
    int level;
    FaultHooks faults{};
  };

  CompressionThread(Compressor& owner, UiThread& ui, Job job) : owner_(owner), ui_(ui), job_(std::move(job)) {}

  static void Launch(const std::shared_ptr<CompressionThread>& self) {
    StartWorker([self] { self->Execute(); });
  }

  void RequestTerminate() { terminate_ = true; }

  // The owner is being destroyed: drop a waiting event and every later one.
  void Detach() {
    {
      std::lock_guard lock(mutex_);
      detached_ = true;
      event_ = nullptr;
    }
    cv_.notify_all();
  }

  // True while one of this run's handlers is running.
  bool InEvent() const {
    std::lock_guard lock(mutex_);
    return event_running_;
  }

  void WaitFinished() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return finished_; });
  }

  // On the user-interface thread: waits, running this run's events as they
  // come and the other queued calls of the thread along with them.
  void WaitFinishedPumping() {
    std::unique_lock lock(mutex_);
    while (!finished_) {
      if (event_) {
        lock.unlock();
        RunPendingEvent();
        lock.lock();
        continue;
      }
      lock.unlock();
      ui_.ProcessPending();
      lock.lock();
      cv_.wait(lock, [&] { return finished_ || event_; });
    }
  }

  // On the user-interface thread: runs the event in the slot, if any.
  void RunPendingEvent() {
    std::function<void()> event;
    {
      std::lock_guard lock(mutex_);
      if (!event_) return;
      event = std::exchange(event_, nullptr);
      event_running_ = true;
    }
    std::exception_ptr error;
    try {
      event();
    } catch (...) {
      error = std::current_exception();
    }
    event = nullptr;
    {
      std::lock_guard lock(mutex_);
      event_running_ = false;
      event_error_ = std::move(error);
    }
    cv_.notify_all();
  }

 private:
  void Execute() {
    succeeded_ = true;
    try {
      if (job_.compress) {
        CompressFile();
      } else {
        DecompressFile();
      }
    } catch (...) {
      succeeded_ = false;  // every failure ends the run quietly with OnEnd(false, 0)
    }
    if (terminate_) succeeded_ = false;
    const bool normal = succeeded_;
    const float rate = normal && job_.compress ? rate_ : 0.0f;
    try {
      Deliver([this, normal, rate] { owner_.DoEnd(this, normal, rate); });
    } catch (...) {
      // A failing end handler cannot end the run a second time.
    }
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    cv_.notify_all();
  }

  void CompressFile() {
    InputFile source(job_.source);
    source.SetReadHook(job_.faults.before_read);
    OutputFile dest;
    CreateDest(dest);
    remaining_ = source.Size();
    done_ = 0;
    compress::DeflateSteps steps;
    steps.begin = [this](int64_t total) { Deliver([this, total] { owner_.DoBegin(total); }); };
    steps.step = [this](int64_t done) {
      remaining_ -= done - done_;
      done_ = done;
      Deliver([this, done] { owner_.DoProcess(done); });
    };
    steps.stopped = [this] { return terminate_.load(); };
    rate_ = compress::DeflateSource(source, dest, job_.level, steps);
    dest.Close();
  }

  void DecompressFile() {
    InputFile source(job_.source);
    source.SetReadHook(job_.faults.before_read);
    OutputFile dest;
    CreateDest(dest);
    compress::InflateReader inflater(source);
    // zlib runs fastest with a large output area; the chunks are cut from it.
    compress::ByteBuffer buffer(kInflateBatch * kChunkSize);

    // The total for OnBegin needs a full pass, which also checks the whole
    // stream: data that is foreign, damaged, fails its Adler-32 check or ends
    // before its trailer fails the run here, before OnBegin, leaving DestFile
    // empty. With a second processor the output pass starts meanwhile.
    int64_t written = 0;  // bytes in DestFile
    int64_t total;
    source_size_ = source.Size();
    checked_ = 0;
    if (compress::CompressionThreads() > 1) {
      total = InflateWhileCounting(inflater, dest, buffer, written);
    } else {
      total = CountInflated(inflater, buffer, [&] { ReportChecked(source.Position()); });
      inflater.Rewind();
    }
    if (total < 0) return;  // stopped before OnBegin

    remaining_ = total;
    done_ = 0;
    Deliver([this, total] { owner_.DoBegin(total); });
    ReportWritten(written);
    while (!terminate_ && remaining_ > 0) {
      const auto batch = static_cast<std::size_t>(std::min<int64_t>(remaining_, buffer.size()));
      if (inflater.Read(buffer.data(), batch) != batch) {
        throw compress::ZlibError("the compressed file changed while read");
      }
      dest.Write(buffer.data(), batch);
      written += static_cast<int64_t>(batch);
      ReportWritten(written);
    }
    // The output pass must end where the length pass did, its check passed too.
    if (!terminate_ && inflater.Read(buffer.data(), 1) != 0) {
      throw compress::ZlibError("the compressed file changed while read");
    }
    dest.Close();
  }

  // One OnProcess per chunk written and not yet reported, in order, all in
  // one call on the user-interface thread (the worker waits for it as for
  // any event): a round trip per chunk would cost more than inflating it.
  // A stop from a handler ends the series.
  void ReportWritten(int64_t written) {
    if (written <= done_) return;
    Deliver([this, written] {
      while (!terminate_ && done_ < written) {
        const int64_t n = std::min(kChunkSize, written - done_);
        done_ += n;
        remaining_ -= n;
        owner_.DoProcess(done_);
      }
    });
  }

  // OnCheck for `checked` bytes of the source, once they are a hundredth
  // of it beyond the last report.
  void ReportChecked(int64_t checked) {
    if (checked <= checked_ || (checked - checked_ < source_size_ / 100 && checked < source_size_)) return;
    checked_ = checked;
    Deliver([this, checked, size = source_size_] { owner_.DoCheck(checked, size); });
  }

  // The uncompressed length of the stream `inflater` reads, or -1 when the
  // run is stopped first; `step` after each piece. Throws ZlibError for a
  // stream that is not valid.
  int64_t CountInflated(compress::InflateReader& inflater, compress::ByteBuffer& scratch,
                        const std::function<void()>& step) {
    int64_t total = 0;
    for (;;) {
      if (terminate_) return -1;
      const std::size_t got = inflater.Read(scratch.data(), scratch.size());
      total += static_cast<int64_t>(got);
      if (got < scratch.size()) return total;
      step();
    }
  }

  // The length pass on a thread of its own, over a second handle of the
  // source, while this thread inflates into DestFile unreported. Returns
  // the total as CountInflated does, with `written` bytes in DestFile, a
  // whole number of chunks unless the stream has ended. Whatever ends the
  // run before OnBegin (a refused stream, a stop, a failure) leaves DestFile
  // empty, as the passes one after the other do.
  int64_t InflateWhileCounting(compress::InflateReader& inflater, OutputFile& dest,
                               compress::ByteBuffer& buffer, int64_t& written) {
    LengthPass length(job_.source, job_.faults.before_read, terminate_);
    std::exception_ptr failure;
    try {
      while (!terminate_ && !length.Done()) {
        const std::size_t got = inflater.Read(buffer.data(), buffer.size());
        dest.Write(buffer.data(), got);
        written += static_cast<int64_t>(got);
        if (got < buffer.size()) break;
        ReportChecked(length.Checked());
      }
    } catch (const compress::ZlibError&) {
      failure = std::current_exception();  // the length pass meets the same fault
    } catch (...) {
      failure = std::current_exception();  // not the stream's: no need to read it to the end
      length.Cancel();
    }
    int64_t total = -1;
    try {
      total = length.Wait();  // its failure comes first: it is the stream's own
      if (failure) std::rethrow_exception(failure);
      if (total >= 0 && (written > total || (inflater.Complete() && written != total))) {
        throw compress::ZlibError("the compressed file changed while read");
      }
    } catch (...) {
      EmptyDest(dest, written);
      throw;
    }
    if (total < 0) EmptyDest(dest, written);
    return total;
  }

  // Back to an empty DestFile after an output pass that was not reported.
  void EmptyDest(OutputFile& dest, int64_t& written) const {
    if (written == 0) return;
    dest = OutputFile();
    CreateDest(dest);
    written = 0;
  }

  // Replaces whatever is at DestFile by a new, exclusively created file,
  // private until it is put in place with its final bits.
  void CreateDest(OutputFile& dest) const {
    if (PathExists(job_.dest)) DeleteFile(job_.dest);  // if this fails, CreateNew does too
    dest.CreateNew(job_.dest, 0600);
    dest.SetWriteHook(job_.faults.before_write);
  }

  // Runs `event` on the user-interface thread and waits until it has run (or
  // was dropped because the owner is being destroyed). An exception from the
  // handler is rethrown here and fails the run.
  void Deliver(std::function<void()> event) {
    {
      std::lock_guard lock(mutex_);
      if (detached_) return;
      event_ = std::move(event);
      event_error_ = nullptr;
    }
    cv_.notify_all();  // wakes a Stop that waits on the user-interface thread
    try {
      ui_.Post([self = shared_from_this()] { self->RunPendingEvent(); });
    } catch (...) {
      std::lock_guard lock(mutex_);
      event_ = nullptr;
      throw;
    }
    SpinBriefly([&] {
      std::unique_lock lock(mutex_, std::try_to_lock);
      return lock.owns_lock() && !event_ && !event_running_;
    });
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return !event_ && !event_running_; });
    if (event_error_) std::rethrow_exception(std::exchange(event_error_, nullptr));
  }

  Compressor& owner_;
  UiThread& ui_;
  const Job job_;
  std::atomic<bool> terminate_{false};

  // Worker-only state.
  bool succeeded_ = false;
  int64_t remaining_ = 0;
  int64_t done_ = 0;
  int64_t source_size_ = 0;  // of a decompression
  int64_t checked_ = 0;      // bytes of its source last reported checked
  float rate_ = 0.0f;

  // The rendezvous, guarded by mutex_.
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::function<void()> event_;  // waiting to run; empty when none
  bool event_running_ = false;
  std::exception_ptr event_error_;
  bool detached_ = false;
  bool finished_ = false;
};

Compressor::Compressor(UiThread& ui) : ui_(ui) {}

Compressor::~Compressor() {
  std::shared_ptr<CompressionThread> worker;
  {
    std::lock_guard lock(mutex_);
    worker = std::move(worker_);
    busy_ = false;
  }
  if (!worker) return;
  // No events for a component being destroyed, so nothing needs the
  // user-interface thread: the worker only finishes its files.
  worker->Detach();
  worker->RequestTerminate();
  worker->WaitFinished();
}

bool Compressor::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

void Compressor::Compress() { Start(true); }

void Compressor::Decompress() { Start(false); }

void Compressor::Start(bool compress) {
  std::lock_guard lock(mutex_);
  if (worker_ || !FileExists(SourceFile)) return;
  busy_ = true;
  worker_ = std::make_shared<CompressionThread>(*this, ui_,
                                         CompressionThread::Job{compress, SourceFile, DestFile, ZlibLevelOf(ZipLevel), Faults});
  try {
    CompressionThread::Launch(worker_);
  } catch (...) {
    worker_.reset();
    busy_ = false;
    throw;
  }
}

void Compressor::Stop() {
  std::shared_ptr<CompressionThread> worker;
  {
    std::lock_guard lock(mutex_);
    if (!busy_ || !worker_) return;
    worker = worker_;
  }
  worker->RequestTerminate();
  if (!ui_.IsUiThread()) {
    worker->WaitFinished();  // the user-interface thread delivers the end meanwhile
    return;
  }
  if (worker->InEvent()) return;  // inside our own handler: the worker waits for it
  worker->WaitFinishedPumping();
}

void Compressor::DoBegin(int64_t nMax) {
  auto handler = OnBegin;  // a handler may reassign the property
  if (handler) handler(nMax);
}

void Compressor::DoProcess(int64_t nHasDone) {
  auto handler = OnProcess;
  if (handler) handler(nHasDone);
}

void Compressor::DoCheck(int64_t nChecked, int64_t nSize) {
  auto handler = OnCheck;
  if (handler) handler(nChecked, nSize);
}

void Compressor::DoEnd(const CompressionThread* worker, bool nNormal, float nZipRate) {
  {
    std::lock_guard lock(mutex_);
    if (worker_.get() == worker) {
      worker_.reset();
      busy_ = false;
    }
  }
  auto handler = OnEnd;
  if (handler) handler(nNormal, nZipRate);
}

}  // namespace vesk
