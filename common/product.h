#pragma once

#include <string_view>

#include "common/version.h"

namespace brivane {

// The service's name with systemd (unit Brivane.service) and in the journal.
inline constexpr std::string_view kServiceName = "Brivane";

// Ends the TCP greeting line; opened by the console's Online Help and shown in its About box.
inline constexpr std::string_view kSupportAddress = "https://www.brivane.com/support";

// The equipment maker's site, named in the console's About box.
inline constexpr std::string_view kEquipmentMakerAddress = "www.outbackpower.com";

// Lies beside both programs.
inline constexpr std::string_view kSettingsFileName = "Brivane.ini";

}  // namespace brivane
