// Byte streams cut into records by the MATE record framer and decoded page by page:
// never a crash, never a page accepted whose checksum does not add up, and every
// accepted page's JSON reads back as the same JSON.
//
// Input: 1 control byte (size of the pieces the stream is appended in, 0 = all at
// once), then the stream. Every record is decoded as it came, and once more with its
// last three characters replaced by the checksum of the rest, so that pages of every
// shape get past the checksum and through the value and JSON code.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "mate/decode.h"
#include "mate/page_json.h"
#include "mate/record_framer.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The checksum rule written out again: every character before the checksum's comma
// but the commas, each counted as its code minus 48.
int ModelChecksum(std::string_view page) {
  int sum = 0;
  for (char c : page.substr(0, page.rfind(','))) {
    if (c != ',') {
      sum += static_cast<unsigned char>(c) - 48;
    }
  }
  return sum;
}

void CheckDecoded(const std::string& record) {
  const auto result = mate::DecodePage(record);
  const auto* page = std::get_if<mate::Page>(&result);
  if (page == nullptr) {
    FUZZ_REQUIRE(!std::get<mate::Rejection>(result).reason.empty());
    return;
  }
  FUZZ_REQUIRE(page->raw.size() == 47);
  FUZZ_REQUIRE(page->raw == record);
  const std::string_view given = std::string_view(page->raw).substr(44);
  FUZZ_REQUIRE(page->raw[43] == ',');
  FUZZ_REQUIRE(ModelChecksum(page->raw) == std::stoi(std::string(given)));
  FUZZ_REQUIRE(page->port >= 0 && page->port <= 10);
  const auto json = mate::PageJson(*page, std::chrono::system_clock::time_point{});
  const std::string text = json.dump();
  FUZZ_REQUIRE(text.find('\n') == std::string::npos);
  const auto again = nlohmann::json::parse(text, nullptr, false);
  FUZZ_REQUIRE(!again.is_discarded());
  FUZZ_REQUIRE(again == json);
  FUZZ_REQUIRE(again.dump() == text);
  FUZZ_REQUIRE(again["device"] == mate::DeviceName(*page));
}

// The record with its checksum field made to match, where it has room for one.
void CheckRepaired(std::string record) {
  if (record.size() < 5 || record[record.size() - 4] != ',') {
    return;
  }
  const int sum = ModelChecksum(record);
  if (sum < 0 || sum > 999) {
    return;
  }
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", sum);
  record.replace(record.size() - 3, 3, digits);
  CheckDecoded(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  const std::size_t piece = data[0] == 0 ? size : data[0];
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

  // The whole input as one record, as a caller with its own framing may pass it.
  CheckDecoded(std::string(stream));

  mate::RecordFramer framer;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    framer.Append(stream.substr(at, piece));
    while (const auto record = framer.Next()) {
      FUZZ_REQUIRE(record->find_first_of("\n\r") == std::string::npos);
      FUZZ_REQUIRE(record->size() <= mate::kLongestRecordText);
      CheckDecoded(*record);
      CheckRepaired(*record);
    }
  }
  return 0;
}
