#include "common/udp_wire.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

StatusValues Sample() {
  StatusValues values;
  values.serviceAddress = "192.168.1.20";
  values.tcpPort = 8467;
  values.equipment = EquipmentSeen{1, 2, false};
  values.COMPort = 0;
  values.CommPort = 3;
  values.PortOpen = true;
  values.TCPConnectionCount = 2;
  return values;
}

TEST(UdpWire, RequestKeywordsAreExactBytes) {
  EXPECT_EQ(kDiscoveryRequest, "OrvaTCP");
  EXPECT_EQ(kStatusRequest, "SvcCon");
}

TEST(UdpWire, DiscoveryReplyIsSixFieldsBetweenLineFeedAndCarriageReturn) {
  StatusValues values = Sample();
  EXPECT_EQ(BuildDiscoveryReply(values), "\nTCP1.0.0,192.168.1.20,8467,1,2,0\r");
  values.equipment = EquipmentSeen{10, 11, true};
  values.tcpPort = 65535;
  EXPECT_EQ(BuildDiscoveryReply(values), "\nTCP1.0.0,192.168.1.20,65535,10,11,1\r");
}

TEST(UdpWire, StatusReplyIsTenFieldsWithTrueOrFalseForThePort) {
  StatusValues values = Sample();
  EXPECT_EQ(BuildStatusReply(values), "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r");
  values.PortOpen = false;
  values.COMPort = 4;
  values.CommPort = 4;
  values.equipment.FNDCDetected = true;
  values.TCPConnectionCount = 100;
  EXPECT_EQ(BuildStatusReply(values), "\nSVCL1.0.0,192.168.1.20,8467,1,2,1,4,4,False,100\r");
  EXPECT_EQ(BuildStatusReply(StatusValues{}), "\nSVCL1.0.0,,0,0,0,0,0,0,False,0\r");
}

TEST(UdpWire, ParserReadsBackWhatTheServiceSends) {
  const auto fields = ParseStatusReply(BuildStatusReply(Sample()));
  ASSERT_TRUE(fields.has_value());
  const std::vector<std::string> expected = {
      "SVCL1.0.0", "192.168.1.20", "8467", "1", "2", "0", "0", "3", "True", "2"};
  EXPECT_EQ(*fields, expected);
}

TEST(UdpWire, ParserTakesAnyTenFieldsBehindTheSvcHead) {
  // Only the framing and the field count are checked; the console reads the values.
  const auto fields = ParseStatusReply("\nSVC,,,,,,,,,\r");
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->size(), 10u);
  EXPECT_EQ(fields->front(), "SVC");
  EXPECT_EQ(fields->back(), "");
  EXPECT_TRUE(ParseStatusReply("\nSVCL2.1.0,h,1,x,y,z,0,0,False,7\r").has_value());
}

TEST(UdpWire, ParserRejectsEverythingElse) {
  const std::string good = "\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r";
  EXPECT_FALSE(ParseStatusReply("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True\r"));      // 9
  EXPECT_FALSE(ParseStatusReply("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2,5\r"));  // 11
  EXPECT_FALSE(ParseStatusReply("\nSVCL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2,\r"));   // 11
  EXPECT_FALSE(ParseStatusReply(good.substr(0, good.size() - 1)));                       // no CR
  EXPECT_FALSE(ParseStatusReply(good + "\n"));     // CR not last
  EXPECT_FALSE(ParseStatusReply(good.substr(1)));  // no LF
  EXPECT_FALSE(ParseStatusReply("\r" + good.substr(1)));
  EXPECT_FALSE(ParseStatusReply("\nsvcL1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r"));
  EXPECT_FALSE(ParseStatusReply("\nTCP1.0.0,192.168.1.20,8467,1,2,0,0,3,True,2\r"));
  EXPECT_FALSE(ParseStatusReply(BuildDiscoveryReply(Sample())));
  EXPECT_FALSE(ParseStatusReply(""));
  EXPECT_FALSE(ParseStatusReply("\n"));
  EXPECT_FALSE(ParseStatusReply("\nS\r"));
  EXPECT_FALSE(ParseStatusReply("\nSVC"));
  EXPECT_FALSE(ParseStatusReply("\nSVC\r"));
}

}  // namespace
}  // namespace brivane
