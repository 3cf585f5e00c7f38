// libFuzzer's entry for one target; FUZZ_ENTRY names it (set by the build).
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FUZZ_ENTRY(data, size);
}
