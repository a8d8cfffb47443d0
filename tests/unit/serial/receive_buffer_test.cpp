#include "service/serial/receive_buffer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Feeds each read in turn and collects what is forwarded.
class Extraction {
 public:
  std::vector<std::string> Read(const std::string& received) {
    buffer.Append(received);
    std::vector<std::string> records;
    buffer.ExtractDataFromBuffer([&](const std::string& r) { records.push_back(r); });
    return records;
  }
  ReceiveBuffer buffer;
};

TEST(ReceiveBufferTest, CutsRecordsInOrderAndDropsTextOutsideThem) {
  Extraction x;
  EXPECT_THAT(x.Read("xyz\n1,00,01\r"), ElementsAre("1,00,01"));
  EXPECT_THAT(x.buffer.Text(), IsEmpty());
  EXPECT_FALSE(x.buffer.RecordOpen());

  // Text between a carriage return and the next line feed goes; the order stays.
  EXPECT_THAT(x.Read("\nA,1\rjunk\nB,2\r\r\n3,4\r"), ElementsAre("A,1", "B,2", "3,4"));

  // Text without a line feed while no record is open is discarded at once.
  EXPECT_THAT(x.Read("no line feed here"), IsEmpty());
  EXPECT_THAT(x.buffer.Text(), IsEmpty());
  EXPECT_FALSE(x.buffer.RecordOpen());
}

TEST(ReceiveBufferTest, RecordSplitOverReadsAndLineFeedsInsideAnOpenRecord) {
  Extraction x;
  EXPECT_THAT(x.Read("\nB,1,22"), IsEmpty());
  EXPECT_TRUE(x.buffer.RecordOpen());
  EXPECT_EQ(x.buffer.Text(), "\nB,1,22");
  // Text without a line feed joins the open record; a port change in between
  // makes no difference, the next carriage return completes it.
  EXPECT_THAT(x.Read("no line feed"), IsEmpty());
  EXPECT_THAT(x.Read(",33,44\r\n5,"), ElementsAre("B,1,22no line feed,33,44"));
  EXPECT_TRUE(x.buffer.RecordOpen());
  EXPECT_EQ(x.buffer.Text(), "\n5,");

  Extraction y;
  EXPECT_THAT(y.Read("\na,1\nb,2\r"), ElementsAre("a,1\nb,2"));
  // A second line feed while open does not start a new record.
  EXPECT_THAT(y.Read("\n\n\nc,3\r"), ElementsAre("\n\nc,3"));
}

TEST(ReceiveBufferTest, GuardAtRecordBoundaryDiscardsLongBuffersWhole) {
  std::string records;
  while (records.size() < 1100) {
    records += "\n1,00,01,02,03\r";
  }
  Extraction x;
  EXPECT_THAT(x.Read(records), IsEmpty());
  EXPECT_THAT(x.buffer.Text(), IsEmpty());

  // 1023 characters are still cut, 1024 are not.
  const std::string head = "\n2,";
  std::string justUnder = head + std::string(1023 - head.size() - 1, '9') + "\r";
  ASSERT_EQ(justUnder.size(), 1023u);
  EXPECT_EQ(x.Read(justUnder).size(), 1u);
  std::string atLimit = head + std::string(1024 - head.size() - 1, '9') + "\r";
  EXPECT_THAT(x.Read(atLimit), IsEmpty());

  // The guard is tested only between records: an open record may grow past it.
  EXPECT_THAT(x.Read("\n3,"), IsEmpty());
  const std::string longTail(3000, '7');
  EXPECT_THAT(x.Read(longTail + "\r"), ElementsAre("3," + longTail));
}

TEST(ReceiveBufferTest, OpenRecordIsBoundedAt64KiB) {
  Extraction x;
  EXPECT_THAT(x.Read("\n4,"), IsEmpty());
  EXPECT_THAT(x.Read(std::string(kOpenRecordLimit - 4, 'x')), IsEmpty());
  EXPECT_TRUE(x.buffer.RecordOpen());
  EXPECT_EQ(x.buffer.Text().size(), kOpenRecordLimit - 1);
  EXPECT_THAT(x.Read("x"), IsEmpty());
  EXPECT_FALSE(x.buffer.RecordOpen());
  EXPECT_THAT(x.buffer.Text(), IsEmpty());
  // The rest of the endless line is dropped and the next record comes through.
  EXPECT_THAT(x.Read("xx\r\n5,1\r"), ElementsAre("5,1"));
}

TEST(ReceiveBufferTest, ARecordEndingPastTheBoundInOneReadIsDroppedToo) {
  // Forwarded, such a record would overflow every client's send queue at once.
  Extraction x;
  EXPECT_THAT(x.Read("\n4,"), IsEmpty());
  const auto forwarded = x.Read(std::string(kOpenRecordLimit, 'x') + "\r\n5,1\r");
  ASSERT_EQ(forwarded.size(), 1u);
  EXPECT_EQ(forwarded[0], "5,1");
  EXPECT_FALSE(x.buffer.RecordOpen());
  // The longest record that fits, with its line feed and carriage return, stays a record.
  EXPECT_THAT(x.Read("\n6,"), IsEmpty());
  const std::string tail(kOpenRecordLimit - 4, 'y');
  EXPECT_THAT(x.Read(tail), IsEmpty());
  const auto longest = x.Read("\r");
  ASSERT_EQ(longest.size(), 1u);
  EXPECT_EQ(longest[0].size(), kOpenRecordLimit - 2);
}

TEST(ReceiveBufferTest, BytesAbove127AndEmptyRecordsPassThroughUnchanged) {
  Extraction x;
  const std::string record = "Z,\x80\xff\x7f\x01";
  EXPECT_THAT(x.Read("\xfe\n" + record + "\r"), ElementsAre(record));
  // Extraction itself forwards an empty record; ProcessRecord drops it.
  EXPECT_THAT(x.Read("\n\r"), ElementsAre(""));
}

}  // namespace
}  // namespace brivane
