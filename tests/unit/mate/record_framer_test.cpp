#include "mate/record_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kPage = "0,00,00,00,119,000,00,00,000,01,254,008,000,031";

std::vector<std::string> Frame(const std::string& stream, std::size_t piece) {
  mate::RecordFramer framer;
  std::vector<std::string> records;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    framer.Append(std::string_view(stream).substr(at, piece));
    while (auto record = framer.Next()) {
      records.push_back(*record);
    }
  }
  return records;
}

TEST(MateRecordFramer, FindsRecordsInAnyPiecesPastJunkAndGreeting) {
  const std::string stream = "Brivane Pro v1.0 - support\r\n\n" + kPage + "\rjunk\r\n\n" + kPage +
                             "\rno line feed\r\n1,2\r\n" + kPage;
  const std::vector<std::string> expected = {kPage, kPage, "1,2"};
  for (std::size_t piece : {1u, 2u, 7u, 48u, 4096u}) {
    EXPECT_EQ(Frame(stream, piece), expected) << "pieces of " << piece;
  }
}

TEST(MateRecordFramer, DropsARecordThatNeverEnds) {
  std::string stream = "\n" + std::string(mate::kLongestRecordText + 5, '7') + "\r\n" + kPage +
                       "\r\n" + std::string(mate::kLongestRecordText, '8') + "\r";
  for (std::size_t piece : {1000u, 65536u, 1u << 20}) {
    const auto records = Frame(stream, piece);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], kPage);
    EXPECT_EQ(records[1].size(), mate::kLongestRecordText);
  }
}

}  // namespace
