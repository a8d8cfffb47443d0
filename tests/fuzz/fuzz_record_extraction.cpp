// Arbitrary serial byte streams, cut into arbitrary chunks, through the receive
// buffer, record extraction, equipment registry and the receive step.
//
// Input: 4 control bytes, then the stream.
//   byte 0-1  seed of the chunk sizes
//   byte 2    largest chunk size, times 64 when bit 6 of byte 3 is set (a chunk of
//             0 bytes is a tick with nothing new)
//   byte 3    bit 7: feed the stream but its last byte again and again until more
//             than 65 KiB went in, then the last byte, in chunks of at least 1 KiB
//             after the first, so the bound on an open record is reached (and a
//             record can end just past it)
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/serial/equipment_registry.h"
#include "service/serial/receive_buffer.h"
#include "service/serial/record_processing.h"
#include "service/serial/serial_receiver.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using brivane::EquipmentRegistry;
using brivane::kOpenRecordLimit;
using brivane::kRecordBoundaryLimit;

// A plain model of the extraction, one step at a time on a string.
class ModelBuffer {
 public:
  void Append(std::string_view text) { buffer_.append(text); }

  std::vector<std::string> Extract() {
    // Works from a start index and erases once, so many small records stay linear.
    std::vector<std::string> records;
    std::size_t start = 0;
    auto size = [&] { return buffer_.size() - start; };
    for (;;) {
      if (size() == 0) {
        break;
      }
      const auto lineFeed = buffer_.find('\n', start);
      if (!open_ && (lineFeed == std::string::npos || size() >= kRecordBoundaryLimit)) {
        start = buffer_.size();
        break;
      }
      if (!open_) {
        start = lineFeed;
        open_ = true;
      }
      const auto carriageReturn = buffer_.find('\r', start);
      // A record that reaches the bound is dropped, even when its carriage return came
      // in the same read, just as if the bytes had come one by one: the first 64 KiB
      // go, and what follows is text outside a record.
      if (carriageReturn == std::string::npos || carriageReturn - start >= kOpenRecordLimit) {
        if (size() >= kOpenRecordLimit) {
          start += kOpenRecordLimit;
          open_ = false;
          continue;
        }
        break;
      }
      records.push_back(buffer_.substr(start + 1, carriageReturn - start - 1));
      start = carriageReturn + 1;
      open_ = false;
    }
    buffer_.erase(0, start);
    return records;
  }

  const std::string& Text() const { return buffer_; }
  bool Open() const { return open_; }

 private:
  std::string buffer_;
  bool open_ = false;
};

// Which devices the accepted records name, in order of first appearance.
struct ModelRegistry {
  std::string fx;
  std::string mx;
  bool fndc = false;

  void Note(char c) {
    if (c >= '0' && c <= '9' && fx.find(c) == std::string::npos) {
      fx += c;
    } else if (c >= 'A' && c <= 'K' && mx.find(c) == std::string::npos) {
      mx += c;
    } else if (c >= 'a' && c <= 'j') {
      fndc = true;
    }
  }
};

// A comma, and a first field of exactly one character.
bool Accepted(std::string_view record) {
  return record.find(',') == 1;
}

// What one TCP client may have waiting before it counts as not reading (the TCP
// front's kSendQueueLimit): a record sent with its line feed and carriage return must
// fit, or every client is dropped for one record.
constexpr std::size_t kClientSendQueueLimit = 64 * 1024;

void CheckRecordHandedOn(std::string_view record) {
  FUZZ_REQUIRE(Accepted(record));
  FUZZ_REQUIRE(record.size() + 2 <= kClientSendQueueLimit);
  FUZZ_REQUIRE(record.find('\r') == std::string_view::npos);
}

void CheckRegistry(const EquipmentRegistry& registry, const ModelRegistry& model) {
  FUZZ_REQUIRE(registry.FXCount() >= 0 && registry.FXCount() <= 10);
  FUZZ_REQUIRE(registry.MXCount() >= 0 && registry.MXCount() <= 11);
  const std::string fx = registry.FXAddresses();
  const std::string mx = registry.MXAddresses();
  FUZZ_REQUIRE(std::set<char>(fx.begin(), fx.end()).size() == fx.size());
  FUZZ_REQUIRE(std::set<char>(mx.begin(), mx.end()).size() == mx.size());
  for (char c : fx) {
    FUZZ_REQUIRE(c >= '0' && c <= '9');
  }
  for (char c : mx) {
    FUZZ_REQUIRE(c >= 'A' && c <= 'K');
  }
  FUZZ_REQUIRE(fx == model.fx);
  FUZZ_REQUIRE(mx == model.mx);
  FUZZ_REQUIRE(registry.FNDCDetected() == model.fndc);
}

// What is left after an extraction: nothing, or one open record within the bound.
void CheckLeftOver(const std::string& text, bool open) {
  FUZZ_REQUIRE(text.size() < kOpenRecordLimit);
  if (!open) {
    FUZZ_REQUIRE(text.empty());
  } else {
    FUZZ_REQUIRE(!text.empty() && text.front() == '\n');
    FUZZ_REQUIRE(text.find('\r') == std::string::npos);
  }
}

