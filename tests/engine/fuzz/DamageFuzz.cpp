// libFuzzer harness of damage done to a tagged table's index, judged by the answers the
// engine gives against a scan of the table (`make fuzz`). A wrong answer that the engine
// did not report is a finding: the harness stops with it.
#include <cstdio>
#include <cstdlib>

#include "tests/engine/fuzz/DamageFuzzBody.h"
#include "tests/support/FuzzLimits.h"

namespace {
void JudgeOrStop(const uint8_t* data, size_t size) {
  const std::string verdict = xbefuzz::RunDamage(data, size);
  if (verdict.empty()) return;
  std::fprintf(stderr, "wrong answer from a damaged index: %s\n", verdict.c_str());
  std::abort();
}
}  // namespace

ORV_FUZZ_PLAIN_HARNESS(JudgeOrStop, 4096)
