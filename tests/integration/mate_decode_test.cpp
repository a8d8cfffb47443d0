// mate-decode against the real service fed by mate-sim, and against bytes that are no
// pages at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "tests/support/bridge_service.h"
#include "tests/support/child_process.h"
#include "tests/support/mate_sim_process.h"
#include "tests/support/ports.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;

fs::path Program(const std::string& name) {
  const char* bin = std::getenv("BRIVANE_BIN_DIR");
  return fs::path(bin != nullptr ? bin : "") / name;
}

SpawnOptions WithArguments(std::vector<std::string> args) {
  SpawnOptions options;
  options.args = std::move(args);
  return options;
}

std::unique_ptr<ChildProcess> DecodeBridge(std::uint16_t port) {
  return std::make_unique<ChildProcess>(
      Program("mate-decode"), WithArguments({"--bridge", "127.0.0.1:" + std::to_string(port)}));
}

// Every line of standard output a JSON object; their "device" names.
std::set<std::string> Devices(const std::vector<std::string>& lines) {
  std::set<std::string> devices;
  for (const auto& line : lines) {
    const auto json = nlohmann::json::parse(line);
    devices.insert(json.at("device").get<std::string>());
  }
  return devices;
}

TEST(MateDecodeProgram, EverySimulatedPageThroughTheBridgeDecodes) {
  MateSim sim({"--devices", "0,:,A,J,a,j", "--rate", "5"});
  ASSERT_FALSE(sim.Path().empty());
  BridgeService service(1, {{1, sim.Path()}});
  ASSERT_TRUE(service.Started());
  auto decoder = DecodeBridge(service.Port());
  const std::set<std::string> all = {"fx_0", "fx_10", "mx_1", "mx_10", "fndc_1", "fndc_10"};
  // Four cycles: each simulated FLEXnet DC shows several kinds of extra data.
  EXPECT_TRUE(WaitFor([&] { return decoder->StdoutLines().size() >= 24; }, kPatience));
  ASSERT_TRUE(service.Stop(kPatience));
  EXPECT_EQ(decoder->WaitForExit(kPatience), 0) << "ends when the bridge closes";
  EXPECT_EQ(Devices(decoder->StdoutLines()), all);
  EXPECT_THAT(decoder->StderrLines(), IsEmpty());
}

TEST(MateDecodeProgram, ReplayedWorkedExamplesArriveVerbatimAndDecode) {
  const fs::path examples = fs::path(BRIVANE_SOURCE_DIR) / "tools/mate-sim/worked-examples.txt";
  std::vector<std::string> expected;
  std::ifstream file(examples);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line[0] != '#') {
      expected.push_back(line);
    }
  }
  ASSERT_EQ(expected.size(), 9u);
  MateSim sim({"--replay", examples.string(), "--rate", "10"});
  ASSERT_FALSE(sim.Path().empty());
  BridgeService service(1, {{1, sim.Path()}});
  ASSERT_TRUE(service.Started());
  auto decoder = DecodeBridge(service.Port());
  std::set<std::string> raw;
  ASSERT_TRUE(WaitFor(
      [&] {
        raw.clear();
        for (const auto& line : decoder->StdoutLines()) {
          raw.insert(nlohmann::json::parse(line).at("raw").get<std::string>());
        }
        return raw.size() == expected.size();
      },
      kPatience));
  EXPECT_EQ(raw, std::set<std::string>(expected.begin(), expected.end()));
  EXPECT_THAT(decoder->StderrLines(), IsEmpty());
}

TEST(MateDecodeProgram, RandomBytesGiveNoJsonAndEveryRejectionNamesItsReason) {
  const fs::path input =
      fs::temp_directory_path() / ("mate-decode-test-" + std::to_string(getpid()));
  {
    std::mt19937 random(7);
    std::string bytes(100000, '\0');
    for (char& c : bytes) {
      c = static_cast<char>(random());
    }
    // One true page after the noise, cut off from it by a line feed, still decodes.
    bytes += "\n\n0,00,00,00,119,000,00,00,000,01,254,008,000,031\r";
    std::ofstream(input, std::ios::binary) << bytes;
  }
  ChildProcess decoder("/bin/sh", WithArguments({"-c", "exec \"$0\" <\"$1\"",
                                                 Program("mate-decode").string(), input.string()}));
  EXPECT_EQ(decoder.WaitForExit(kPatience), 0);
  fs::remove(input);
  ASSERT_EQ(decoder.StdoutLines().size(), 1u);
  EXPECT_EQ(Devices(decoder.StdoutLines()), std::set<std::string>{"fx_0"});
  const std::regex rejection(
      R"(mate-decode: rejected "[ -~]*": (page is \d+ characters long, not 47|unknown address '.*'|)"
      R"(\d+ fields, .* has \d+|field \d+ is \d+ characters wide, not \d+|)"
      R"(character \d+ is '.*', not a digit|checksum is \d{3}, the digits add up to \d{3}))");
  ASSERT_FALSE(decoder.StderrLines().empty());
  for (const auto& line : decoder.StderrLines()) {
    EXPECT_TRUE(std::regex_match(line, rejection)) << line;
  }
}

TEST(MateDecodeProgram, AnUnreachableBridgeIsOneLineAndStatusOne) {
  const std::uint16_t port = FreePort();
  auto decoder = DecodeBridge(port);
  EXPECT_EQ(decoder->WaitForExit(kPatience), 1);
  EXPECT_THAT(decoder->StdoutLines(), IsEmpty());
  ASSERT_EQ(decoder->StderrLines().size(), 1u);
  EXPECT_THAT(decoder->StderrLines()[0],
              ::testing::StartsWith("mate-decode: cannot reach the bridge at 127.0.0.1:" +
                                    std::to_string(port) + ": "));
}

}  // namespace
}  // namespace brivane::testkit
