#include "logind_mock.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace vrnskdm::testing {

namespace {

using namespace std::chrono_literals;

constexpr const char* logind_name = "org.freedesktop.login1";
constexpr const char* logind_path = "/org/freedesktop/login1";
constexpr const char* mock_interface = "org.freedesktop.DBus.Mock";

// Python starts slowly on a loaded machine running the sanitizer build.
constexpr auto start_timeout = 15s;
// A control call that takes longer has met a frozen or broken mock.
constexpr std::uint64_t control_timeout_us = 10'000'000;

struct call_error {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~call_error() { sd_bus_error_free(&error); }
};

struct reply_releaser {
  void operator()(sd_bus_message* reply) const { sd_bus_message_unref(reply); }
};
using reply_ptr = std::unique_ptr<sd_bus_message, reply_releaser>;

void check(int result, const std::string& what, const sd_bus_error* error = nullptr) {
  if (result >= 0) return;
  std::string reason = what + " failed";
  if (error != nullptr && error->message != nullptr) reason += ": " + std::string{error->message};
  throw std::runtime_error(reason);
}

sd_bus* connect(const std::string& address) {
  sd_bus* bus = nullptr;
  check(sd_bus_new(&bus), "sd_bus_new");
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_set_method_call_timeout(bus, control_timeout_us) < 0 || sd_bus_start(bus) < 0) {
    sd_bus_close_unref(bus);
    throw std::runtime_error("cannot connect to " + address);
  }
  return bus;
}

bool name_has_owner(sd_bus* bus, const char* name) {
  call_error error;
  sd_bus_message* raw = nullptr;
  check(sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &error.error, &raw, "s", name),
        "NameHasOwner", &error.error);
  const reply_ptr reply{raw};
  int owned = 0;
  check(sd_bus_message_read(reply.get(), "b", &owned), "reading NameHasOwner");
  return owned != 0;
}

std::string argument_text(sd_bus_message* reply) {
  char type = 0;
  const char* contents = nullptr;
  check(sd_bus_message_peek_type(reply, &type, &contents), "reading an argument");
  if (std::string{contents} == "b") {
    int value = 0;
    check(sd_bus_message_read(reply, "v", "b", &value), "reading a boolean");
    return value != 0 ? "true" : "false";
  }
  // Only logind's restart and power-off methods are expected, all of them
  // taking a boolean; anything else shows as its type.
  check(sd_bus_message_skip(reply, "v"), "skipping an argument");
  return std::string{"<"}.append(contents).append(">");
}

// One entry of the mock's call log, (timestamp, method, arguments), as text.
std::string call_text(sd_bus_message* reply) {
  std::uint64_t timestamp = 0;
  const char* method = nullptr;
  check(sd_bus_message_read(reply, "ts", &timestamp, &method), "reading a call");
  std::string text = std::string{method} + "(";
  check(sd_bus_message_enter_container(reply, 'a', "v"), "reading the arguments");
  for (bool first = true; sd_bus_message_at_end(reply, 0) == 0; first = false) {
    if (!first) text += ", ";
    text += argument_text(reply);
  }
  check(sd_bus_message_exit_container(reply), "reading the arguments");
  return text + ")";
}

}  // namespace

logind_mock::logind_mock(const private_bus& bus, const std::string& can_reboot)
    : control_{connect(bus.address())},
      service_{{"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind",
                "--parameters", R"({"CanReboot": ")" + can_reboot + R"("})"},
               {"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address()},
               folder_.file("mock.log")} {
  const auto give_up = std::chrono::steady_clock::now() + start_timeout;
  while (!name_has_owner(control_.get(), logind_name)) {
    if (service_.has_ended() || std::chrono::steady_clock::now() >= give_up) {
      throw std::runtime_error("the logind mock did not start: " + service_.output());
    }
    std::this_thread::sleep_for(20ms);
  }
}

void logind_mock::refuse_reboot(const std::string& error_name) {
  const std::string code = "raise dbus.exceptions.DBusException('refused by the test', name='" +
                           error_name + "')";
  call_error error;
  check(sd_bus_call_method(control_.get(), logind_name, logind_path, mock_interface, "AddMethod",
                           &error.error, nullptr, "sssss", "org.freedesktop.login1.Manager",
                           "Reboot", "b", "", code.c_str()),
        "AddMethod", &error.error);
}

std::vector<std::string> logind_mock::calls() {
  call_error error;
  sd_bus_message* raw = nullptr;
  check(sd_bus_call_method(control_.get(), logind_name, logind_path, mock_interface, "GetCalls",
                           &error.error, &raw, ""),
        "GetCalls", &error.error);
  const reply_ptr reply{raw};
  std::vector<std::string> calls;
  check(sd_bus_message_enter_container(reply.get(), 'a', "(tsav)"), "reading the calls");
  int entered = 0;
  while ((entered = sd_bus_message_enter_container(reply.get(), 'r', "tsav")) > 0) {
    calls.push_back(call_text(reply.get()));
    check(sd_bus_message_exit_container(reply.get()), "reading a call");
  }
  check(entered, "reading the calls");
  return calls;
}

}  // namespace vrnskdm::testing
