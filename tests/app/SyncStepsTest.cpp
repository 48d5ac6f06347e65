#include "app/SyncSteps.h"

#include <gtest/gtest.h>

#include <clocale>

namespace
{

struct ReportCase {
    const char* name;
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
    const ReportCase& c = GetParam();
    SntpReply reply;
    reply.destination = CNtpTimestamp::FromSystemTime(c.destination);
    reply.clockOffset = c.offset;
    const std::vector<std::string> expected = {"Time was successfully retreived",
                                               "CLIENT DESTINATION DATE:", c.dateLine,
                                               "LOCAL CLOCK OFFSET:", c.offsetLine};
    EXPECT_EQ(SyncSteps::ReportLines(reply), expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReportTest,
                         testing::Values(ReportCase{"SmallPositive",
                                                    {2024, 3, 2, 5, 7, 9, 42, 7},
                                                    0.123456,
                                                    "         05/03/2024, 07:09:42.007",
                                                    "         0.123456 seconds"},
                                         ReportCase{"NegativeKeepsItsSign",
                                                    {2031, 12, 3, 31, 23, 59, 59, 999},
                                                    -2.5,
                                                    "         31/12/2031, 23:59:59.999",
                                                    "         -2.500000 seconds"},
                                         ReportCase{"RoundsToSixDecimals",
                                                    {2000, 1, 6, 1, 0, 0, 0, 0},
                                                    -0.0000004,
                                                    "         01/01/2000, 00:00:00.000",
                                                    "         -0.000000 seconds"},
                                         ReportCase{"LargeOffset",
                                                    {2026, 6, 1, 15, 12, 30, 5, 500},
                                                    86400.5,
                                                    "         15/06/2026, 12:30:05.500",
                                                    "         86400.500000 seconds"}),
                         [](const testing::TestParamInfo<ReportCase>& test) {
                             return test.param.name;
                         });

// The user's locale may write decimal commas; the report always has a point.
TEST(ReportTest, IgnoresTheProcessLocale)
{
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no German locale on this machine";
    }
    SntpReply reply;
    reply.clockOffset = 1.5;
    const std::string offsetLine = SyncSteps::ReportLines(reply)[4];
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(offsetLine, "         1.500000 seconds");
}

TEST(SyncSteps, TextsOfTheLookUpAndTheFlag)
{
    EXPECT_EQ(SyncSteps::LookupLine("pool.ntp.org "), "Looking up   --- pool.ntp.org  ---");
    EXPECT_TRUE(SyncSteps::FlagSetsClock("NOYES"));
    EXPECT_FALSE(SyncSteps::FlagSetsClock("N"));
    EXPECT_FALSE(SyncSteps::FlagSetsClock("y")); // flags arrive upper-cased
}

} // namespace
