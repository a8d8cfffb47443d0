#include "service/serial/record_processing.h"

namespace brivane {

void ProcessRecord(const std::string& record, EquipmentRegistry& registry,
                   const UpdateTcpFn& updateTCP) {
  const std::size_t comma = record.find(',');
  if (comma == std::string::npos || comma != 1) {
    return;
  }
  registry.Register(record[0]);
  if (updateTCP) {
    updateTCP(record);
  }
}

}  // namespace brivane
