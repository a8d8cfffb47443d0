#pragma once

#include <systemd/sd-bus.h>

// The sd-bus calls that control the service manager, taken from libsystemd when first
// needed. Only the command words and the console use them; loaded at start, the library
// and what it pulls in would take close to a megabyte of the running service's memory.
namespace brivane {

#define BRIVANE_SD_BUS_CALLS(X)                         \
  X(sd_bus_call)                                        \
  X(sd_bus_call_method)                                 \
  X(sd_bus_flush_close_unref)                           \
  X(sd_bus_get_property_string)                         \
  X(sd_bus_message_append)                              \
  X(sd_bus_message_append_strv)                         \
  X(sd_bus_message_new_method_call)                     \
  X(sd_bus_message_read)                                \
  X(sd_bus_message_set_allow_interactive_authorization) \
  X(sd_bus_message_unref)                               \
  X(sd_bus_new)                                         \
  X(sd_bus_open_system)                                 \
  X(sd_bus_set_address)                                 \
  X(sd_bus_set_method_call_timeout)                     \
  X(sd_bus_start)

struct SdBusCalls {
#define BRIVANE_SD_BUS_MEMBER(name) decltype(&::name) name = nullptr;
  BRIVANE_SD_BUS_CALLS(BRIVANE_SD_BUS_MEMBER)
#undef BRIVANE_SD_BUS_MEMBER
};

// Loads libsystemd once and keeps it; nullptr when it or one of the calls is missing.
const SdBusCalls* LoadSdBus();

}  // namespace brivane
