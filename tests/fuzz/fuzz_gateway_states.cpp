// The gateway's path from the bridge's bytes to published states: records framed,
// decoded, merged into device states, their discovery configs built and their publish
// times decided. Never a crash; every state and config serialises; a FLEXnet DC state
// never loses an extra-data value it has seen; every entity of a config reads a key the
// state holds; the publish timing never sends a device twice at one moment.
//
// Input: 1 control byte (size of the pieces the stream is appended in, 0 = all at once;
// its top bit re-checksums every record so that pages of every shape are accepted),
// then the stream.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <variant>

#include "gateway/core/device_registry.h"
#include "gateway/mqtt/discovery.h"
#include "gateway/mqtt/publish_schedule.h"
#include "mate/decode.h"
#include "mate/page_json.h"
#include "mate/record_framer.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace std::chrono_literals;
using brivane::gateway::DeviceRegistry;

std::string Rechecksummed(std::string record) {
  const auto comma = record.rfind(',');
  if (comma == std::string::npos || record.size() - comma != 4) {
    return record;
  }
  int sum = 0;
  for (char c : std::string_view(record).substr(0, comma)) {
    sum += c == ',' ? 0 : static_cast<unsigned char>(c) - 48;
  }
  if (sum < 0) {
    return record;
  }
  const std::string digits = std::to_string(1000 + sum % 1000).substr(1);
  return record.substr(0, comma + 1) + digits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::size_t piece = data[0] & 0x7F;
  const bool rechecksum = (data[0] & 0x80) != 0;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

  mate::RecordFramer framer;
  DeviceRegistry registry(30s);
  brivane::gateway::PublishSchedule schedule(10s, 60s);
  brivane::gateway::TopicNames names;
  names.site = "fuzz";
  std::map<std::string, int> extraSeen;
  auto now = std::chrono::steady_clock::time_point{};

  const auto take = [&](std::string record) {
    now += 700ms;
    if (rechecksum) {
      record = Rechecksummed(record);
    }
    auto decoded = mate::DecodePage(record);
    if (!std::holds_alternative<mate::Page>(decoded)) {
      return;
    }
    const auto& page = std::get<mate::Page>(decoded);
    const auto accepted =
        registry.Accept(page, mate::PageJson(page, std::chrono::system_clock::now()), now);
    const auto& state = *accepted.state;
    FUZZ_REQUIRE(state.online);
    const int seen = brivane::gateway::ExtraDataSeen(state.json);
    FUZZ_REQUIRE(seen >= extraSeen[state.device]);
    extraSeen[state.device] = seen;
    const auto config = brivane::gateway::DeviceDiscovery(
        names, {state.device, state.type, state.port}, "0", state.json);
    for (const auto& [key, component] : config["cmps"].items()) {
      FUZZ_REQUIRE(state.json.contains(key));
    }
    FUZZ_REQUIRE(nlohmann::json::parse(config.dump()) == config);
    FUZZ_REQUIRE(nlohmann::json::parse(state.json.dump()) == state.json);
    nlohmann::json values = state.json;
    values.erase("time");
    schedule.OnState(state.device, values.dump(), now);
    const auto due = schedule.Due(now + 5s);
    FUZZ_REQUIRE(std::set<std::string>(due.begin(), due.end()).size() == due.size());
  };

  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t length = piece == 0 ? stream.size() : piece;
    framer.Append(stream.substr(at, length));
    at += length;
    while (auto record = framer.Next()) {
      take(std::move(*record));
    }
  }
  registry.Expire(now + 31s);
  FUZZ_REQUIRE(!registry.NextExpiry());
  return 0;
}
