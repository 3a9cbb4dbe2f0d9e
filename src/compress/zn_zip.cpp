#include "compress/zn_zip.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <utility>
#include <vector>

#include "compress/zlib_streams.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "threads/worker.h"

namespace vesk {

namespace {

// Progress granularity: one event per chunk of this many bytes.
constexpr int64_t kChunkSize = 65535;
// A decompression inflates this many chunks at a time.
constexpr std::size_t kInflateBatch = 16;

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

mode_t DestFileModeFor(const std::string& dest) {
  const std::string temp = TempFolderPath();
  return dest.compare(0, temp.size(), temp) == 0 ? 0600 : 0644;
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
class TZipThread : public std::enable_shared_from_this<TZipThread> {
 public:
  struct Job {
    bool compress;
    std::string source;
    std::string dest;
    int level;
  };

  TZipThread(TZnZip& owner, UiThread& ui, Job job) : owner_(owner), ui_(ui), job_(std::move(job)) {}

  static void Launch(const std::shared_ptr<TZipThread>& self) {
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
    OutputFile dest;
    CreateDest(dest);
    {
      compress::DeflateWriter deflater(dest, job_.level);
      remaining_ = source.Size();
      done_ = 0;
      Deliver([this, total = remaining_] { owner_.DoBegin(total); });
      std::vector<unsigned char> chunk(kChunkSize);
      while (!terminate_ && remaining_ > 0) {
        const auto n = static_cast<std::size_t>(std::min(remaining_, kChunkSize));
        source.ReadExact(chunk.data(), n);  // a source that shrank meanwhile fails the run
        deflater.Write(chunk.data(), n);
        done_ += static_cast<int64_t>(n);
        Deliver([this, done = done_] { owner_.DoProcess(done); });
        remaining_ -= static_cast<int64_t>(n);
      }
      // Taken before the final flush, which is therefore not counted.
      const int64_t fed = deflater.BytesIn();
      rate_ = fed > 0 ? static_cast<float>(100.0 * (1.0 - static_cast<double>(deflater.BytesOut()) /
                                                               static_cast<double>(fed)))
                      : 0.0f;
      // Also after a stop: the part read so far becomes a complete stream.
      deflater.Finish();
    }
    dest.Close();
  }

  void DecompressFile() {
    InputFile source(job_.source);
    OutputFile dest;
    CreateDest(dest);
    compress::InflateReader inflater(source);
    // zlib runs fastest with a large output area; the chunks are cut from it.
    std::vector<unsigned char> buffer(kInflateBatch * kChunkSize);

    // The total for OnBegin needs a full pass, which also checks the whole
    // stream: data that is foreign, damaged, fails its Adler-32 check or ends
    // before its trailer fails the run here, before OnBegin and before
    // anything is written, so DestFile stays empty.
    int64_t total = 0;
    for (;;) {
      if (terminate_) return;
      const std::size_t got = inflater.Read(buffer.data(), buffer.size());
      total += static_cast<int64_t>(got);
      if (got < buffer.size()) break;
    }
    inflater.Rewind();

    remaining_ = total;
    done_ = 0;
    Deliver([this, total] { owner_.DoBegin(total); });
    while (!terminate_ && remaining_ > 0) {
      const auto batch = static_cast<std::size_t>(std::min<int64_t>(remaining_, buffer.size()));
      if (inflater.Read(buffer.data(), batch) != batch) {
        throw compress::ZlibError("the compressed file changed while read");
      }
      for (std::size_t at = 0; at < batch && !terminate_; at += kChunkSize) {
        const auto n = std::min<std::size_t>(kChunkSize, batch - at);
        dest.Write(buffer.data() + at, n);
        done_ += static_cast<int64_t>(n);
        Deliver([this, done = done_] { owner_.DoProcess(done); });
        remaining_ -= static_cast<int64_t>(n);
      }
    }
    // The second pass must end where the first did, its check passed too.
    if (!terminate_ && inflater.Read(buffer.data(), 1) != 0) {
      throw compress::ZlibError("the compressed file changed while read");
    }
    dest.Close();
  }

  // Replaces whatever is at DestFile by a new, exclusively created file.
  void CreateDest(OutputFile& dest) const {
    if (PathExists(job_.dest)) DeleteFile(job_.dest);  // if this fails, CreateNew does too
    dest.CreateNew(job_.dest, DestFileModeFor(job_.dest));
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
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return !event_ && !event_running_; });
    if (event_error_) std::rethrow_exception(std::exchange(event_error_, nullptr));
  }

  TZnZip& owner_;
  UiThread& ui_;
  const Job job_;
  std::atomic<bool> terminate_{false};

  // Worker-only state.
  bool succeeded_ = false;
  int64_t remaining_ = 0;
  int64_t done_ = 0;
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

TZnZip::TZnZip(UiThread& ui) : ui_(ui) {}

TZnZip::~TZnZip() {
  std::shared_ptr<TZipThread> worker;
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

bool TZnZip::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

void TZnZip::Compress() { Start(true); }

void TZnZip::Decompress() { Start(false); }

void TZnZip::Start(bool compress) {
  std::lock_guard lock(mutex_);
  if (worker_ || !FileExists(SourceFile)) return;
  busy_ = true;
  worker_ = std::make_shared<TZipThread>(*this, ui_,
                                         TZipThread::Job{compress, SourceFile, DestFile, ZlibLevelOf(ZipLevel)});
  try {
    TZipThread::Launch(worker_);
  } catch (...) {
    worker_.reset();
    busy_ = false;
    throw;
  }
}

void TZnZip::Stop() {
  std::shared_ptr<TZipThread> worker;
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

void TZnZip::DoBegin(int64_t nMax) {
  auto handler = OnBegin;  // a handler may reassign the property
  if (handler) handler(nMax);
}

void TZnZip::DoProcess(int64_t nHasDone) {
  auto handler = OnProcess;
  if (handler) handler(nHasDone);
}

void TZnZip::DoEnd(const TZipThread* worker, bool nNormal, float nZipRate) {
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
