// The main window's logic without a toolkit: its working fields, the
// reporting interface, and the command handlers. It reaches widgets, dialogs
// and message boxes only through a WindowPort, and the user-interface thread
// only through a UiThread, so the Qt window, the command-line front end and
// the tests drive the same code.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/control.h"
#include "app/texts.h"
#include "app/menu_request.h"
#include "app/port.h"
#include "commands/command.h"
#include "core/reporting.h"
#include "core/stop.h"
#include "commands/batch_runner.h"
#include "commands/request.h"
#include "commands/unpack_offer.h"
#include "crypto/keyed/random_source.h"
#include "desktop/shell_integration.h"
#include "selfextract/layout.h"
#include "settings/settings.h"
#include "settings/memory_store.h"
#include "threads/ui_thread.h"
#include "threads/worker.h"

namespace vesk {

class WindowLogic : public Reporter, public ControlSink {
 public:
  static constexpr Tr kProgramTitle = text::kProgramTitle;
  static constexpr Tr kMessageCaption = text::kMessageCaption;

  WindowLogic(WindowPort& port, UiThread& ui);
  ~WindowLogic() override;

  // Reporting interface.
  void ReportMessage(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void ShowHint(Hint h, const std::string& text) override { SetHintText(h, text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  ReplaceAnswer AskReplace(const std::string& text, const std::string& caption) override;
  bool AskAlgorithm(AlgorithmQuestion which, const std::string& text, const std::string& caption) override;
  void SetCommandState(Operation op, bool enabled) override;
  void Beep() override { port_.Beep(); }

  // Commands.
  void EncryptClicked();  // encrypt, compress-then-encrypt, compress only, age
  void DecryptClicked();  // decrypt, decrypt-then-decompress, decompress, age
  // What a Yes to the cancel question of the busy command does (EncryptButton,
  // DecryptButton, SelfDecryptButton or a key-less item); nothing (false)
  // when that command is idle again, its run over.
  bool CancelCommand(Control busy);
  // Asks whether to cancel the run of the busy command `busy`. The question
  // is closed when the run ends while it is open; true only for a Yes while
  // the run still goes on.
  bool AskToCancel(Control busy, const std::string& text, const std::string& caption);

  // Key-less commands: the two popup items shown from the sixth use of the
  // information items on, and their resets.
  void RevealKeylessItems();
  bool KeylessItemsShown() const;
  void KeylessEncryptCommand();
  void KeylessDecryptCommand();
  void ResetKeylessEncryptItem();
  void ResetKeylessDecryptItem();

  // The busy marker of a command.
  int Tag(Control c) const;
  std::string StatusText() const;
  std::string HintText(Hint h) const;
  void SetHintText(Hint h, const std::string& text);

  // The radio group's compression ratio, 0..3.
  int RatioIndex() const { return ratio_index_; }
  void SetRatioIndex(int index);
  // How often the information items were used (the key-less items appear
  // at the sixth use; from the eighth the old ciphers are offered).
  int InfoClickCount() const { return info_clicks_; }

  // Key box text as GBK bytes (CR LF between lines); empty when the text
  // holds a character GBK cannot, which is never stored as anything else.
  std::string KeyBytes(Control box) const;


  // Faults on the files of the compression stage of every later run (tests).
  void SetFaultHooks(FaultHooks faults) { faults_ = faults; }
  // Replaces the random source (tests fix the draws).
  void SetRandomSource(std::unique_ptr<keyed::RandomSource> random) { random_ = std::move(random); }

  WindowPort& Port() { return port_; }
  UiThread& Ui() { return ui_; }

  // ---- Start-up, window events and settings (startup.cpp) ----------

  // The program file the start-up reads for a self-decrypting payload, and
  // the length of its program image (0: measured from the file as ELF).
  struct OwnFile {
    std::string path;
    int64_t image_size = 0;
  };
  // The program whose image the create command copies into every new
  // self-decrypting file, in the same form (image_size 0: measured from the
  // file as ELF). An empty path (the default) means the small program
  // vesk-sfx in the folder of the running program.
  void SetSfxProgram(const OwnFile& program);

  // The creation handler, in five groups that each swallow their failure
  // with a beep: reset the fields; all commands idle and every run flag
  // cleared; the own-file reading (the running program unless `own` names
  // another file); the stored settings; the command line (`args` without
  // the program name).
  void StartUp(const std::vector<std::string>& args, const std::optional<OwnFile>& own = std::nullopt);
  void ResetFields();
  // Reads the own file, keeps what its payload header says (OwnPayload),
  // shows the status hint and lets SetCommandState enable SelfDecryptButton/SeparateButton
  // when a payload follows the image; beeps when the reading failed.
  void ReadSelfDecryptInfo(const std::optional<OwnFile>& own = std::nullopt);
  // Measures the running program's image into ImageSize(); false (and the
  // designed value kept) when the program file is not a readable ELF image.
  bool MeasureImageSize();
  void LoadSettings();
  void ApplyCommandLine(const std::vector<std::string>& args);
  // The drop handler's logic: one file is shown and preselected in the next
  // open dialog; several files or folders become the sources of the next
  // file command (ChosenPaths), shown as text::FilesCount; true when anything
  // dropped exists.
  bool DropFiles(const std::vector<std::string>& paths);
  void CloseRequested();
  void Closing();
  void ShutDown();
  // After the run flags are cleared at close: lets running workers and a
  // running compression reach their next check and delete their partial
  // output, serving their calls to the user-interface thread meanwhile.
  // False when something still ran after `limit`.
  bool WaitForOperationsToEnd(std::chrono::milliseconds limit);

  // Settings handlers (user-interface thread).
  void RatioSelected(int index);  // the user selected ratio item `index`
  void KeyMaskingToggled(bool checked);
  void ResizeClicked(bool has_sender);
  void StoreSetting(std::string_view name, int32_t value);
  // The store the settings live in; until one is set they are kept in
  // memory only.
  void UseSettingsStore(settings::ValueStore& values);

  // The window's settable look and choices; OnSettingsChanged shows them
  // after every change (start-up, command line, the handlers).
  const settings::WindowSettings& Settings() const { return settings_; }
  std::function<void(const settings::WindowSettings&)> OnSettingsChanged;

  // ---- Appearance and small commands (small_commands.cpp) --------------------

  static constexpr Tr kAboutCaption = kProgramTitle;
  // How long a mouse move over the brand label holds the window's thread.
  static constexpr std::chrono::milliseconds kBrandPause{28};
  // The popup menu's place when the brand label is clicked, from the
  // window's top-left corner.
  static constexpr int kBrandMenuDx = 255, kBrandMenuDy = 55;

  // Double-click on the window or its top panel: the window colour dialog;
  // the colour is stored as "ctbjc" even when the dialog is cancelled.
  void WindowDoubleClicked();
  // The brand label: a click opens the popup menu, a double-click the
  // colour dialog for its font colour (stored as "vkys" in every case), a
  // mouse move changes its colour at random.
  void BrandClicked();
  void BrandDoubleClicked();
  void BrandHovered();
  // The key boxes' hints name the length of their text in GBK bytes.
  void EncryptionKeyClicked();
  void EncryptionKeyHovered();
  void DecryptionKeyClicked();
  void DecryptionKeyHovered();
  // The soft keyboard.
  void SoftKeyboardClicked();
  // Popup items: empty the key boxes; empty the clipboard of text; the help,
  // update and home pages; the About box.
  void ClearKeysClicked();
  void ClearClipboardClicked();
  void HelpClicked();
  void CheckForUpdatesClicked();
  void HomePageClicked();
  void AboutClicked();
  // Double-click on the status bar: shows its text in a message box.
  void StatusBarDoubleClicked();
  // A page that could not be opened: a message naming its file.
  void PageNotOpened(const std::string& path);

  // The About box's text, five lines separated by CR LF.
  static std::string AboutText();
  // The on-screen keyboards looked for, in order of preference.
  static const std::vector<std::string>& OnScreenKeyboards();
  // The first of OnScreenKeyboards() that is an executable file in a folder
  // of `path_variable` (folders separated by ":"; empty entries, which would
  // mean the working folder, are skipped).
  static std::optional<std::string> FindOnScreenKeyboard(std::string_view path_variable);

  // ---- Shell integration (desktop_commands.cpp) -------------------------------------

  // Popup items: the ".jmz" association, the context-menu items for files
  // and folders, and the removal of both and of the settings. Each shows
  // its result in the status line (and beeps when something failed).
  void RegisterFileTypeClicked();
  void AddContextMenuClicked();
  void UnregisterClicked();
  void PresentRegistration(shell::Action action, const shell::Result& result);
  // The program the entries start (the running program unless set), the
  // folders they go to (the user's unless set) and what the file managers
  // can load (this computer's unless set).
  void SetShellProgram(std::string program);
  void SetShellFolders(shell::Locations folders);
  void SetShellDesktop(shell::Desktop desktop);

  // A context-menu item's request (`vesk --encrypt|--decrypt PATH...`):
  // preselects the first file, makes the command ready and says in the
  // status line how many items were passed. The preselected file, empty
  // when no path names a file.
  std::string ApplyMenuRequest(const MenuRequest& request);
  // The last request and the command it made ready.
  const std::optional<MenuRequest>& PassedRequest() const { return passed_request_; }
  std::optional<Control> ReadyCommand() const { return ready_command_; }

  // Replaces the brand effect's random source: each call draws a value in
  // 0 .. 2^32 - 2. The default reseeds from the clock on every draw.
  void SetBrandRandomSource(std::function<uint32_t()> draw) { brand_draw_ = std::move(draw); }

  // ---- File shredder (shred_commands.cpp) -------------------------------------

  // The popup item: asks for a file and starts its shred, or stops the run.
  // `shown_as_stop`: the item read as the stop caption (shred::text::kBusyCaption) when the user chose it; a
  // run that has ended by then leaves the click without effect.
  void ShredClicked(bool shown_as_stop = false);
  // The popup item idle again, and every command with it.
  void ResetShredItem();
  // Stops the running shred for good; a later run has a stop of its own.
  // Used by the item's stop form.
  void StopShredding();

  // ---- Self-decrypting executables (self_extract_commands.cpp) ----------------

  // The three self-decrypting buttons; while its operation runs, each button
  // offers to cancel it instead.
  void CreateSelfDecryptingClicked();
  void SelfDecryptClicked();
  void SeparateClicked();
  // What the start-up read from the own file's payload header (the payload
  // commands work on it; a damaged header makes their runs end as completed
  // after damage warnings).
  const selfextract::SelfDecryptInfo& OwnPayload();

  // ---- The strong format: age v1 files (age_commands.cpp) ---------------------

  // The format choice (0 the compatible ".jmz", 1 ".age"), stored; with
  // ".age" the encrypt button writes an age file to the passphrase of
  // EncryptionKey, confirmed by DecryptionKey. The decrypt button recognises
  // an age file by itself whatever is chosen.
  void FormatSelected(int index);
  bool AgeFormatChosen() const { return settings_.Format == settings::FileFormat::Age; }
  // Popup items: a new identity file (its public key shown and copied), an
  // encryption to recipients' public keys, the identity files decryptions use.
  void GenerateIdentityClicked();
  void EncryptToRecipientsClicked();
  void ChooseIdentityFilesClicked();
  // EncryptionKey changed: the strength meter follows it while ".age" is chosen.
  void EncryptionKeyEdited();
  // zxcvbn's score 0..4 of a passphrase; unset, no meter is shown.
  std::function<int(const std::string&)> KeyStrengthEstimator;
  // The hint the meter shows beside a score.
  static const char* StrengthHint(int score);

  // The identity files every age decryption tries (never their contents,
  // and never stored in the settings): those chosen with the popup item and
  // those generated here.
  const std::vector<std::string>& AgeIdentityFiles() const { return age_identity_files_; }
  void SetAgeIdentityFiles(std::vector<std::string> files) { age_identity_files_ = std::move(files); }
  // log2 of scrypt's N for a new passphrase file (18, as the age tool).
  void SetAgeWorkFactor(int log2_n) { age_work_factor_ = log2_n; }
  // The title of the encrypt command's open dialog with ".age" chosen.
  static const char* AgeEncryptOpenTitle();
  // The key boxes take one line with ".age": Enter in the passphrase box
  // moves on to the confirmation box, in the confirmation box it starts the
  // encryption (the decryption while the passphrase box is empty).
  void KeyBoxEntered(Control box);
  // A paste the key box refused (`most`: its limit).
  enum class KeyPasteRefusal { kLineBreak, kTooLong };
  void KeyPasteRefused(KeyPasteRefusal why, int most);
  // The key boxes' "generate" action: a new strong passphrase in both boxes,
  // shown to copy.
  void GeneratePassphraseClicked();
  // Popup item: what an age file's header and sizes say, without a key.
  void InspectAgeFileClicked();
  // A plugin's requests and a protected key's passphrase, asked in dialogs.
  std::optional<std::string> AskText(const std::string& text, bool secret) override;
  std::optional<SecretText> AskSecret(const std::string& text) override;
  // A plugin's message: shown while the run waits on it, not at its end.
  void ReportNow(const std::string& text) override;
  // ---- Folders and several files (folder_commands.cpp, batch_commands.cpp) ----

  // The popup item that encrypts a folder: a folder chosen in a folder chooser goes
  // the encrypt button's way (the file dialogs choose files only).
  void EncryptFolderClicked();
  // What the source line shows for the chosen paths: the one path, or
  // text::FilesCount.
  static std::string SourceLine(const std::vector<std::string>& paths);
  // The paths dropped on the window or named on its command line, when they
  // are several or a folder: the next file command takes them instead of
  // asking (one file is preselected in the open dialog instead).
  const std::vector<std::string>& ChosenPaths() const { return chosen_paths_; }

 protected:
  void OnBarRange(int64_t max) override;
  void OnBarPosition(int64_t position) override;
  void SetControlEnabled(Control c, bool enabled) override;
  void SetControlTag(Control c, int tag) override;
  void SetControlCaption(Control c, const std::string& caption) override { port_.SetCaption(c, caption); }
  void StopCompression() override;
  // The running shred stops as well.
  void StopRuns() override;
  void ProcessPendingMessages() override;
  void OnRunEnded() override;

 private:
  void CancelEncrypt();
  void CancelDecrypt();

  // ---- The encrypt and decrypt buttons (file_commands.cpp) --------------------

  // The run of the button: its request, its plan, one command per item, its
  // stop; set on the user-interface thread under mutex_ while it runs.
  struct FileRun;
  std::shared_ptr<FileRun> file_run_;
  std::shared_ptr<FileRun> CurrentFileRun() const;
  // The keys of an age encryption, read from the key boxes (or the
  // recipients of the popup item) and checked before any dialog.
  bool TakeAgeKeys(commands::KeyMaterial& keys);
  // Whether the passphrase may be used: one line, and a weak one only when
  // the user says so (age_commands.cpp); refuses or cancels the run if not.
  bool AgePassphraseAccepted(const SecretText& passphrase);
  // The chosen identity files read once for a decryption's files, so that a
  // protected one is asked for once; null when there are none or one cannot
  // be read now (each run then reads them and says why).
  std::shared_ptr<age_files::IdentitySet> ReadAgeIdentities() const;
  // The save dialog of one source to encrypt, with the name its command proposes.
  static std::optional<FileDialogSpec> EncryptSaveDialog(const commands::FileRequest& request, const std::string& source);
  // What is offered after a decryption wrote a tar file.
  commands::UnpackOffer UnpackOffer();
  // Every source planned by the command of its format (the replace
  // questions asked), then run on a worker; the results end the run.
  void PlanFileRun(const std::shared_ptr<FileRun>& run);
  // The file the running command works on: the one chosen, or among
  // several the one at work.
  std::string FileAtWork() const;
  void StartFileRun(const std::shared_ptr<FileRun>& run);
  void RunFiles(const std::shared_ptr<FileRun>& run);
  RunResult RunFileItem(FileRun& run, const commands::PlannedItem& item);
  void EndFileRun(const std::shared_ptr<FileRun>& run, const commands::BatchSummary& summary);
  void ShowBatchSummary(const FileRun& run, const commands::BatchSummary& summary);
  void StopFileRun();
  // A run that failed before its worker started: gone, its stop requested.
  void AbandonFileRun();
  // The command of `op` shown busy, or idle again.
  void ShowFileRunBusy(Operation op);
  void ShowFileRunIdle(Operation op);
  // Among several files: the replace question with its answers for the
  // rest, the status line naming the file at work, the messages kept for
  // the summary.
  // Each gives nothing (false, the text unchanged) outside a batch.
  std::optional<bool> AskReplaceInBatch(const std::string& text, const std::string& caption);
  std::string BatchStatus(const std::string& text) const;
  bool NoteInBatch(const std::string& text);
  bool InBatch() const;
  // A message of a run of one file, from its worker: held until the run
  // goes on or ends (true), so that a run's last message is shown with its
  // command idle.
  bool HoldMessage(const std::string& text);
  void ShowHeldMessage();
  void ShowMessageNow(const std::string& text);

  std::vector<std::string> pending_recipients_;  // the recipients dialog's keys, for its own run
  std::vector<std::string> age_identity_files_;
  bool age_armor_ = false;
  int age_work_factor_ = 18;
  int age_max_work_factor_ = 22;  // the most a decryption accepts
  std::string recipients_text_;  // the recipients dialog's last text (public keys only)
  std::vector<std::string> chosen_paths_;
  int ratio_index_ = 2;
  int info_clicks_ = 0;
  FaultHooks faults_{};
  settings::WindowSettings settings_;
  std::optional<MenuRequest> passed_request_;
  std::optional<Control> ready_command_;

  // The key-less items (keyless_commands.cpp): the run of either, and its
  // item shown busy (its caption the cancel).
  void KeylessClicked(bool encrypt);
  void ShowKeylessBusy(bool encrypt);
  // The paths a file command works on: those chosen before (dropped or
  // named on the command line), else the open dialog's.
  std::vector<std::string> PickSources(FileDialogSpec open);

  // Reports a key GBK cannot hold; true when it did.
  bool RefuseUnusableKey(Control box);
  // Refuses a run before it starts: the outcome, then the message.
  void RefuseRun(const std::string& text);
  // Before a message: a run that has recorded its outcome shows its command
  // idle.
  void SettleEndedRun();
  // Closes the cancel question of `busy` when one is open.
  void CloseCancelQuestion(std::optional<Control> busy);

  WindowPort& port_;
  UiThread& ui_;
  std::unique_ptr<keyed::RandomSource> random_;

  // The file named by the status bar's hint, when it exists, becomes the
  // open dialog's file name.
  void PreselectFromHint(FileDialogSpec& setup) const;
  // Removes the key-less items once neither of their operations runs.
  void ApplyKeylessRemoval();

  // Start-up and settings (startup.cpp).
  settings::SettingsStore& Store();
  void SettingsChanged();
  settings::ValueStore* values_ = nullptr;
  settings::MemoryStore memory_values_;
  std::unique_ptr<settings::SettingsStore> store_;

  // Appearance and small commands (small_commands.cpp).
  void ShowKeyLength(Control box, const char* unit);
  void OpenPage(const char* path);
  std::function<uint32_t()> brand_draw_;

  // Shell integration (desktop_commands.cpp): what the items register and
  // where; one item's run.
  struct ShellSetup {
    std::string program;
    std::optional<shell::Locations> folders;
    std::optional<shell::Desktop> desktop;
  };
  ShellSetup shell_setup_;
  void Register(shell::Action action);

  // File shredder (shred_commands.cpp): runs the shred command for `file` on
  // a worker. The stops are counted, so that a stopped run knows the item is
  // no longer its own.
  void StartShred(const std::string& file);
  std::atomic<uint64_t> shred_run_{0};
  // Self-decrypting executables (self_extract_commands.cpp): the family's
  // state, the window as a run's context, and the run of a command on a
  // worker, whose result ends the run.
  struct SelfExtractRun;
  class SelfExtractContext;
  std::shared_ptr<SelfExtractRun> self_extract_;
  SelfExtractRun& SelfExtract();
  // The own file (empty: the running program) and what its header says.
  void SetOwnFile(const std::string& path, const selfextract::SelfDecryptInfo& info);
  // The program file the payload commands read.
  std::string OwnProgramFile();
  // Requests the stop of the family's running command.
  void StopSelfExtract();
  template <class Request>
  void StartSelfExtractRun(Operation op, commands::Command<Request>& command, Request request,
                           commands::PlannedItem item);
  void EndSelfExtractRun(Operation op, const RunResult& result, SelfExtractContext& context);
  // Asks whether to cancel the family's running command `op` (its button
  // `button`); on yes stops it and shows `cancelled`.
  void CancelSelfExtractRun(Control button, Operation op, const std::string& question, const char* caption,
                            const char* cancelled);

  mutable std::mutex mutex_;  // guards the fields below, touched from workers
  StopSource shred_stop_;  // the stop of the latest shred
  bool keyless_shown_ = false;
  bool commands_idle_ = true;  // as the command state last set the command items
  bool keyless_removal_pending_ = false;
  std::map<Control, int> tags_;
  // The command whose cancel question is open.
  std::optional<Control> cancel_question_;
  std::string status_text_;
  std::string progress_hint_, status_hint_;
};

}  // namespace vesk
