// The strong format in the window: the format choice, the strength meter of
// the passphrase, age encryption to a passphrase or to recipients, age
// decryption with the passphrase or the chosen identity files, and the key
// generator. The engines do the files; this side asks, checks and starts them.
#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>

#include "app/window_logic.h"
#include "app/texts.h"
#include "archive/folder_engine.h"
#include "commands/age_command.h"
#include "compress/parallel_deflate.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "crypto/age_files/texts.h"
#include "crypto/keyless/random_source.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"

namespace vesk {

namespace age_text = age_files::text;

// ---- Format choice and strength meter --------------------------------------

void WindowLogic::FormatSelected(int index) {
  try {
    Settings.Format = index == 1 ? settings::FileFormat::Age : settings::FileFormat::Jmz;
    Store().FormatSelected(Settings);
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

std::string WindowLogic::AgePlainName(const std::string& age_path) { return commands::AgePlainName(age_path); }

// ---- Encryption ---------------------------------------------------------------

struct WindowLogic::AgeKeys {
  std::vector<std::string> recipients;  // "age1..." keys, checked by the engines
  age::SecretBytes passphrase;          // else the passphrase
};

const char* WindowLogic::AgeEncryptOpenTitle() { return age_text::kEncryptOpenTitle; }

bool WindowLogic::TakeAgeKeys() {
  auto keys = std::make_shared<AgeKeys>();
  // Recipients count for this command only: the next click asks again.
  keys->recipients = std::exchange(AgeRecipients, {});
  if (keys->recipients.empty()) {
    std::string passphrase = port_.PassphraseText(Control::EncryptionKey);
    std::string confirmation = port_.PassphraseText(Control::DecryptionKey);
    const bool confirmed = passphrase == confirmation;
    age_files::WipeString(confirmation);
    keys->passphrase = age_files::TakeSecret(passphrase);
    const char* why = keys->passphrase.empty()                     ? age_text::kPassphraseEmpty
                      : !confirmed                                 ? age_text::kPassphraseMismatch
                      : !age_files::IsUtf8(keys->passphrase.view()) ? age_text::kPassphraseNotUtf8
                                                                   : nullptr;
    if (why != nullptr) {
      EndRun(Outcome::kRefused, why);
      ReportMessage(why);
      return false;
    }
  }
  age_keys_ = std::move(keys);
  return true;
}

void WindowLogic::AgeEncryptOne(const std::string& picked, bool ask_target) {
  auto& keep = Flags().KeepRunning;
  const std::shared_ptr<const AgeKeys> keys = age_keys_;
  try {
    const bool folder = DirectoryExists(picked);
    ChosenFile = SourcePath = picked;
    FolderSource = folder ? picked : std::string();
    // A folder becomes "DIR.tar.age"; a file keeps its whole name.
    const std::string proposal = folder ? FolderStem(picked) + ".tar.age" : picked + ".age";
    const auto saved = ask_target ? port_.SaveDialog({age_text::kEncryptSaveFilter, 1, proposal, age_text::kEncryptSaveTitle})
                                  : std::optional<std::string>(proposal);
    if (!saved) return ShowStatus(age_text::kEncryptCancelled);
    TargetPath = OutputPath = *saved;
    // Nothing is asked or deleted for an output that is the source itself.
    if (!folder && SameFile(picked, TargetPath)) {
      const std::string why = age_text::ReplaceFailed(TargetPath, age_text::kEncryptCancelled);
      EndRun(Outcome::kRefused, why);
      return ReportMessage(why);
    }
    ReplaceTarget = PathExists(TargetPath);
    if (ReplaceTarget &&
        AskReplace(age_text::ReplaceQuestion(TargetPath), age_text::kReplaceCaption) != ReplaceAnswer::kYes) {
      EndRun(Outcome::kRefused, age_text::kEncryptCancelled);
      return ShowStatus(age_text::kEncryptCancelled);
    }

    auto job = std::make_shared<age_files::EncryptJob>();
    job->source_path = SourcePath;
    job->target_path = TargetPath;
    job->recipients = keys->recipients;
    job->passphrase = keys->passphrase.Clone();
    job->armor = AgeArmor;
    job->work_factor = AgeWorkFactor;
    job->threads = static_cast<unsigned>(compress::CompressionThreads());
    job->replace_target = ReplaceTarget;
    keep = true;
    SetCommandState(Operation::Encrypt, false);
    if (folder) {
      ShowStatus(age_text::kEncryptStarting);
      SetBarPosition(0);
      SetHintText(Hint::Output, age_text::EncryptOutputHint(TargetPath));
      SetHintText(Hint::Source, age_text::EncryptSourceHint(SourcePath));
      auto pack = std::make_shared<archive::PackJob>();
      pack->folder = picked;
      pack->target_path = TargetPath;
      pack->road = archive::Road::kAge;
      pack->replace_target = ReplaceTarget;
      pack->command = Operation::Encrypt;
      pack->age = std::move(job);
      StartCommandWorker([this, pack] { archive::PackFolder(*pack, *this, *random_, keyless::DefaultRandom()); });
    } else {
      auto request = std::make_shared<commands::FileRequest>();
      request->format = commands::Format::kAge;
      request->keys.recipients = keys->recipients;
      request->keys.passphrase = SecretText(std::string(keys->passphrase.view()));
      request->armor = AgeArmor;
      request->work_factor = AgeWorkFactor;
      commands::PlannedItem item;
      item.source = SourcePath;
      item.target = TargetPath;
      item.replaces = ReplaceTarget;
      const StopToken stop = RunStopToken();
      StartCommandWorker([this, request, item, stop] {
        RunContext context{*this, *this, stop};
        EndEngineRun(commands::AgeEncryptCommand().Run(*request, item, context), Operation::Encrypt);
      });
    }
  } catch (...) {
    keep = false;
    SetCommandState(Operation::Encrypt, true);
    EndRun(Outcome::kFailed, age_text::kCommandFailed);
    ReportMessage(age_text::kCommandFailed);
  }
}

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
    AgeRecipients = list.recipients;
    EncryptClicked();
  } catch (...) {
    AgeRecipients.clear();
    Beep();
  }
}

// ---- Decryption -----------------------------------------------------------------

void WindowLogic::AgeDecryptChosen(const std::string& source, bool ask_target) {
  auto& keep = Flags().KeepDecrypting;
  auto refuse = [this](const std::string& why) {
    EndRun(Outcome::kRefused, why);
    ReportMessage(why);
  };
  try {
    SourcePath = source;
    OriginalExt.clear();
    // What the header asks for: the passphrase of the right-hand box, or
    // the chosen identity files. A header no key can open is refused now.
    const age_files::HeaderSummary header = age_files::SummarizeHeader(source);
    if (auto why = age_files::HeaderRefusal(header, source)) return refuse(*why);
    auto job = std::make_shared<age_files::DecryptJob>();
    if (header.passphrase) {
      std::string passphrase = port_.PassphraseText(Control::DecryptionKey);
      job->passphrase = age_files::TakeSecret(passphrase);
      if (job->passphrase.empty()) return refuse(age_text::kPassphraseRequired);
      if (header.work_factor > AgeMaxWorkFactor) return refuse(age_text::WorkFactorTooHigh(header.work_factor, AgeMaxWorkFactor));
    } else {
      if (AgeIdentityFiles.empty()) return refuse(age_text::kIdentitiesRequired);
      job->identity_files = AgeIdentityFiles;
    }

    const FileDialogSpec save{vesk::text::kAllFilesFilter, -1, AgePlainName(source), age_text::kDecryptSaveTitle};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
    if (!saved) return ShowStatus(age_text::kDecryptCancelled);
    TargetPath = OutputPath = *saved;
    if (SameFile(source, TargetPath)) return refuse(age_text::ReplaceFailed(TargetPath, age_text::kDecryptCancelled));
    ReplaceTarget = PathExists(TargetPath);
    if (ReplaceTarget &&
        AskReplace(age_text::ReplaceQuestion(TargetPath), age_text::kReplaceCaption) != ReplaceAnswer::kYes) {
      EndRun(Outcome::kRefused, age_text::kDecryptCancelled);
      return ShowStatus(age_text::kDecryptCancelled);
    }

    job->source_path = source;
    job->target_path = TargetPath;
    job->max_work_factor = AgeMaxWorkFactor;
    job->threads = static_cast<unsigned>(compress::CompressionThreads());
    auto request = std::make_shared<commands::FileRequest>();
    request->format = commands::Format::kAge;
    request->keys.passphrase = SecretText(std::string(job->passphrase.view()));
    request->keys.identity_files = job->identity_files;
    request->max_work_factor = AgeMaxWorkFactor;
    commands::PlannedItem item;
    item.source = source;
    item.target = TargetPath;
    item.replaces = ReplaceTarget;
    keep = true;
    SetCommandState(Operation::Decrypt, false);
    const StopToken stop = RunStopToken();
    StartCommandWorker([this, request, item, stop] {
      RunContext context{*this, *this, stop};
      EndEngineRun(commands::AgeDecryptCommand().Run(*request, item, context), Operation::Decrypt);
    });
  } catch (...) {
    keep = false;
    SetCommandState(Operation::Decrypt, true);
    EndRun(Outcome::kFailed, age_text::DecryptFailed(source));
    Beep();
  }
}

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
    AgeIdentityFiles = chosen;
    ShowStatus(age_text::IdentitiesChosen(AgeIdentityFiles.size()));
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
    if (std::find(AgeIdentityFiles.begin(), AgeIdentityFiles.end(), path) == AgeIdentityFiles.end()) {
      AgeIdentityFiles.push_back(path);
    }
    port_.InformationBox(age_text::IdentityWritten(path, identity->public_key), kProgramTitle);
    ShowStatus(age_text::PublicKeyStatus(identity->public_key));
  } catch (...) {
    Beep();
  }
}

}  // namespace vesk
