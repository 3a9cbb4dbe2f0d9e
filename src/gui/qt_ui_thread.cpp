#include "gui/qt_ui_thread.h"

#include <QMetaObject>

namespace vesk::gui {

QtUiThread::QtUiThread() {
  queue_.SetWakeCallback([this] { QMetaObject::invokeMethod(this, [this] { RunRound(); }, Qt::QueuedConnection); });
}

QtUiThread::~QtUiThread() { queue_.SetWakeCallback(nullptr); }

void QtUiThread::RunRound() {
  try {
    queue_.ProcessPending();
  } catch (...) {
    // A posted call failed; the event loop must not see the exception. The
    // calls behind it are still queued: schedule another round for them.
    if (queue_.PendingCount() > 0) QMetaObject::invokeMethod(this, [this] { RunRound(); }, Qt::QueuedConnection);
  }
}

}  // namespace vesk::gui
