#include "dbus_mock.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace vrnskdm::testing {

namespace {

using namespace std::chrono_literals;

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

template <typename number>
std::string number_text(sd_bus_message* message, char type) {
  number value{};
  check(sd_bus_message_read_basic(message, type, &value), "reading a number");
  return std::to_string(value);
}

// The values of the container entered, up to its end, with a separator.
template <typename text_of>
std::string listed(sd_bus_message* message, text_of text) {
  std::string listed;
  for (bool first = true; sd_bus_message_at_end(message, 0) == 0; first = false) {
    if (!first) listed += ", ";
    listed += text();
  }
  return listed;
}

std::string value_text(sd_bus_message* message);

// Text between two marks, made by appending: GCC 12 at -O3 warns, wrongly, of
// overlapping copies in "mark" + text.
std::string enclosed(std::string_view open, std::string_view inner, std::string_view close) {
  std::string text;
  text.reserve(open.size() + inner.size() + close.size());
  return text.append(open).append(inner).append(close);
}

std::string container_text(sd_bus_message* message, char type, const char* contents) {
  check(sd_bus_message_enter_container(message, type, contents), "entering a container");
  std::string text;
  if (type == 'v') {
    text = enclosed("<", std::string{contents}.append(" ").append(value_text(message)), ">");
  } else if (type == 'a' && contents[0] == '{') {
    const std::string entry{contents + 1, std::string{contents}.size() - 2};
    text = enclosed("{", listed(message, [&] {
      check(sd_bus_message_enter_container(message, 'e', entry.c_str()), "entering an entry");
      std::string pair = value_text(message);
      pair.append(": ").append(value_text(message));
      check(sd_bus_message_exit_container(message), "leaving an entry");
      return pair;
    }), "}");
  } else {
    const bool array = type == 'a';
    text = enclosed(array ? "[" : "(", listed(message, [&] { return value_text(message); }),
                    array ? "]" : ")");
  }
  check(sd_bus_message_exit_container(message), "leaving a container");
  return text;
}

// One whole value, read on: texts quoted, numbers and booleans as written.
std::string value_text(sd_bus_message* message) {
  char type = 0;
  const char* contents = nullptr;
  check(sd_bus_message_peek_type(message, &type, &contents), "reading a value");
  switch (type) {
    case 'b': {
      int value = 0;
      check(sd_bus_message_read_basic(message, 'b', &value), "reading a boolean");
      return value != 0 ? "true" : "false";
    }
    case 's':
    case 'o':
    case 'g': {
      const char* text = nullptr;
      check(sd_bus_message_read_basic(message, type, &text), "reading a text");
      return enclosed("\"", text, "\"");
    }
    case 'y': return number_text<std::uint8_t>(message, type);
    case 'n': return number_text<std::int16_t>(message, type);
    case 'q': return number_text<std::uint16_t>(message, type);
    case 'i': return number_text<std::int32_t>(message, type);
    case 'u': return number_text<std::uint32_t>(message, type);
    case 'x': return number_text<std::int64_t>(message, type);
    case 't': return number_text<std::uint64_t>(message, type);
    case 'd': return number_text<double>(message, type);
    default: return container_text(message, type, contents);
  }
}

// One entry of the mock's call log, (timestamp, method, arguments), as text.
std::string call_text(sd_bus_message* reply) {
  std::uint64_t timestamp = 0;
  const char* method = nullptr;
  check(sd_bus_message_read(reply, "ts", &timestamp, &method), "reading a call");
  check(sd_bus_message_enter_container(reply, 'a', "v"), "reading the arguments");
  // Each argument comes as a variant of its own type, shown without it.
  const std::string arguments = listed(reply, [&] {
    char type = 0;
    const char* contents = nullptr;
    check(sd_bus_message_peek_type(reply, &type, &contents), "reading an argument");
    check(sd_bus_message_enter_container(reply, 'v', contents), "reading an argument");
    std::string text = value_text(reply);
    check(sd_bus_message_exit_container(reply), "reading an argument");
    return text;
  });
  check(sd_bus_message_exit_container(reply), "reading the arguments");
  return std::string{method} + "(" + arguments + ")";
}

}  // namespace

dbus_mock::dbus_mock(const private_bus& bus, const mocked_service& service,
                     const std::string& parameters)
    : mocked_{service},
      control_{connect(bus.address())},
      service_{{"/usr/bin/python3", "-m", "dbusmock", service.bus_kind, "--template",
                service.dbusmock_template, "--parameters", parameters},
               {"DBUS_SYSTEM_BUS_ADDRESS=" + bus.address(),
                "DBUS_SESSION_BUS_ADDRESS=" + bus.address()},
               folder_.file("mock.log")} {
  const auto give_up = std::chrono::steady_clock::now() + start_timeout;
  while (!name_has_owner(control_.get(), mocked_.name)) {
    if (service_.has_ended() || std::chrono::steady_clock::now() >= give_up) {
      throw std::runtime_error(std::string{"the mock of "} + mocked_.name +
                               " did not start: " + service_.output());
    }
    std::this_thread::sleep_for(20ms);
  }
}

void dbus_mock::refuse(const std::string& interface, const std::string& method,
                       const std::string& in_signature, const std::string& error_name) {
  redefine(interface, method, in_signature, "",
           "raise dbus.exceptions.DBusException('refused by the test', name='" + error_name + "')");
}

void dbus_mock::redefine(const std::string& interface, const std::string& method,
                         const std::string& in_signature, const std::string& out_signature,
                         const std::string& code) {
  call_error error;
  check(sd_bus_call_method(control_.get(), mocked_.name, mocked_.path, mock_interface, "AddMethod",
                           &error.error, nullptr, "sssss", interface.c_str(), method.c_str(),
                           in_signature.c_str(), out_signature.c_str(), code.c_str()),
        "AddMethod", &error.error);
}

std::vector<std::string> dbus_mock::calls() {
  call_error error;
  sd_bus_message* raw = nullptr;
  check(sd_bus_call_method(control_.get(), mocked_.name, mocked_.path, mock_interface, "GetCalls",
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
