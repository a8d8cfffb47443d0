#include "service/host/command_messages.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace brivane {
namespace {

TEST(CommandMessagesTest, TitleLineThenTextWithEachLineBreakItsOwnLine) {
  EXPECT_EQ(MessageOutputText(kInstalledMessage),
            "Brivane Service Install\nBrivane is now installed as a service!\n");
  EXPECT_EQ(MessageOutputText(kRemovedMessage),
            "Brivane Service Removal\n"
            "The Brivane service has been removed. You may\n"
            "need to reboot to complete the removal process.\n");
  EXPECT_EQ(MessageOutputText(kNotInstalledMessage),
            "Error removing Brivane service\n"
            "Could not uninstall the Brivane service. Either the Brivane service is not "
            "installed,\n"
            "or you might not be logged in with an account that has the required permissions.\n"
            "You must be logged in as an administrator to remove the Brivane service.\n");
  EXPECT_EQ(MessageOutputText(kUninstallFailedMessage),
            "Error removing Brivane service\n"
            "Could not uninstall the Brivane service. You might not be logged in with an account "
            "that has the\n"
            "required permissions. You must be logged in as an administrator to remove the "
            "Brivane service.\n");
  EXPECT_EQ(MessageOutputText(kAlreadyInstalledMessage),
            "Error installing the Brivane service\n"
            "The Brivane service has already been installed.\n");
  EXPECT_EQ(MessageOutputText(kInstallFailedMessage),
            "Error installing Brivane service\n"
            "Could not install Brivane as a service. You might not be logged in with an account "
            "that has the\n"
            "required permissions. You must be logged in as an administrator to install the "
            "Brivane service.\n");

  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  PrintMessage(out, kAlreadyInstalledMessage);
  std::rewind(out);
  char printed[256] = {};
  const std::size_t length = std::fread(printed, 1, sizeof printed - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(printed, length), MessageOutputText(kAlreadyInstalledMessage));
}

}  // namespace
}  // namespace brivane
