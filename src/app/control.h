// The window's controls as the window logic addresses them, and the rules
// that show a command as busy or idle on them.
//
// The engines only say which operation is busy or idle again (an Operation
// of the reporting interface); which buttons, items and key boxes follow,
// and with which captions, is decided here once, for the Qt window, the
// command-line front end and the tests alike.
#pragma once

#include <string>

#include "core/reporting.h"

namespace vesk {

// The controls the command state touches, and the key boxes.
enum class Control {
  EncryptButton,
  DecryptButton,
  SoftKeyboardButton,  // stands in for the popup-menu commands
  CreateSelfDecryptingButton,
  SelfDecryptButton,
  SeparateButton,
  ShredItem,           // popup item
  EncryptionKey,       // key box of the encryption
  DecryptionKey,       // key box of the decryption
  KeylessEncryptItem,  // popup item 0 while the key-less items are shown
  KeylessDecryptItem,  // popup item 1
};

// The control that shows the state of an operation and offers its cancel.
Control ControlFor(Operation op);

// Idle and busy captions of the five command buttons; empty for the others.
const char* IdleCaption(Control c);
const char* BusyCaption(Control c);

// Where the command-state rules apply their result: the window logic (to the
// port) and the tests' recording reporter.
class ControlSink {
 public:
  virtual ~ControlSink() = default;
  virtual void SetControlEnabled(Control c, bool enabled) = 0;
  virtual void SetControlTag(Control c, int tag) = 0;
  virtual void SetControlCaption(Control c, const std::string& caption) = 0;
};

// Shows `op` busy (enabled false: every other command locked, its own
// control the cancel) or every command idle again (enabled true). The
// self-decrypt buttons come back only when `self_decrypt_possible`.
void ApplyCommandState(ControlSink& sink, Operation op, bool enabled, bool self_decrypt_possible);

}  // namespace vesk
