#include "sntp/SntpPacket.h"

#include <gtest/gtest.h>

TEST(SntpPacket, OffsetAndDelayFromTheFourTimes)
{
    const CNtpTimestamp t1(100, 0);
    uint8_t answer[kSntpRequestSize] = {0x24, 2};
    t1.ToNetwork(answer + 24);
    t1.AddSeconds(0.6).ToNetwork(answer + 32);
    t1.AddSeconds(0.7).ToNetwork(answer + 40);
    SntpReply reply;
    ASSERT_TRUE(ParseSntpAnswer(answer, sizeof answer, t1.AddSeconds(0.3), reply));
    EXPECT_NEAR(reply.clockOffset, 0.5, 1e-9);
    EXPECT_NEAR(reply.roundTripDelay, 0.2, 1e-9);
}
