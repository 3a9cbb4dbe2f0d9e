// The strong format in the window: the format choice, the strength meter of
// the passphrase, age encryption to a passphrase or to recipients, age
// decryption with the passphrase or the chosen identity files, and the key
// generator. The engines do the files; this side asks, checks and starts them.
#include <algorithm>
#include <ctime>

#include "app/window_logic.h"
#include "app/texts.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "crypto/age_files/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "threads/worker.h"

namespace vesk {

namespace age_text = age_files::text;

// ---- Format choice and strength meter --------------------------------------

void WindowLogic::FormatSelected(int index) {
  try {
    settings_.Format = index == 1 ? settings::FileFormat::Age : settings::FileFormat::Jmz;
    Store().FormatSelected(settings_);
    SettingsChanged();
    EncryptionKeyEdited();
  } catch (...) {
    Beep();
  }
}

const char* WindowLogic::StrengthHint(int score) { return age_text::kStrengthHints[std::clamp(score, 0, 4)]; }

void WindowLogic::EncryptionKeyEdited() {
  try {
    if (!AgeFormatChosen() || !KeyStrengthEstimator) return port_.SetKeyStrength(std::nullopt, "");
    std::string passphrase = port_.PassphraseText(Control::EncryptionKey);
    if (passphrase.empty()) return port_.SetKeyStrength(0, age_text::kStrengthEmpty);
    const int score = std::clamp(KeyStrengthEstimator(passphrase), 0, 4);
    age_files::WipeString(passphrase);
    port_.SetKeyStrength(score, StrengthHint(score));
  } catch (...) {
    Beep();
  }
}

// ---- Encryption ---------------------------------------------------------------

const char* WindowLogic::AgeEncryptOpenTitle() { return age_text::kEncryptOpenTitle; }

void WindowLogic::EncryptToRecipientsClicked() {
  try {
    // The item waits, as the buttons do, while a command runs.
    if (Tag(Control::EncryptButton) != 0 || Tag(Control::DecryptButton) != 0) return Beep();
    const auto answer = port_.RecipientsDialog(recipients_text_);
    if (!answer) return;
    recipients_text_ = *answer;
    const age_files::RecipientList list = age_files::ParseRecipients(*answer);
    if (!list.error.empty()) {
      EndRun(Outcome::kRefused, list.error);
      return ReportMessage(list.error);
    }
    pending_recipients_ = list.recipients;
    EncryptClicked();
  } catch (...) {
    pending_recipients_.clear();
    Beep();
  }
}

// ---- Identity files -------------------------------------------------------------

void WindowLogic::ChooseIdentityFilesClicked() {
  try {
    FileDialogSpec open{age_text::kIdentityOpenFilter, -1, "", age_text::kIdentityOpenTitle};
    const std::vector<std::string> chosen = port_.OpenManyDialog(open);
    if (chosen.empty()) return;
    // Each file is read once now, so that a wrong one is named at once; the
    // keys themselves are read again by each decryption and kept nowhere.
    for (const std::string& path : chosen) {
      const age_files::IdentityFile file = age_files::ReadIdentityFile(path);
      if (!file.error.empty()) return ReportMessage(file.error);
    }
    age_identity_files_ = chosen;
    ShowStatus(age_text::IdentitiesChosen(age_identity_files_.size()));
  } catch (...) {
    Beep();
  }
}

std::shared_ptr<age_files::IdentitySet> WindowLogic::ReadAgeIdentities() const {
  if (age_identity_files_.empty()) return nullptr;
  auto set = std::make_shared<age_files::IdentitySet>();
  if (set->Load(age_identity_files_, age_max_work_factor_)) return nullptr;
  return set;
}

// ---- Key generator ----------------------------------------------------------------

void WindowLogic::GenerateIdentityClicked() {
  try {
    std::optional<WindowPort::IdentityOptions> options = port_.IdentityDialog();
    if (!options) return;
    const bool protect = !options->passphrase.empty();
    const auto saved = port_.SaveDialog(
        protect ? FileDialogSpec{age_text::kIdentityProtectedFilter, 1, age_text::kIdentityProtectedSaveName, age_text::kIdentitySaveTitle}
                : FileDialogSpec{age_text::kIdentityFilter, 1, age_text::kIdentitySaveName, age_text::kIdentitySaveTitle});
    if (!saved) return;
    const std::string& path = *saved;
    // An existing identity is never replaced: what was encrypted to it
    // would be lost with it.
    if (PathExists(path)) return ReportMessage(age_text::IdentityExists(path));
    std::optional<age_files::NewIdentity> identity = age_files::GenerateIdentity(std::time(nullptr), options->post_quantum);
    if (!identity) return ReportMessage(age_text::kInternalError);
    // A protected file is the identity file encrypted to the passphrase, as
    // "age-keygen | age -p -a" writes it.
    std::optional<age::SecretBytes> sealed;
    if (protect) {
      sealed = age_files::ProtectKeyFile(identity->file_text, age::SecretBytes::FromString(options->passphrase.view()));
      options->passphrase.Wipe();
      if (!sealed) return ReportMessage(age_text::kInternalError);
    }
    try {
      age_files::WriteNewKeyFile(path, sealed ? *sealed : identity->file_text);
    } catch (const TargetExistsError&) {
      return ReportMessage(age_text::IdentityExists(path));
    } catch (...) {
      return ReportMessage(age_text::IdentityNotWritten(path));
    }
    port_.CopyToClipboard(identity->public_key);
    // The new identity opens what others encrypt to its public key.
    if (std::find(age_identity_files_.begin(), age_identity_files_.end(), path) == age_identity_files_.end()) {
      age_identity_files_.push_back(path);
    }
    const std::string shown = age_text::ShownPublicKey(identity->public_key);
    port_.InformationBox(age_text::IdentityWritten(path, shown) + (protect ? age_text::kIdentityProtectedNote : ""),
                         kProgramTitle);
    ShowStatus(age_text::PublicKeyStatus(shown));
  } catch (...) {
    Beep();
  }
}

// ---- The key boxes with the strong format -------------------------------------------

void WindowLogic::KeyBoxEntered(Control box) {
  try {
    if (box == Control::EncryptionKey) return port_.FocusKeyBox(Control::DecryptionKey);
    // Enter starts a command, never cancels a running one.
    if (Tag(Control::EncryptButton) != 0 || Tag(Control::DecryptButton) != 0) return Beep();
    std::string passphrase = port_.PassphraseText(Control::EncryptionKey);
    const bool encrypt = !passphrase.empty();
    age_files::WipeString(passphrase);
    const Control command = encrypt ? Control::EncryptButton : Control::DecryptButton;
    if (!port_.ControlEnabled(command)) return Beep();
    encrypt ? EncryptClicked() : DecryptClicked();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::KeyPasteRefused(KeyPasteRefusal why, int most) {
  try {
    ReportMessage(why == KeyPasteRefusal::kLineBreak ? std::string(text::kKeyLineBreak)
                                                     : text::KeyTooLong(static_cast<std::size_t>(std::max(most, 0))));
  } catch (...) {
    Beep();
  }
}

bool WindowLogic::AgePassphraseAccepted(const SecretText& passphrase) {
  // A line break cannot be typed at another program's prompt.
  if (passphrase.view().find_first_of("\r\n") != std::string_view::npos) {
    RefuseRun(age_text::kPassphraseLineBreak);
    return false;
  }
  if (!KeyStrengthEstimator) return true;
  const int score = std::clamp(KeyStrengthEstimator(passphrase.str()), 0, 4);
  if (score >= 2) return true;
  if (port_.CautiousQuestion(age_text::WeakPassphraseQuestion(StrengthHint(score)), age_text::kWeakPassphraseCaption)) {
    return true;
  }
  EndRun(Outcome::kCancelled, age_text::kEncryptCancelled);
  ShowStatus(age_text::kEncryptCancelled);
  return false;
}

void WindowLogic::GeneratePassphraseClicked() {
  try {
    if (Tag(Control::EncryptButton) != 0 || Tag(Control::DecryptButton) != 0) return Beep();
    const age::SecretBytes phrase = age_files::GeneratePassphrase();
    if (phrase.empty()) return ReportMessage(age_text::kInternalError);
    std::string shown(phrase.view());
    port_.SetKeyText(Control::EncryptionKey, shown);
    port_.SetKeyText(Control::DecryptionKey, shown);
    EncryptionKeyEdited();
    port_.ShowPassphrase(shown);
    age_files::WipeString(shown);
  } catch (...) {
    Beep();
  }
}

// ---- Inspection -----------------------------------------------------------------------

void WindowLogic::InspectAgeFileClicked() {
  try {
    FileDialogSpec open{text::kInspectOpenFilter, 1, "", text::kInspectOpenTitle};
    PreselectFromHint(open);
    const auto path = port_.OpenDialog(open);
    if (!path) return;
    // Only a regular file: a FIFO would be read until its writer closes it.
    if (!FileExists(*path)) return ReportMessage(age_text::InspectRefused(*path));
    // The look runs on a worker, so that the window stays live while an
    // armored file is read to its end to tell its size.
    StartWorker([this, path = *path] {
      age::FileInfo info;
      if (const age::Result r = age_files::InspectFile(path, info); !r.ok()) {
        return ReportMessage(r.status == age::Status::kHeaderTooLarge ? age_text::InspectTooLarge(path)
                                                                      : age_text::InspectRefused(path));
      }
      port_.InformationBox(age_files::InspectionText(info), text::InspectCaption(path));
    });
  } catch (...) {
    Beep();
  }
}

// ---- Questions of a run: plugins and protected keys ------------------------------------

void WindowLogic::ReportNow(const std::string& text) {
  ShowHeldMessage();
  ShowMessageNow(text);
}

std::optional<std::string> WindowLogic::AskText(const std::string& question, bool secret) {
  ShowHeldMessage();
  return port_.TextDialog(question, secret);
}

std::optional<SecretText> WindowLogic::AskSecret(const std::string& question) {
  ShowHeldMessage();
  std::optional<std::string> typed = port_.TextDialog(question, true);
  if (!typed || typed->empty()) {
    if (typed) age_files::WipeString(*typed);
    return std::nullopt;
  }
  SecretText secret(std::move(*typed));
  age_files::WipeString(*typed);  // a short text leaves its bytes behind
  return secret;
}

}  // namespace vesk
