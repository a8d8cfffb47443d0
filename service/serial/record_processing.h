#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "service/serial/equipment_registry.h"

namespace brivane {

// The TCP broadcast: sends line feed, the record and carriage return to every client.
using UpdateTcpFn = std::function<void(std::string_view record)>;

// Accepts a record that has a comma and a one-character first field: registers its
// device address and hands the unchanged text to updateTCP. Anything else is dropped.
void ProcessRecord(const std::string& record, EquipmentRegistry& registry,
                   const UpdateTcpFn& updateTCP);

}  // namespace brivane
