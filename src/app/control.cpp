#include "app/control.h"
#include "app/texts.h"

namespace vesk {

Control ControlFor(Operation op) {
  switch (op) {
    case Operation::Encrypt: return Control::EncryptButton;
    case Operation::Decrypt: return Control::DecryptButton;
    case Operation::MenuCommand: return Control::SoftKeyboardButton;
    case Operation::CreateSelfDecrypting: return Control::CreateSelfDecryptingButton;
    case Operation::SelfDecrypt: return Control::SelfDecryptButton;
    case Operation::Separate: return Control::SeparateButton;
    case Operation::Shred: return Control::ShredItem;
    case Operation::KeylessEncrypt: return Control::KeylessEncryptItem;
    case Operation::KeylessDecrypt: return Control::KeylessDecryptItem;
  }
  return Control::SoftKeyboardButton;
}

const char* IdleCaption(Control c) {
  switch (c) {
    case Control::EncryptButton: return text::kEncryptButton;
    case Control::DecryptButton: return text::kDecryptButton;
    case Control::CreateSelfDecryptingButton: return text::kCreateSelfDecryptingButton;
    case Control::SelfDecryptButton: return text::kSelfDecryptButton;
    case Control::SeparateButton: return text::kSeparateButton;
    default: return "";
  }
}

const char* BusyCaption(Control c) {
  switch (c) {
    case Control::EncryptButton: return text::kCancelEncryptButton;
    case Control::DecryptButton: return text::kCancelDecryptButton;
    case Control::CreateSelfDecryptingButton: return text::kCancelCreateButton;
    case Control::SelfDecryptButton:
    case Control::SeparateButton: return text::kCancelButton;
    default: return "";
  }
}

void ApplyCommandState(ControlSink& sink, Operation op, bool enabled, bool self_decrypt_possible) {
  const Control button = ControlFor(op);
  sink.SetControlEnabled(Control::EncryptButton, enabled);
  sink.SetControlEnabled(Control::DecryptButton, enabled);
  sink.SetControlEnabled(Control::CreateSelfDecryptingButton, enabled);
  const bool self_decrypt = enabled && self_decrypt_possible;
  sink.SetControlEnabled(Control::SelfDecryptButton, self_decrypt);
  sink.SetControlEnabled(Control::SeparateButton, self_decrypt);
  sink.SetControlEnabled(button, true);
  sink.SetControlTag(button, enabled ? 0 : 1);
  sink.SetControlEnabled(Control::ShredItem, enabled);
  if (button == Control::EncryptButton) sink.SetControlEnabled(Control::EncryptionKey, enabled);
  sink.SetControlEnabled(Control::DecryptionKey, enabled);
  const char* caption = enabled ? IdleCaption(button) : BusyCaption(button);
  if (*caption != '\0') sink.SetControlCaption(button, caption);
}

}  // namespace vesk
