// What a run asks of the person who started it: a message to acknowledge and
// yes/no questions. The window answers with dialogs, vesk-cli from its
// options or the terminal, tests from a script. Calls may come from a worker
// thread and block until answered.
#pragma once

#include <optional>
#include <string>

#include "core/secret_text.h"

namespace vesk {

// The two questions that choose an older container algorithm: the old one,
// and then the older one.
enum class AlgorithmQuestion { kOld, kOlder };

// The answer to a replace question while several files are worked on:
// besides yes and no, the answer for every further file.
enum class ReplaceAnswer { kYes, kNo, kYesToAll, kNoToAll };

class Prompter {
 public:
  Prompter() = default;
  virtual ~Prompter() = default;
  Prompter(const Prompter&) = delete;
  Prompter& operator=(const Prompter&) = delete;

  // A message the user acknowledges; the text then becomes the status line.
  virtual void ReportMessage(const std::string& text) = 0;
  // A message that matters while the run goes on (a plugin asking for a
  // touch of its key): shown at once, never kept for the run's end.
  virtual void ReportNow(const std::string& text) { ReportMessage(text); }
  // A yes/no question; true for yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // A yes/no question the request answered already: shown with its answer
  // where a front end shows such answers, never asked. Nothing by default.
  virtual void ShowAnswered(const std::string& /*text*/, const std::string& /*caption*/, bool /*answer*/) {}
  // One of the algorithm questions, which a front end may answer from a
  // setting of its own instead of asking.
  virtual bool AskAlgorithm(AlgorithmQuestion /*which*/, const std::string& text, const std::string& caption) {
    return AskYesNo(text, caption);
  }
  // The replace question; a front end that works on several files offers the
  // answers for all of them.
  virtual ReplaceAnswer AskReplace(const std::string& text, const std::string& caption) {
    return AskYesNo(text, caption) ? ReplaceAnswer::kYes : ReplaceAnswer::kNo;
  }
  // A line of text the user types (a secret one, such as a PIN, without
  // echo); nullopt when it cannot be asked (the default) or is not given.
  virtual std::optional<std::string> AskText(const std::string& /*text*/, bool /*secret*/) { return std::nullopt; }
  // A secret, such as the passphrase of a protected key, typed without being
  // shown; nullopt when nobody can be asked or nothing was typed. A front
  // end that cannot ask keeps the default.
  virtual std::optional<SecretText> AskSecret(const std::string& /*text*/) { return std::nullopt; }
};

}  // namespace vesk
