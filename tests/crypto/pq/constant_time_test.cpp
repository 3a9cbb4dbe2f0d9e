// Secret-independent timing, checked the ctgrind way: the probe runs key
// generation, encapsulation and decapsulation with every secret marked
// undefined under Valgrind's memcheck, which reports each branch ("a
// conditional jump") and each memory index ("use of uninitialised value")
// that depends on a secret. Any such report in our code fails the test.
// libcrypto's own decisions (X25519's refusal of an all-zero result, which
// only a small-order share makes) are not ours and are left out. Skips
// without Valgrind.
#include <gtest/gtest.h>

#include <sstream>

#include "pq_test_util.h"
#include "support/process.h"

namespace vesk::pq {
namespace {

#ifndef VESK_PQ_CT_PROBE
#define VESK_PQ_CT_PROBE ""
#endif

TEST(ConstantTime, NoBranchOrIndexDependsOnASecret) {
  const std::string valgrind = testing::FindProgram("valgrind");
  if (valgrind.empty()) GTEST_SKIP() << "Valgrind is not installed";
  if (std::string(VESK_PQ_CT_PROBE).empty())
    GTEST_SKIP() << "the probe was not built (no valgrind/memcheck.h when configuring, or a sanitizer build)";
  const auto run = vesk::testing::RunProcess(
      {valgrind, "--tool=memcheck", "--num-callers=40", "--error-limit=no", VESK_PQ_CT_PROBE});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_NE(run.out.find("0 failures"), std::string::npos) << run.out;
  // Each report: its kind on one line, then its frames ("at" the innermost,
  // "by" the callers).
  std::istringstream lines(run.err);
  std::string line, kind, ours;
  int reports = 0;
  for (bool first_frame = false; std::getline(lines, line);) {
    const std::size_t at = line.find("== ");
    const std::string text = at == std::string::npos ? line : line.substr(at + 3);
    if (text.find("depends on uninitialised") != std::string::npos ||
        text.find("Use of uninitialised value") != std::string::npos) {
      kind = text;
      first_frame = true;
      ++reports;
    } else if (first_frame && text.find(" at 0x") != std::string::npos) {
      first_frame = false;
      if (text.find("vesk::") != std::string::npos) ours += kind + "\n  " + text + "\n";
    }
  }
  EXPECT_EQ(ours, "") << "secret-dependent code of ours:\n" << run.err;
  RecordProperty("libcrypto_reports", reports);
}

}  // namespace
}  // namespace vesk::pq
