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
    FileDialogSpec open{age_text::kIdentityFilter, -1, "", age_text::kIdentityOpenTitle};
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

// ---- Key generator ----------------------------------------------------------------

void WindowLogic::GenerateIdentityClicked() {
  try {
    const auto saved = port_.SaveDialog({age_text::kIdentityFilter, 1, age_text::kIdentitySaveName, age_text::kIdentitySaveTitle});
    if (!saved) return;
    const std::string& path = *saved;
    // An existing identity is never replaced: what was encrypted to it
    // would be lost with it.
    if (PathExists(path)) return ReportMessage(age_text::IdentityExists(path));
    std::optional<age_files::NewIdentity> identity = age_files::GenerateIdentity(std::time(nullptr));
    if (!identity) return ReportMessage(age_text::kInternalError);
    try {
      age_files::WriteNewKeyFile(path, identity->file_text);
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
    port_.InformationBox(age_text::IdentityWritten(path, identity->public_key), kProgramTitle);
    ShowStatus(age_text::PublicKeyStatus(identity->public_key));
  } catch (...) {
    Beep();
  }
}

}  // namespace vesk
