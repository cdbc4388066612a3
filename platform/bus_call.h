#pragma once

// Questions to other processes on D-Bus, asked without waiting for the answer.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

// sd-bus's own; only the code that builds a call's message sees more of it.
struct sd_bus_message;

namespace vrnskdm::platform {

// How long another process has to answer, from the moment a question is sent
// to its answer, connecting to the bus included: a bus or a peer that hangs
// must not hold anything up for longer.
inline constexpr std::chrono::milliseconds answer_timeout{2000};

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

// Why the work of a thread of the watchdog's own broke off, from the exception
// being handled (std::bad_alloc gives "out of memory"), so that it is told of
// instead of ending the watchdog; made without asking for memory where memory
// ran out. Only inside a catch block.
std::string broken_off_reason() noexcept;

enum class bus_kind { system, session };

struct bus_method {
  const char* destination;
  const char* path;
  const char* interface;
  const char* member;
};

// How a method call ended.
struct bus_reply {
  bool answered = false;  // and without an error
  // Why not, for the administrator: the error's name and message, "no answer
  // within 2 s", "no system bus" or "no session bus".
  std::string failure;
  // The reply's first argument, when it is a string or an unsigned number.
  std::string text;
  std::uint32_t number = 0;
};

// One D-Bus method call, made on a thread and a connection of its own, so that
// the window's thread never waits on another process: it starts the call, goes
// on, and takes the reply once the bell has rung. One deadline covers
// connecting, the handshake with the bus and the answer: sd-bus's own call
// timeout bounds only the last of them, and a hung bus daemon holds a
// connection in its handshake for sd-bus's 90-second authentication timeout.
class bus_call {
 public:
  // Appends the call's arguments to its message; returns what sd-bus returned.
  using arguments = std::function<int(sd_bus_message*)>;

  // The bell rings when the reply is there; it may be null. first, when given,
  // runs on the call's thread before the call: work that must precede the
  // call, and may wait, without holding up the caller, for first_bound at
  // most, which the deadline includes: the reply is there within first_bound
  // and timeout of now. An exception on the call's thread ends the call, its
  // reason the reply's failure.
  bus_call(bus_kind bus, bus_method method, arguments append, answer_bell* bell,
           std::chrono::milliseconds timeout = answer_timeout,
           std::function<void()> first = nullptr,
           std::chrono::milliseconds first_bound = std::chrono::milliseconds{0});
  // Never waits: a call still on its way is left to end by its deadline, and
  // its reply forgotten.
  ~bus_call();
  bus_call(const bus_call&) = delete;
  bus_call& operator=(const bus_call&) = delete;

  // The reply once the call has ended, then nothing again; never waits.
  std::optional<bus_reply> take();

  // The reply, waiting for it as long as given at most: only for a program
  // that is ending, and has no event loop left to wait on.
  std::optional<bus_reply> wait(std::chrono::milliseconds longest);

 private:
  struct outcome;

  std::shared_ptr<outcome> outcome_;
  std::thread thread_;
  bool taken_ = false;
};

}  // namespace vrnskdm::platform
