// The queued user-interface thread of the Qt window: calls handed over by
// workers wait in a QueuedUiThread, and every enqueue schedules a round of
// them on the Qt event loop. Modal dialogs and message boxes run nested event
// loops, so queued calls keep flowing while they are open; waits that block
// the event loop (the compression component's Stop, the close handling) pump
// the same queue themselves.
#pragma once

#include <QObject>

#include "threads/queued_ui_thread.h"

namespace vesk::gui {

class QtUiThread : public QObject {
 public:
  // Construct on the thread that runs the Qt event loop.
  QtUiThread();
  ~QtUiThread() override;

  QueuedUiThread& Queue() { return queue_; }

 private:
  void RunRound();

  // Destroyed before the QObject base: its destructor waits for threads that
  // are still scheduling a round, and only then are the rounds they posted to
  // this object discarded with it.
  QueuedUiThread queue_;
};

}  // namespace vesk::gui
