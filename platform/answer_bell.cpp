#include "answer_bell.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace vrnskdm::platform {

answer_bell::answer_bell() : descriptor_{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)} {}

answer_bell::~answer_bell() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void answer_bell::ring() {
  const std::uint64_t one = 1;
  if (descriptor_ >= 0) static_cast<void>(::write(descriptor_, &one, sizeof one));
}

void answer_bell::silence() {
  std::uint64_t rung = 0;
  if (descriptor_ >= 0) static_cast<void>(::read(descriptor_, &rung, sizeof rung));
}

}  // namespace vrnskdm::platform
