#include <duktape.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

// The parts of polkit's rule environment that the shipped rule may use: rules
// are collected by addRule and asked in order, and the first answer wins.
constexpr const char* polkit_stand_in = R"(
var rules = [];
var polkit = {
    Result: {
        NO: "no", YES: "yes", AUTH_SELF: "auth_self", AUTH_SELF_KEEP: "auth_self_keep",
        AUTH_ADMIN: "auth_admin", AUTH_ADMIN_KEEP: "auth_admin_keep", NOT_HANDLED: null
    },
    addRule: function (rule) { rules.push(rule); },
    addAdminRule: function (rule) {},
    log: function (message) {}
};
function decide(actionId, user) {
    var action = { id: actionId };
    var subject = { user: user, local: true, active: true };
    for (var i = 0; i < rules.length; ++i) {
        var result = rules[i](action, subject);
        if (result !== undefined && result !== null) return String(result);
    }
    return "not handled";
}
)";

struct context_closer {
  void operator()(duk_context* context) const { duk_destroy_heap(context); }
};

std::string file_text(const std::string& path) {
  std::ifstream in{path, std::ios::binary};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// polkit runs rules in this same engine, Duktape, so what fails to load here
// fails there too.
class shipped_restart_rule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(context);
    ASSERT_EQ(duk_peval_string(context.get(), polkit_stand_in), 0);
    duk_pop(context.get());
    const std::string rule = file_text(VRNSKDM_RESTART_RULE);
    ASSERT_FALSE(rule.empty());
    ASSERT_EQ(duk_peval_lstring(context.get(), rule.data(), rule.size()), 0)
        << duk_safe_to_string(context.get(), -1);
    duk_pop(context.get());
  }

  std::string decide(const std::string& action, const std::string& user) {
    duk_get_global_string(context.get(), "decide");
    duk_push_string(context.get(), action.c_str());
    duk_push_string(context.get(), user.c_str());
    const bool ran = duk_pcall(context.get(), 2) == DUK_EXEC_SUCCESS;
    std::string answer = duk_safe_to_string(context.get(), -1);
    duk_pop(context.get());
    return ran ? answer : "error: " + answer;
  }

  std::unique_ptr<duk_context, context_closer> context{duk_create_heap_default()};
};

// The watchdog's user may restart in every circumstance logind asks about, and
// gains nothing else; other users are left to the other rules.
TEST_F(shipped_restart_rule, grants_only_restarts_to_the_watchdog_user) {
  const struct {
    const char* action;
    const char* user;
    const char* answer;
  } cases[] = {
      {"org.freedesktop.login1.reboot", "kiosk", "yes"},
      {"org.freedesktop.login1.reboot-multiple-sessions", "kiosk", "yes"},
      {"org.freedesktop.login1.reboot-ignore-inhibit", "kiosk", "yes"},
      {"org.freedesktop.login1.power-off", "kiosk", "not handled"},
      {"org.freedesktop.login1.set-reboot-parameter", "kiosk", "not handled"},
      {"org.freedesktop.login1.reboot", "guest", "not handled"},
      {"org.freedesktop.login1.reboot-ignore-inhibit", "guest", "not handled"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decide(c.action, c.user), c.answer) << c.action << " for " << c.user;
  }
}

}  // namespace
