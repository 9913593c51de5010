// libFuzzer target: arbitrary bytes as a StartUp command, through the
// command-line split and the report on the memory machine. Aborts with the
// failed check and the input's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "startup_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static cu::fuzz::FuzzWorld world;
  // Longer commands add nothing the heuristic has not seen in shorter ones.
  if (size > 512) return 0;
  const cu::fuzz::FuzzWorld::Outcome outcome =
      world.Check(std::string(reinterpret_cast<const char*>(data), size));
  if (!outcome.failure.empty()) {
    std::fprintf(stderr, "%s\n", outcome.failure.c_str());
    std::abort();
  }
  return 0;
}
