#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The messages of the install and uninstall command words.
namespace brivane {

struct CommandMessage {
  std::string_view title;
  std::string_view text;  // lines broken by CR LF
};

inline constexpr CommandMessage kNotInstalledMessage{
    "Error removing Brivane service",
    "Could not uninstall the Brivane service. Either the Brivane service is not installed,\r\n"
    "or you might not be logged in with an account that has the required permissions.\r\n"
    "You must be logged in as an administrator to remove the Brivane service."};

inline constexpr CommandMessage kUninstallFailedMessage{
    "Error removing Brivane service",
    "Could not uninstall the Brivane service. You might not be logged in with an account that "
    "has the\r\n"
    "required permissions. You must be logged in as an administrator to remove the Brivane "
    "service."};

inline constexpr CommandMessage kRemovedMessage{"Brivane Service Removal",
                                                "The Brivane service has been removed. You may\r\n"
                                                "need to reboot to complete the removal process."};

inline constexpr CommandMessage kAlreadyInstalledMessage{
    "Error installing the Brivane service", "The Brivane service has already been installed."};

inline constexpr CommandMessage kInstallFailedMessage{
    "Error installing Brivane service",
    "Could not install Brivane as a service. You might not be logged in with an account that has "
    "the\r\n"
    "required permissions. You must be logged in as an administrator to install the Brivane "
    "service."};

inline constexpr CommandMessage kInstalledMessage{"Brivane Service Install",
                                                  "Brivane is now installed as a service!"};

// The message as a terminal shows it: the title on one line, then the text, each CR LF
// a line break, ending with a line break.
std::string MessageOutputText(const CommandMessage& message);

// Writes MessageOutputText to out and flushes it, so it is there before any wait.
void PrintMessage(std::FILE* out, const CommandMessage& message);

}  // namespace brivane
