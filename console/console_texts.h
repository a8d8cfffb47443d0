#pragma once

#include <string>
#include <string_view>

// The console's own words: window and panel captions, and its message boxes.
namespace brivane {

inline constexpr std::string_view kConsoleTitle = "Brivane Service Console";

inline constexpr std::string_view kServicePanelInitial = "Service:";
inline constexpr std::string_view kServiceRunning = "Service: Running ";
inline constexpr std::string_view kServiceStopped = "Service: Stopped ";
inline constexpr std::string_view kServiceNotInstalled = "Service: Not Installed ";
inline constexpr std::string_view kHostPanelInitial = "Host:";

// "Host: server1:8466 " as panel 2 names the watched host.
std::string HostPanelText(std::string_view host, std::string_view portText);

// The socket layer's number for a host whose address cannot be determined.
inline constexpr int kHostNotResolved = 10014;

inline constexpr std::string_view kContactErrorTitle = "Error contacting Brivane service";

// The message for a failed status request: its own text for an unresolved host,
// otherwise the socket layer's number and description.
std::string SendFailureText(int number, std::string_view description);

inline constexpr std::string_view kBrowserErrorTitle = "Error opening default browser";
inline constexpr std::string_view kBrowserErrorText =
    "Could not open default browser. Please contact support for assistance.";

inline constexpr std::string_view kAboutTitle = "About Brivane Service Console";

// The About box: the console's version, the support address and what Brivane is for,
// every line ended by CR LF.
std::string AboutText(int major, int minor, int revision);

}  // namespace brivane
