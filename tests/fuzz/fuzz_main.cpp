// One fuzzer binary for each target, chosen when it is built.
#include <cstddef>
#include <cstdint>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vrnskdm::fuzzing::VRNSKDM_FUZZ_TARGET(vrnskdm::fuzzing::input{data, size});
  return 0;
}
