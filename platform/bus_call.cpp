#include "bus_call.h"

#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>

namespace vrnskdm::platform {

answer_bell::answer_bell() : descriptor_{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)} {}

answer_bell::~answer_bell() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void answer_bell::ring() {
  if (descriptor_ >= 0) ::eventfd_write(descriptor_, 1);
}

void answer_bell::silence() {
  eventfd_t rung = 0;
  if (descriptor_ >= 0) ::eventfd_read(descriptor_, &rung);
}

std::string broken_off_reason() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "out of memory";  // short enough to need no memory of its own
  } catch (const std::exception& error) {
    try {
      return error.what();
    } catch (...) {
      return "out of memory";
    }
  } catch (...) {
    return "unknown error";
  }
}

using std::chrono::steady_clock;

struct bus_call::outcome {
  std::mutex lock;
  std::condition_variable ended;
  bool over = false;
  bool forgotten = false;
  answer_bell* bell = nullptr;
  bus_reply reply;
};

namespace {

// Closing without flushing: sd_bus_flush would first wait for the connection's
// handshake, with no bound but sd-bus's own.
struct bus_closer {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct message_releaser {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

struct waiting_call {
  bool over = false;
  bus_reply& reply;
};

void read_first_argument(sd_bus_message* message, bus_reply& reply) {
  char type = 0;
  if (sd_bus_message_peek_type(message, &type, nullptr) <= 0) return;
  if (type == 's') {
    const char* text = nullptr;
    if (sd_bus_message_read_basic(message, 's', &text) >= 0 && text != nullptr) reply.text = text;
  } else if (type == 'u') {
    sd_bus_message_read_basic(message, 'u', &reply.number);
  }
}

int on_reply(sd_bus_message* message, void* userdata, sd_bus_error* /*unused*/) {
  auto& call = *static_cast<waiting_call*>(userdata);
  call.over = true;
  if (sd_bus_message_is_method_error(message, nullptr)) {
    const sd_bus_error* error = sd_bus_message_get_error(message);
    call.reply.failure = std::string{error->name != nullptr ? error->name : "error"} + ": " +
                         (error->message != nullptr ? error->message : "");
    return 0;
  }
  call.reply.answered = true;
  read_first_argument(message, call.reply);
  return 0;
}

std::string no_answer(std::chrono::milliseconds timeout) {
  if (timeout.count() % 1000 != 0) return "no answer within " + std::to_string(timeout.count()) + " ms";
  return "no answer within " + std::to_string(timeout.count() / 1000) + " s";
}

bus_reply make_call(bus_kind kind, bus_method method, const bus_call::arguments& append,
                    steady_clock::time_point deadline, std::chrono::milliseconds timeout) {
  bus_reply reply;
  const char* const lost = kind == bus_kind::system ? "no system bus" : "no session bus";
  sd_bus* raw_bus = nullptr;
  const int opened = kind == bus_kind::system ? sd_bus_open_system(&raw_bus) : sd_bus_open_user(&raw_bus);
  if (opened < 0) {
    reply.failure = lost;
    return reply;
  }
  const std::unique_ptr<sd_bus, bus_closer> bus{raw_bus};
  sd_bus_message* raw_message = nullptr;
  if (sd_bus_message_new_method_call(bus.get(), &raw_message, method.destination, method.path,
                                     method.interface, method.member) < 0) {
    reply.failure = lost;
    return reply;
  }
  const std::unique_ptr<sd_bus_message, message_releaser> message{raw_message};
  waiting_call call{false, reply};
  if ((append && append(message.get()) < 0) ||
      sd_bus_call_async(bus.get(), nullptr, message.get(), on_reply, &call, 0) < 0) {
    reply.failure = lost;
    return reply;
  }
  while (!call.over) {
    const auto left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) {
      reply.failure = no_answer(timeout);
      return reply;
    }
    const int processed = sd_bus_process(bus.get(), nullptr);
    if (processed < 0) {
      reply.failure = lost;
      return reply;
    }
    if (processed > 0) continue;
    const auto wait_us = std::chrono::ceil<std::chrono::microseconds>(left).count();
    const int waited = sd_bus_wait(bus.get(), static_cast<std::uint64_t>(wait_us));
    if (waited < 0 && waited != -EINTR) {
      reply.failure = lost;
      return reply;
    }
  }
  return reply;
}

}  // namespace

bus_call::bus_call(bus_kind bus, bus_method method, arguments append, answer_bell* bell,
                   std::chrono::milliseconds timeout, std::function<void()> first,
                   std::chrono::milliseconds first_bound)
    : outcome_{std::make_shared<outcome>()} {
  outcome_->bell = bell;
  // Counted from here, not from when the thread gets going, so that a waiter
  // that counts from now waits long enough.
  const steady_clock::time_point deadline = steady_clock::now() + first_bound + timeout;
  try {
    thread_ = std::thread{[bus, method, append = std::move(append), deadline, timeout,
                           first = std::move(first), shared = outcome_] {
      bus_reply reply;
      try {
        if (first) first();
        reply = make_call(bus, method, append, deadline, timeout);
      } catch (...) {
        reply = bus_reply{};
        reply.failure = broken_off_reason();
      }
      const std::lock_guard hold{shared->lock};
      shared->reply = std::move(reply);
      shared->over = true;
      shared->ended.notify_all();
      if (!shared->forgotten && shared->bell != nullptr) shared->bell->ring();
    }};
  } catch (const std::system_error& error) {
    outcome_->reply.failure = std::string{"not asked: "} + error.what();
    outcome_->over = true;
  }
}

bus_call::~bus_call() {
  {
    const std::lock_guard hold{outcome_->lock};
    outcome_->forgotten = true;
  }
  if (thread_.joinable()) thread_.detach();
}

std::optional<bus_reply> bus_call::take() {
  if (taken_) return std::nullopt;
  const std::lock_guard hold{outcome_->lock};
  if (!outcome_->over) return std::nullopt;
  taken_ = true;
  return std::move(outcome_->reply);
}

std::optional<bus_reply> bus_call::wait(std::chrono::milliseconds longest) {
  if (taken_) return std::nullopt;
  std::unique_lock hold{outcome_->lock};
  if (!outcome_->ended.wait_for(hold, longest, [this] { return outcome_->over; })) {
    return std::nullopt;
  }
  taken_ = true;
  return std::move(outcome_->reply);
}

}  // namespace vrnskdm::platform
