// Pieces the benchmark programs share: a reporter without a window and the
// timing helpers.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "core/reporting.h"

namespace vesk::bench {

// A reporter without a window: it remembers the last status line only.
class QuietReporter : public Reporter {
 public:
  void ReportMessage(const std::string& text) override { status = text; }
  void ShowStatus(const std::string& text) override { status = text; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::string status;

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
  void SetControlEnabled(Control, bool) override {}
  void SetControlTag(Control, int) override {}
  void SetControlCaption(Control, const std::string&) override {}
};

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time (user + system) used so far by this process (all its
// threads) or by its waited-for children.
inline double CpuSeconds(int who) {
  rusage u {};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace vesk::bench
