// The worker-thread pattern: a thread that runs one operation, swallows every
// exception the operation lets escape, and frees itself when it is done.
//
// The threads are detached, but a process-wide count of the running ones lets
// a front end wait for them at exit, after it has cleared the run flags, so
// that no worker is cut off between writing and deleting a partial file.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace vesk {

// Starts `body` on a new detached thread.
void StartWorker(std::function<void()> body);

// Number of workers still running.
int RunningWorkers();

// Waits until no worker runs or the timeout passes; true when none runs.
bool WaitForWorkers(std::chrono::milliseconds timeout);

// Called on a worker's thread each time a worker has ended (RunningWorkers()
// already counts it out), so that a waiting front end is woken instead of
// polling. Must not start or wait for workers. Empty: none.
void SetWorkerEndObserver(std::function<void()> observer);

}  // namespace vesk
