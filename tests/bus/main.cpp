#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/private_bus.h"

// Every test points the system and session buses at a bus of its own; should
// one forget, its request finds no bus rather than the machine's logind or the
// desktop of whoever runs the tests.
int main(int argc, char** argv) {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", vrnskdm::testing::no_bus_address.c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", vrnskdm::testing::no_bus_address.c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
