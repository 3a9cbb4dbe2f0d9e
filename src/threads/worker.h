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

// Operations the keyed worker selects by its mode byte.
class KeyedOperations {
 public:
  virtual ~KeyedOperations() = default;
  virtual void EncryptEngine() = 0;
  virtual void DecryptFile() = 0;
};

// Keyed encryption (mode non-zero) or decryption (mode 0).
class Tjmfes {
 public:
  static void Start(uint8_t mode, KeyedOperations& ops);
};

// Operations the key-less worker selects by its mode byte.
class KeylessOperations {
 public:
  virtual ~KeylessOperations() = default;
  virtual void EncryptKeyless() = 0;
  virtual void DecryptKeyless() = 0;
};

// Key-less encryption (mode non-zero) or decryption (mode 0).
class Tbmjmfes {
 public:
  static void Start(uint8_t mode, KeylessOperations& ops);
};

// The operation the shred worker runs.
class ShredOperations {
 public:
  virtual ~ShredOperations() = default;
  virtual void ShredFile() = 0;
};

// Shredding; no mode.
class Tfsw {
 public:
  static void Start(ShredOperations& ops);
};

// Operations the create-or-separate worker selects by its mode byte.
class SelfExtractOperations {
 public:
  virtual ~SelfExtractOperations() = default;
  virtual void CreateSelfDecrypting() = 0;
  virtual void SeparatePayload() = 0;
};

// Creating a self-decrypting executable (mode non-zero) or separating one
// (mode 0).
class Tcjjm {
 public:
  static void Start(uint8_t mode, SelfExtractOperations& ops);
};

// The operation of the self-decrypt worker.
class SelfDecryptOperations {
 public:
  virtual ~SelfDecryptOperations() = default;
  virtual void RunSelfDecrypt() = 0;
};

// Self-decryption of the program's own payload.
class Tzjm {
 public:
  static void Start(SelfDecryptOperations& ops);
};

}  // namespace vesk
