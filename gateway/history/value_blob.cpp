#include "gateway/history/value_blob.h"

#include <bit>
#include <cstdint>

namespace brivane::gateway {
namespace {

void PutVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7f) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void PutFloat(std::string& out, double value) {
  const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<char>((bits >> shift) & 0xff));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool AtEnd() const { return at_ == bytes_.size(); }

  std::optional<std::uint64_t> Varint() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64 && at_ < bytes_.size(); shift += 7) {
      const auto byte = static_cast<unsigned char>(bytes_[at_++]);
      value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
      if ((byte & 0x80) == 0) {
        return value;
      }
    }
    return std::nullopt;
  }
  std::optional<double> Float() {
    if (bytes_.size() - at_ < 4) {
      return std::nullopt;
    }
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
      bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[at_++])) << (8 * i);
    }
    return std::bit_cast<float>(bits);
  }
  std::optional<unsigned> Byte() {
    if (at_ >= bytes_.size()) {
      return std::nullopt;
    }
    return static_cast<unsigned char>(bytes_[at_++]);
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// The next entry: its key and aggregate.
std::optional<std::pair<unsigned, Aggregate>> NextEntry(Reader& reader) {
  const auto key = reader.Varint();
  const auto count = reader.Varint();
  const auto shape = reader.Byte();
  if (!key || !count || !shape || *key > 0xffffffffu || *count == 0 || *count > 0xffffffffu ||
      *shape > 1) {
    return std::nullopt;
  }
  Aggregate value;
  value.count = static_cast<std::uint32_t>(*count);
  const auto mean = reader.Float();
  if (!mean) {
    return std::nullopt;
  }
  value.min = value.max = *mean;
  if (*shape == 1) {
    const auto min = reader.Float();
    const auto max = reader.Float();
    if (!min || !max) {
      return std::nullopt;
    }
    value.min = *min;
    value.max = *max;
  }
  value.sum = *mean * value.count;
  return std::pair{static_cast<unsigned>(*key), value};
}

}  // namespace

std::string EncodeValues(const NumberedAggregates& values) {
  std::string out;
  for (const auto& [key, value] : values) {
    if (value.count == 0) {
      continue;
    }
    PutVarint(out, key);
    PutVarint(out, value.count);
    const float mean = static_cast<float>(value.Mean());
    const bool still =
        static_cast<float>(value.min) == mean && static_cast<float>(value.max) == mean;
    out.push_back(still ? 0 : 1);
    PutFloat(out, mean);
    if (!still) {
      PutFloat(out, value.min);
      PutFloat(out, value.max);
    }
  }
  return out;
}

std::optional<NumberedAggregates> DecodeValues(std::string_view blob) {
  NumberedAggregates values;
  Reader reader(blob);
  while (!reader.AtEnd()) {
    auto entry = NextEntry(reader);
    if (!entry) {
      return std::nullopt;
    }
    values[entry->first] = entry->second;
  }
  return values;
}

std::optional<Aggregate> DecodeValue(std::string_view blob, unsigned key) {
  Reader reader(blob);
  while (!reader.AtEnd()) {
    auto entry = NextEntry(reader);
    if (!entry) {
      return std::nullopt;
    }
    if (entry->first == key) {
      return entry->second;
    }
  }
  return std::nullopt;
}

}  // namespace brivane::gateway
