// Key texts for the command line: read from a file, an environment variable
// or a prompt, and shaped the way the key boxes hold them.
#pragma once

#include <optional>
#include <string>

namespace vesk::cli {

// Largest key the key boxes accept, in characters (a CR LF counts as two).
inline constexpr std::size_t kMaxKeyCharacters = 1028;

// Drops one final line break and turns every remaining line break into CR LF.
std::string NormalizeKeyText(std::string text);

// Characters (code points) in UTF-8 text.
std::size_t CharacterCount(const std::string& utf8);

// Where a key comes from; an empty source means "prompt when interactive".
struct KeySource {
  std::string file;
  std::string env;
};

// Reads the key: from the file (a UTF-8 byte-order mark dropped), from the environment variable, or, when
// neither is named and standard input is a terminal, from a prompt without
// echo (asked twice when `confirm`). nullopt when there is no key; throws
// std::runtime_error with a message for the user on a read failure.
std::optional<std::string> ReadKey(const KeySource& source, const std::string& prompt, bool confirm);

// Reads an age passphrase from the same places: the text exactly as given
// (a key file's byte-order mark and one final line break dropped, nothing
// converted: no GBK, no CR LF). nullopt when there is none; throws
// std::runtime_error as ReadKey does.
// `typed_empty`, when given, is set when the prompt was answered with an
// empty line (then nothing is asked again).
std::optional<std::string> ReadPassphrase(const KeySource& source, const std::string& prompt, bool confirm,
                                          bool* typed_empty = nullptr);

// The keys and passphrases read for one run; wiped when it goes.
struct KeyTexts {
  std::string encrypt_key;  // UTF-8 text of the encryption key
  std::string decrypt_key;  // UTF-8 text of the decryption key
  // The same keys read as age passphrases: the text exactly as given.
  std::string encrypt_passphrase;
  std::string decrypt_passphrase;

  KeyTexts() = default;
  KeyTexts(const KeyTexts&) = delete;
  KeyTexts& operator=(const KeyTexts&) = delete;
  ~KeyTexts();
};

// A line typed at the terminal after `prompt` (on standard error), without
// echo when `hide`; nullopt without a terminal.
std::optional<std::string> AskLine(const std::string& prompt, bool hide);

// Standard input is the data of the run: prompts and questions are
// answered at the terminal itself (/dev/tty) instead.
void SetStandardInputIsData();
bool StandardInputIsData();

// Drops one final line break ("\r\n", "\n" or "\r") and nothing else.
std::string WithoutFinalLineBreak(std::string text);

}  // namespace vesk::cli
