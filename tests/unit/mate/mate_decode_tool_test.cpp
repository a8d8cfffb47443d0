#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/mate-decode/decode_options.h"
#include "tools/mate-decode/page_lines.h"

namespace {

using brivane::decode::ParseBridgeAddress;
using brivane::decode::ParseDecodeOptions;

TEST(MateDecodeTool, BridgeAddressesAndOptions) {
  struct Case {
    std::string text;
    std::string host;
    int port;  // 0: refused
  };
  for (const Case& c : std::vector<Case>{{"127.0.0.1", "127.0.0.1", 8467},
                                         {"pi.local:9000", "pi.local", 9000},
                                         {"[::1]:8000", "::1", 8000},
                                         {"[::1]", "::1", 8467},
                                         {"::1", "::1", 8467},
                                         {"host:", "", 0},
                                         {"host:0", "", 0},
                                         {"host:65536", "", 0},
                                         {"host:12x", "", 0},
                                         {":8467", "", 0},
                                         {"[::1]8467", "", 0},
                                         {"", "", 0}}) {
    const auto address = ParseBridgeAddress(c.text);
    if (c.port == 0) {
      EXPECT_FALSE(address) << c.text;
    } else {
      ASSERT_TRUE(address) << c.text;
      EXPECT_EQ(address->host, c.host) << c.text;
      EXPECT_EQ(address->port, c.port) << c.text;
    }
  }
  EXPECT_TRUE(ParseDecodeOptions({"--help"}).options->help);
  EXPECT_FALSE(ParseDecodeOptions({"--bridge"}).options);
  EXPECT_FALSE(ParseDecodeOptions({"--bridges", "x"}).options);
  EXPECT_EQ(ParseDecodeOptions({"--bridge", "a:1"}).options->bridge->port, 1);
}

TEST(MateDecodeTool, PagesBecomeJsonLinesAndRejectionsNameTheirReason) {
  std::vector<std::string> pages;
  std::vector<std::string> rejections;
  brivane::decode::PageLines lines([&](const std::string& line) { pages.push_back(line); },
                                   [&](const std::string& line) { rejections.push_back(line); });
  const auto now = std::chrono::system_clock::now();
  lines.Feed("Brivane Pro v1.0.0 - x\r\n\nB,00,24,18,082,045,05,65,000,02,264,01", now);
  EXPECT_TRUE(pages.empty());
  lines.Feed("05,00,088\r\n0,00,00,00,119,000,00,00,000,01,254,008,000,032\r\n\"\x01\r", now);
  ASSERT_EQ(pages.size(), 1u);
  const auto json = nlohmann::json::parse(pages[0]);
  EXPECT_EQ(json["device"], "mx_2");
  EXPECT_EQ(json["charger_current"], 24.5);
  EXPECT_EQ(rejections,
            (std::vector<std::string>{
                "mate-decode: rejected \"0,00,00,00,119,000,00,00,000,01,254,008,000,032\": "
                "checksum is 032, the digits add up to 031",
                "mate-decode: rejected \"\\x22\\x01\": page is 2 characters long, not 47"}));
  const std::string longLine = "\n" + std::string(500, '1') + "\r";
  lines.Feed(longLine, now);
  EXPECT_EQ(rejections.back(), "mate-decode: rejected \"" + std::string(80, '1') +
                                   "...\": page is 500 characters long, not 47");
}

}  // namespace
