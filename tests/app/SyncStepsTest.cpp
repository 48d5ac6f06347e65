#include "app/SyncSteps.h"

#include <gtest/gtest.h>

namespace
{

struct ReportCase {
    SYSTEMTIME destination;
    double offset;
    const char* dateLine;
    const char* offsetLine;
};

class ReportTest : public testing::TestWithParam<ReportCase>
{
};

TEST_P(ReportTest, FormatsTheFiveLines)
{
    SntpReply reply;
    reply.destination = CNtpTimestamp::FromSystemTime(GetParam().destination);
    reply.clockOffset = GetParam().offset;
    const std::vector<std::string> expected = {"Time was successfully retreived",
                                               "CLIENT DESTINATION DATE:", GetParam().dateLine,
                                               "LOCAL CLOCK OFFSET:", GetParam().offsetLine};
    EXPECT_EQ(SyncSteps::ReportLines(reply), expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReportTest,
                         testing::Values(ReportCase{{2024, 3, 2, 5, 7, 9, 42, 7},
                                                    0.123456,
                                                    "         05/03/2024, 07:09:42.007",
                                                    "         0.123456 seconds"},
                                         ReportCase{{2031, 12, 3, 31, 23, 59, 59, 999},
                                                    -2.5,
                                                    "         31/12/2031, 23:59:59.999",
                                                    "         -2.500000 seconds"},
                                         ReportCase{{2026, 6, 1, 15, 12, 30, 5, 500},
                                                    86400.5,
                                                    "         15/06/2026, 12:30:05.500",
                                                    "         86400.500000 seconds"}));

} // namespace
