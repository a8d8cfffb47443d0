#include "service/host/listener_setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brivane {
namespace {

TEST(ListenerSetup, ChoosesTheConfiguredAddressOnlyWhenItIsLocal) {
  std::vector<std::string> asked;
  const LocalAddressCheck isLocal = [&](std::string_view text) {
    asked.emplace_back(text);
    return text == "127.0.0.1" || text == "10.1.2.3";
  };

  const ListenerAddress all = ChooseListenerAddress("", isLocal);
  EXPECT_EQ(all.address, "");
  EXPECT_FALSE(all.notAssigned);
  EXPECT_TRUE(asked.empty()) << "an empty address needs no check";

  const ListenerAddress own = ChooseListenerAddress("10.1.2.3", isLocal);
  EXPECT_EQ(own.address, "10.1.2.3");
  EXPECT_FALSE(own.notAssigned);

  const ListenerAddress loopback = ChooseListenerAddress("127.0.0.1", isLocal);
  EXPECT_EQ(loopback.address, "127.0.0.1");

  const ListenerAddress foreign = ChooseListenerAddress("192.0.2.1", isLocal);
  EXPECT_EQ(foreign.address, "");
  EXPECT_TRUE(foreign.notAssigned);
}

TEST(ListenerSetup, EventTexts) {
  EXPECT_EQ(NotAssignedText("UDP"),
            "The IP address specified in the INI file is not assigned to this machine. Binding "
            "UDP listener to all available IP addresses instead.");
  EXPECT_EQ(NotAssignedText("TCP"),
            "The IP address specified in the INI file is not assigned to this machine. Binding "
            "TCP listener to all available IP addresses instead.");
  EXPECT_EQ(SetupFailureText("UDP", 98, "Address already in use"),
            "oService_Start: Error setting up UDP bind: 98, Address already in use");
  EXPECT_EQ(SetupFailureText("TCP", 99, "Cannot assign requested address"),
            "oService_Start: Error setting up TCP bind: 99, Cannot assign requested address");
}

}  // namespace
}  // namespace brivane
