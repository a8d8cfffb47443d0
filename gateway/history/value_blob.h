#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "gateway/history/aggregate.h"

namespace brivane::gateway {

// A span's values as the database keeps them, by key number: for each, its number and
// sample count (varints), then its mean, minimum and maximum as 32-bit floats, or one
// float when all three are the same (a value that held still, the common case).
using NumberedAggregates = std::map<unsigned, Aggregate>;

std::string EncodeValues(const NumberedAggregates& values);
// Nothing for bytes that are not such a record.
std::optional<NumberedAggregates> DecodeValues(std::string_view blob);
// Just one key's aggregate; nothing when it is absent or the record is damaged.
std::optional<Aggregate> DecodeValue(std::string_view blob, unsigned key);

}  // namespace brivane::gateway
