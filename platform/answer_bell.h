#pragma once

namespace vrnskdm::platform {

// Rings when an answer from another process has come, so that the window's
// event loop can wait on one descriptor instead of on the other process: the
// descriptor becomes readable when rung. Rung from any thread.
class answer_bell {
 public:
  answer_bell();
  ~answer_bell();
  answer_bell(const answer_bell&) = delete;
  answer_bell& operator=(const answer_bell&) = delete;

  // -1 where no descriptor could be had; the answers then wait for the next
  // moment the watchdog looks anyway.
  int descriptor() const { return descriptor_; }

  void ring();

  // Makes the descriptor unreadable again, for the next ring.
  void silence();

 private:
  int descriptor_;
};

}  // namespace vrnskdm::platform
