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
#include "compress/compressor.h"
#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/random_source.h"
#include "desktop/shell_integration.h"
#include "selfextract/layout.h"
#include "settings/settings.h"
#include "settings/memory_store.h"
#include "threads/ui_thread.h"
#include "threads/worker.h"

namespace vesk {

class WindowLogic : public Reporter, public ControlSink, public keyed::DecryptHost {
 public:
  static constexpr const char* kProgramTitle = text::kProgramTitle;
  static constexpr const char* kMessageCaption = text::kMessageCaption;

  WindowLogic(WindowPort& port, UiThread& ui);
  ~WindowLogic() override;

  // Reporting interface.
  void ReportMessage(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void ShowHint(Hint h, const std::string& text) override { SetHintText(h, text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  ReplaceAnswer AskReplace(const std::string& text, const std::string& caption) override;
  bool AskAlgorithm(AlgorithmQuestion which, const std::string& text, const std::string& caption) override {
    return port_.AlgorithmQuestion(which, text, caption);
  }
  void SetCommandState(Operation op, bool enabled) override;
  void ReportStoppedByFailure(const std::string& text) override;
  void Beep() override { port_.Beep(); }

  // Commands.
  void EncryptClicked();  // encrypt, compress-then-encrypt, compress only
  void DecryptClicked();  // decrypt, decrypt-then-decompress, decompress
  // Decompresses a ".zak" file directly, as the decrypt command's
  // decompression stage does, without a key (command-line front end).
  void DecompressCommand(const std::string& source, const std::string& target);
  // What a Yes to the cancel question of the busy command does (EncryptButton,
  // DecryptButton, SelfDecryptButton or a key-less item); nothing (false)
  // when that command is idle again, its run over.
  bool CancelCommand(Control busy);
  // Asks whether to cancel the run of the busy command `busy`. The question
  // is closed when the run ends while it is open; true only for a Yes while
  // the run still goes on.
  bool AskToCancel(Control busy, const std::string& text, const std::string& caption);

  // Compression events, on the user-interface thread.
  void CompressionBegan(int64_t nMax);
  void CompressionProgressed(int64_t nHasDone);
  void CompressionEnded(bool nNormal, float nZipRate);
  // The check pass of a decompression: `checked` of `size` compressed bytes.
  void CompressionChecked(int64_t checked, int64_t size);

  // What the worker of an encryption or a decryption runs, with the stop
  // token of the run that started it.
  void EncryptEngine(const StopToken& stop);
  void DecryptFile(const StopToken& stop);

  // Key-less commands: the two popup items shown from the sixth use of the
  // information items on, and their resets.
  void RevealKeylessItems();
  bool KeylessItemsShown() const;
  void KeylessEncryptCommand();
  void KeylessDecryptCommand();
  void ResetKeylessEncryptItem();
  void ResetKeylessDecryptItem();

  // Runs the re-encryption check on the chosen file; when the file may not
  // be encrypted again, clears KeepRunning and ends the run with the
  // check's refusal, else sets LayerNumber.
  void CheckReencryption(const std::string& path);

  // What the decryption engine asks of the window (DecryptHost).
  std::string DecryptionKey() override { return KeyBytes(Control::DecryptionKey); }
  void SetHint(Hint h, const std::string& text) override { SetHintText(h, text); }
  void OutputChosen(const std::string& path) override { OutputPath = path; }
  bool StartDecompression(const std::string& source, const std::string& dest, bool delete_zak_after) override;
  void DecompressionFollows(int64_t compressed) override;
  void SourceDamaged() override { NoteDamage(); }

  // The busy marker of a command.
  int Tag(Control c) const;
  std::string StatusText() const;
  std::string HintText(Hint h) const;
  void SetHintText(Hint h, const std::string& text);

  // The radio group's compression ratio, 0..3.
  int RatioIndex() const { return static_cast<int>(Compression.ZipLevel); }
  void SetRatioIndex(int index);

  // Key box text as GBK bytes (CR LF between lines); empty when the text
  // holds a character GBK cannot, which is never stored as anything else.
  std::string KeyBytes(Control box) const;

  // Working fields shared by the commands and engines.
  std::string ChosenFile, SourcePath, TargetPath;
  std::string OriginalExt;  // UTF-8, with its dot
  uint8_t PreZipLevel = 0;
  uint8_t LayerNumber = 1;
  uint8_t InfoClickCount = 0;
  bool DeleteZakAfterUnzip = false;
  // Whether the target of the running encryption was there when the replace
  // question was asked (and the user agreed to replace it).
  bool ReplaceTarget = false;
  // The file the last command writes (shown by the command-line front end).
  std::string OutputPath;
  // The save dialog's answer names the compressed file itself, instead of
  // the name the compress-only road derives from it (command-line front end).
  bool SaveNameIsFinal = false;

  Compressor Compression;

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
  settings::WindowSettings Settings;
  std::function<void(const settings::WindowSettings&)> OnSettingsChanged;

  // ---- Appearance and small commands (small_commands.cpp) --------------------

  static constexpr const char* kAboutCaption = kProgramTitle;
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
  std::optional<MenuRequest> PassedRequest;
  std::optional<Control> ReadyCommand;

  // Replaces the brand effect's random source: each call draws a value in
  // 0 .. 2^32 - 2. The default reseeds from the clock on every draw.
  void SetBrandRandomSource(std::function<uint32_t()> draw) { brand_draw_ = std::move(draw); }

  // ---- File shredder (shred_commands.cpp) -------------------------------------

  // The popup item: asks for a file and starts its shred, or stops the run.
  void ShredClicked();
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
  bool AgeFormatChosen() const { return Settings.Format == settings::FileFormat::Age; }
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

  // What the age commands use besides the key boxes. AgeRecipients: the
  // next age encryption goes to these "age1..." keys instead of a passphrase
  // (vesk-cli's --recipient; the popup item sets them for its own run).
  // AgeIdentityFiles: the identity files every age decryption tries (never
  // their contents, and never stored in the settings).
  std::vector<std::string> AgeRecipients;
  std::vector<std::string> AgeIdentityFiles;
  bool AgeArmor = false;
  int AgeWorkFactor = 18;     // log2 of scrypt's N for a new passphrase file
  int AgeMaxWorkFactor = 22;  // the most a decryption accepts
  // The proposed name of an age file's plaintext: without ".age", else with ".out".
  static std::string AgePlainName(const std::string& age_path);
  // The title of the encrypt command's open dialog with ".age" chosen.
  static const char* AgeEncryptOpenTitle();
  // ---- Folders and several files (folder_commands.cpp, batch_commands.cpp) ----

  // The folder the running encryption packs; empty when it encrypts a file.
  std::string FolderSource;
  // The popup item that encrypts a folder: a folder chosen in a folder chooser goes
  // the encrypt button's way (the file dialogs choose files only).
  void EncryptFolderClicked();
  // What the source line shows for the chosen paths: the one path, or
  // text::FilesCount.
  static std::string SourceLine(const std::vector<std::string>& paths);
  // Unpacks the tar file `source` into the new folder `target` (the
  // command-line front end's unpack command).
  void UnpackCommand(const std::string& source, const std::string& target);
  // Something of the last command is still to follow (the unpacking after a
  // decryption, the next file of several): a front end waits for it as for a
  // running command.
  bool FollowUpPending() const;
  // The paths dropped on the window or named on its command line, when they
  // are several or a folder: the next file command takes them instead of
  // asking (one file is preselected in the open dialog instead).
  std::vector<std::string> ChosenPaths;

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

  // The age commands (age_commands.cpp): the encrypt button with ".age"
  // chosen, and the decrypt button once it found an age file.
  // The keys of an age encryption, read from the key boxes (or taken from
  // AgeRecipients) once per command and checked before any dialog; each run
  // holds its own copy, and the command drops this one when it has started
  // its last run.
  struct AgeKeys;
  std::shared_ptr<const AgeKeys> age_keys_;
  bool TakeAgeKeys();
  // One file or folder into an age file, from its save dialog on.
  void AgeEncryptOne(const std::string& picked, bool ask_target);
  void AgeDecryptChosen(const std::string& source, bool ask_target);
  std::string recipients_text_;  // the recipients dialog's last text (public keys only)
  // The file commands after their open dialog: one file or folder, its
  // output named by the save dialog (`ask_target`) or as proposed.
  void EncryptOne(const std::string& picked, bool ask_target);
  void DecryptOne(const std::string& picked, bool ask_target);
  void KeylessEncryptOne(const std::string& picked, bool ask_target);
  void KeylessDecryptOne(const std::string& picked, bool ask_target);
  // The running key-less command (keyless_commands.cpp): planned (false
  // when the plan calls it off), run on a worker that records its result
  // and gives the item back, stopped by the item's cancel and by StopAll.
  struct KeylessRun;
  std::shared_ptr<KeylessRun> keyless_run_;  // set on the user-interface thread under mutex_
  bool StartKeylessRun(const std::shared_ptr<KeylessRun>& run);
  void RunKeyless(const std::shared_ptr<KeylessRun>& run, bool encrypt);
  void StopKeylessRun();
  // The paths a file command works on: those chosen before (dropped or
  // named on the command line), else the open dialog's.
  std::vector<std::string> PickSources(FileDialogSpec open);

  // ---- Folders (folder_commands.cpp) -----------------------------------------

  // The encrypt command for a folder, from its save dialog on.
  void EncryptFolder(const std::string& folder, bool ask_target);
  // A folder's path without its final "/" (its full path for "." and the
  // like): the stem of the names proposed for its container.
  static std::string FolderStem(const std::string& folder);
  // What the worker of a folder's encryption runs.
  void PackFolderWorker();
  // After a decryption: offers to unpack the tar file it wrote, then `then`.
  void OfferUnpack(std::function<void()> then);
  void StartUnpack(const std::string& tar, const std::string& folder, bool remove_tar);

  // The end of a run whose engine returned its result (on its worker): the
  // command `op` idle again, the result recorded, its ending shown.
  void EndEngineRun(const RunResult& result, Operation op);
  // The same for the keyed engines, whose decryption may hand its run over
  // to decompression, and whose run stopped by `stop` was ended by the stop.
  void EndKeyedRun(const RunResult& result, Operation op, const StopToken& stop);

  // What follows a run, once nothing of it runs any more: the workers of
  // the file commands are counted, and each end of a part of a run (a
  // worker, a compression) looks whether the follow-up may start.
  void StartCommandWorker(std::function<void()> body);
  void PostRunCheck();
  void RunCheck();
  std::function<void()> after_run_;  // user-interface thread
  std::atomic<int> command_workers_{0};
  // Posted calls look here first: the window may be gone when they run.
  std::shared_ptr<char> alive_ = std::make_shared<char>();

  // ---- Several files (batch_commands.cpp) ------------------------------------

  struct Batch;
  enum class BatchCommand { kEncrypt, kDecrypt, kKeylessEncrypt, kKeylessDecrypt };
  void StartBatch(BatchCommand command, std::vector<std::string> paths);
  void NextBatchItem();
  void EndBatch();
  bool InBatch() const;
  void MarkBatchCancelled();
  // The replace question of a batch, with its answers for the rest.
  bool AskReplaceInBatch(const std::string& text, const std::string& caption);
  // The status line among several files names the file; a message is kept
  // for the summary.
  std::string BatchStatus(const std::string& text) const;
  void NoteInBatch(const std::string& text);
  std::unique_ptr<Batch> batch_;

  // ---- Runs of the compression component (compression_commands.cpp) -----------------

  // What one run of Compression has made and what becomes of it. Every file named
  // here was created by the run itself.
  struct ZipRun {
    bool decompress = false;
    bool began = false;      // OnBegin arrived
    bool cancelled = false;  // stopped by the user's cancel, which reports itself
    std::string target;      // the output the staging file becomes; empty for an intermediate copy
    mode_t mode = 0644;      // permission bits of the output
    bool replace = false;    // the user agreed to replace what is at the target
    // Stages of the run's bar a decompression fills: its check pass, then
    // its output pass.
    std::size_t check_stage = 0, write_stage = 0;
  };
  // Starts Compression compressing `source` into a file of its own made here:
  // the staging file of `target` (mode and replace as in ZipRun), or, with
  // an empty target, a unique ".zak" in the temporary folder for encryption.
  void StartCompression(const std::string& source, const ZipRun& run);
  // The end of a run: commits or deletes what it wrote, reports, sets the
  // commands idle. `failure` is the reason of a run that could not start.
  void EndOfZipRun(bool normal, std::string failure);
  // Why a run failed, found out before its partial file is deleted.
  std::string ZipFailure(const ZipRun& run) const;
  // Stops a running compression as the user's cancel.
  void StopZipForCancel();
  // Clears what an earlier run may have left set; every command start calls it.
  void ResetRunFlags();
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
  ZipRun zip_;  // the current run of Compression (user-interface thread)
  // The user cancelled the decryption: its engine's stop report is no error.
  std::atomic<bool> decrypt_cancelled_{false};
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

  mutable std::mutex mutex_;  // guards the fields below, touched from workers
  StopSource shred_stop_;  // the stop of the latest shred
  bool keyless_shown_ = false;
  bool commands_idle_ = true;  // as the command state last set the command items
  // The running compression makes the temporary copy of an encryption.
  bool compressing_for_encryption_ = false;
  bool keyless_removal_pending_ = false;
  std::map<Control, int> tags_;
  // The command whose cancel question is open.
  std::optional<Control> cancel_question_;
  std::string status_text_;
  std::string progress_hint_, status_hint_;
};

}  // namespace vesk
