#include "service/serial/record_processing.h"

namespace brivane {

void ProcessRecord(const std::string& record, EquipmentRegistry& registry,
                   const UpdateTcpFn& updateTCP) {
  // A comma is needed, and the text before the first one is the one-character address.
  if (record.find(',') != 1) {
    return;
  }
  registry.Register(record[0]);
  if (updateTCP) {
    updateTCP(record);
  }
}

}  // namespace brivane