// A serial control whose input queue the target fills; the port stays open on port 1.
class ScriptedPort : public brivane::SerialControl {
 public:
  int CommPort() const override { return 1; }
  std::optional<brivane::CommError> SetCommPort(int) override { return std::nullopt; }
  bool PortOpen() const override { return true; }
  std::optional<brivane::CommError> SetPortOpen(bool) override { return std::nullopt; }
  int InBufferCount() override { return static_cast<int>(waiting.size()); }
  std::string Input() override { return std::exchange(waiting, {}); }

  std::string waiting;
};

// xorshift32: chunk sizes that the fuzzer steers through the seed bytes.
class ChunkSizes {
 public:
  ChunkSizes(std::uint32_t seed, std::size_t largest) : state_(seed | 1u), largest_(largest) {}
  std::size_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_ % (largest_ + 1);
  }

 private:
  std::uint32_t state_;
  std::size_t largest_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) {
    return 0;
  }
  const std::uint32_t seed = data[0] | (data[1] << 8);
  // At least 1, so empty ticks cannot go on for ever.
  const std::size_t largest =
      std::max<std::size_t>(1, (data[3] & 0x40) != 0 ? data[2] * 64u : data[2]);
  const bool pastTheBound = (data[3] & 0x80) != 0;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 4, size - 4);
  if (pastTheBound && stream.empty()) {
    return 0;
  }

  // The buffer on its own: every chunk appended and extracted at once.
  brivane::ReceiveBuffer buffer;
  ModelBuffer model;
  EquipmentRegistry registry;
  ModelRegistry modelRegistry;

  // The receive step: chunks reach the port's queue and are read only from 7 on.
  ScriptedPort port;
  brivane::SerialLinkState link;
  std::int64_t now = 1000;
  std::vector<std::string> forwarded;
  brivane::SerialReceiver receiver(
      port, [&](std::string_view record) { forwarded.emplace_back(record); }, [&] { return now; });
  ModelBuffer receiverModel;
  ModelRegistry receiverModelRegistry;

  ChunkSizes sizes(seed, largest);
  std::string input(stream);
  if (pastTheBound) {
    const std::string_view body = stream.substr(0, stream.size() - 1);
    input.clear();
    while (!body.empty() && input.size() < kOpenRecordLimit + kRecordBoundaryLimit) {
      input.append(body);
    }
    input += stream.back();
  }
  std::size_t offset = 0;
  while (offset < input.size()) {
    const std::size_t wanted =
        sizes.Next() + (pastTheBound && offset > 0 ? kRecordBoundaryLimit : 0);
    const std::string_view chunk =
        std::string_view(input).substr(offset, std::min(wanted, input.size() - offset));
    offset += chunk.size();
    ++now;

    buffer.Append(chunk);
    model.Append(chunk);
    std::vector<std::string> records;
    buffer.ExtractDataFromBuffer([&](const std::string& record) {
      FUZZ_REQUIRE(record.size() + 2 <= kClientSendQueueLimit);
      records.push_back(record);
    });
    FUZZ_REQUIRE(records == model.Extract());
    FUZZ_REQUIRE(buffer.Text() == model.Text());
    FUZZ_REQUIRE(buffer.RecordOpen() == model.Open());
    CheckLeftOver(buffer.Text(), buffer.RecordOpen());
    for (const auto& record : records) {
      FUZZ_REQUIRE(record.find('\r') == std::string::npos);
      std::vector<std::string> handedOn;
      brivane::ProcessRecord(record, registry,
                             [&](std::string_view text) { handedOn.emplace_back(text); });
      if (Accepted(record)) {
        modelRegistry.Note(record[0]);
        FUZZ_REQUIRE(handedOn.size() == 1 && handedOn[0] == record);
        CheckRecordHandedOn(handedOn[0]);
      } else {
        FUZZ_REQUIRE(handedOn.empty());
      }
    }
    CheckRegistry(registry, modelRegistry);

    port.waiting.append(chunk);
    const std::string queued = port.waiting;
    const std::int64_t stampBefore = link.LastDataTime;
    forwarded.clear();
    receiver.ReceiveStep(link);
    if (queued.size() >= static_cast<std::size_t>(brivane::kMinimumWaitingCharacters)) {
      FUZZ_REQUIRE(port.waiting.empty());
      FUZZ_REQUIRE(link.LastDataTime == now);
      receiverModel.Append(queued);
      std::vector<std::string> expected;
      for (auto& record : receiverModel.Extract()) {
        if (Accepted(record)) {
          receiverModelRegistry.Note(record[0]);
          expected.push_back(std::move(record));
        }
      }
      FUZZ_REQUIRE(forwarded == expected);
    } else {
      FUZZ_REQUIRE(port.waiting == queued);
      FUZZ_REQUIRE(link.LastDataTime == stampBefore);
      FUZZ_REQUIRE(forwarded.empty());
    }
    for (const auto& record : forwarded) {
      CheckRecordHandedOn(record);
    }
    FUZZ_REQUIRE(receiver.Buffer().Text() == receiverModel.Text());
    FUZZ_REQUIRE(receiver.Buffer().RecordOpen() == receiverModel.Open());
    CheckLeftOver(receiver.Buffer().Text(), receiver.Buffer().RecordOpen());
    CheckRegistry(receiver.Equipment(), receiverModelRegistry);
  }
  return 0;
}
