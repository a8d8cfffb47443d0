// The service's UDP request handling, driven by a script of arrivals and reply steps:
// the request queue of four and the discovery memory, each against a plain model of
// its own, the service address of the replies, and the reply framing.
//
// The arrival handler of UdpQueries reads its datagrams off a socket and is not
// callable on its own, so the target does what it does with the pure parts: compare
// the payload with the two keywords, ask the discovery memory, queue the request.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/udp_wire.h"
#include "service/net/discovery_memory.h"
#include "service/net/pending_requests.h"
#include "service/net/service_address.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using brivane::PendingRequest;
using brivane::RequestKind;

// A plain model of LastDiscoveryAddress and LastDiscoveryTime.
struct ModelDiscovery {
  std::string lastAddress;
  std::optional<std::int64_t> lastTime;

  bool Admit(const std::string& address, std::int64_t now) {
    if (address != lastAddress) {
      lastAddress = address;
      lastTime = now;
      return true;
    }
    if (!lastTime) {
      return true;
    }
    const std::int64_t elapsed = now - *lastTime;
    lastTime = now;
    return elapsed > 1;
  }
};

bool SameRequest(const PendingRequest& a, const PendingRequest& b) {
  return a.kind == b.kind && a.senderAddress == b.senderAddress && a.senderPort == b.senderPort &&
         a.localAddress == b.localAddress;
}

std::string PickPayload(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
    case 1:
      return std::string(brivane::kDiscoveryRequest);
    case 2:
    case 3:
      return std::string(brivane::kStatusRequest);
    case 4: {
      // Near misses: case, terminators, blanks, cut short.
      static const char* const kNear[] = {"SvcCon\r\n", "svccon", "SvcCon ", " OrvaTCP",
                                          "OrvaTCP\0",  "OrvaTC", "",        "SVCCON"};
      const auto index = in.ConsumeIntegralInRange<std::size_t>(0, 7);
      return index == 4 ? std::string("OrvaTCP\0", 8) : std::string(kNear[index]);
    }
    default:
      return in.ConsumeRandomLengthString(16);
  }
}

std::string PickAddress(FuzzedDataProvider& in) {
  static const char* const kAddresses[] = {"192.168.1.20", "192.168.1.21", "10.0.0.7", ""};
  const auto index = in.ConsumeIntegralInRange<std::size_t>(0, 4);
  return index < 4 ? kAddresses[index] : in.ConsumeRandomLengthString(20);
}

// The reply as the other side takes it apart: LF, fields, CR.
void CheckReply(const std::string& reply, std::string_view head, std::size_t fields,
                const std::string& address) {
  FUZZ_REQUIRE(reply.size() >= 2 && reply.front() == '\n' && reply.back() == '\r');
  FUZZ_REQUIRE(reply.compare(1, head.size(), head) == 0);
  const std::size_t commas = static_cast<std::size_t>(std::count(reply.begin(), reply.end(), ','));
  const std::size_t addressCommas =
      static_cast<std::size_t>(std::count(address.begin(), address.end(), ','));
  FUZZ_REQUIRE(commas == fields - 1 + addressCommas);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  brivane::PendingRequests queue;
  std::vector<PendingRequest> modelQueue;
  brivane::DiscoveryMemory discovery;
  ModelDiscovery modelDiscovery;

  // The machine's addresses for the replies that do not know their arrival address.
  std::optional<std::vector<std::string>> table;
  if (in.ConsumeBool()) {
    table = std::vector<std::string>{};
    for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i) {
      table->push_back(PickAddress(in));
    }
  }
  const brivane::AddressTableReader reader = [&] { return table; };

  // Whole seconds UTC: anywhere a system clock can be, set back or forward as it goes.
  std::int64_t now = in.ConsumeIntegralInRange<std::int64_t>(0, std::int64_t{1} << 40);

  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
      // Reply step: every waiting request in place order, then an empty queue.
      const auto taken = queue.TakeAll();
      FUZZ_REQUIRE(taken.size() == modelQueue.size());
      for (std::size_t i = 0; i < taken.size(); ++i) {
        FUZZ_REQUIRE(SameRequest(taken[i], modelQueue[i]));
      }
      modelQueue.clear();
      FUZZ_REQUIRE(queue.Count() == 0);

      for (const auto& request : taken) {
        brivane::StatusValues values;
        values.serviceAddress = brivane::ChooseServiceAddress(request.localAddress, reader);
        std::string expected = "127.0.0.1";
        if (!request.localAddress.empty()) {
          expected = request.localAddress;
        } else if (table) {
          const auto first = std::find_if(table->begin(), table->end(),
                                          [](const std::string& a) { return a != "127.0.0.1"; });
          if (first != table->end()) {
            expected = *first;
          }
        }
        FUZZ_REQUIRE(values.serviceAddress == expected);
        values.tcpPort = in.ConsumeIntegral<std::uint16_t>();
        values.equipment.FXCount = in.ConsumeIntegralInRange(0, 10);
        values.equipment.MXCount = in.ConsumeIntegralInRange(0, 11);
        values.equipment.FNDCDetected = in.ConsumeBool();
        values.COMPort = in.ConsumeIntegralInRange(0, 255);
        values.CommPort = in.ConsumeIntegralInRange(0, 255);
        values.PortOpen = in.ConsumeBool();
        values.TCPConnectionCount = in.ConsumeIntegralInRange(0, 100);
        if (request.kind == RequestKind::Discovery) {
          CheckReply(brivane::BuildDiscoveryReply(values), "TCP", 6, values.serviceAddress);
        } else {
          CheckReply(brivane::BuildStatusReply(values), "SVCL", 10, values.serviceAddress);
        }
      }
      continue;
    }

    // A datagram arrives.
    const std::string payload = PickPayload(in);
    PendingRequest request;
    request.senderAddress = PickAddress(in);
    request.senderPort = in.ConsumeIntegral<std::uint16_t>();
    request.localAddress = in.ConsumeBool() ? PickAddress(in) : std::string();
    now += in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int64_t>(-3, 5)
                            : in.ConsumeIntegralInRange<std::int64_t>(-100000000, 100000000);

    if (payload == brivane::kDiscoveryRequest) {
      request.kind = RequestKind::Discovery;
      const bool admitted = discovery.Admit(request.senderAddress, now);
      FUZZ_REQUIRE(admitted == modelDiscovery.Admit(request.senderAddress, now));
      if (!admitted) {
        continue;
      }
    } else if (payload == brivane::kStatusRequest) {
      request.kind = RequestKind::Status;
    } else {
      // Anything else, near misses included, is no request.
      FUZZ_REQUIRE(payload != "OrvaTCP" && payload != "SvcCon");
      continue;
    }
    const bool added = queue.Add(request);
    FUZZ_REQUIRE(added == (modelQueue.size() < brivane::PendingRequests::kSize));
    if (added) {
      modelQueue.push_back(request);
    }
    FUZZ_REQUIRE(queue.Count() == modelQueue.size());
  }
  return 0;
}
