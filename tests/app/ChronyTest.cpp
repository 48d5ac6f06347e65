// Against chronyd on port 123, the port the program always asks, at this run's own address.
#include "AppTestSupport.h"

#include "app/ConsoleRun.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"
#include "sntp/NtpTimestamp.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace
{

using namespace std::chrono_literals;

// The look-up line and the report of an answer from the loopback chronyd, which serves this
// machine's own clock: a small offset.
void ExpectLookupAndReport(const QStringList& lines)
{
    ASSERT_GE(lines.size(), 6) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], QString::fromStdString(SyncSteps::LookupLine(kChronyAddress)));
    EXPECT_EQ(lines.mid(1, 2),
              QStringList({"Time was successfully retreived", "CLIENT DESTINATION DATE:"}));
    EXPECT_TRUE(
        lines[3].startsWith(QDateTime::currentDateTimeUtc().toString("         dd/MM/yyyy, ")));
    EXPECT_EQ(lines[4], "LOCAL CLOCK OFFSET:");
    bool number = false;
    EXPECT_LT(std::abs(lines[5].mid(9).chopped(8).toDouble(&number)), 0.5);
    EXPECT_TRUE(number && lines[5].endsWith(" seconds")) << lines[5].toStdString();
}

class ChronyTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_chrony.Start(); }
    static void TearDownTestSuite() { s_chrony.Stop(); }

    void SetUp() override
    {
        if (const std::string taken = Port123Taken(); !taken.empty()) {
            GTEST_SKIP() << taken;
        }
        ASSERT_TRUE(s_chrony.Running()) << s_chrony.Error();
    }

    static inline ChronyServer s_chrony{
        ChronyServer::Options{.port = 123, .address = RunAddress(1)}};
    TempExeDir m_folder;
};

// The window's command-line run reports, and with a Y sets the clock once by the measured
// offset (through the window's thread) and forgets it; the next "Adjust" asks again.
TEST_F(ChronyTest, CommandLineRunWithYReportsAndSetsTheClockOnce)
{
    FakeClock clock;
    CSyncDlg dlg;
    dlg.SetExeDir(m_folder.Path());
    dlg.SetLogPace(1ms);
    dlg.m_sntpClient->SetClockApi(clock);
    dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, "y"}));
    dlg.OnInitDialog();
    ASSERT_TRUE(WaitIdle(dlg));
    const QStringList lines = LogLines(dlg);
    ExpectLookupAndReport(lines);
    EXPECT_EQ(lines.value(6), SyncSteps::kAdjusted);
    ASSERT_EQ(clock.Settings().size(), 1u);
    const double offset = lines[5].mid(9).chopped(8).toDouble();
    EXPECT_NEAR(CNtpTimestamp::FromSystemTime(clock.Settings()[0]).Difference(CNtpTimestamp::Now()),
                offset, 0.5);
    EXPECT_EQ(dlg.m_lastReply.destination.Value(), 0u);

    dlg.m_comboServer->setEditText(kChronyAddress);
    dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(dlg));
    ExpectLookupAndReport(LogLines(dlg));
    EXPECT_EQ(clock.Settings().size(), 1u);
}

// The console mode prints the same lines and tells by its exit code how it went.
TEST_F(ChronyTest, TheConsoleModeReportsAndTellsAFailedSettingByItsExitCode)
{
    for (const auto& [flag, clockSets, exitCode] :
         {std::tuple{"n", true, 0}, {"yes", true, 0}, {"yes", false, 1}}) {
        FakeClock clock(clockSets);
        std::ostringstream out;
        EXPECT_EQ(ConsoleRun(out, clock).Run(kChronyAddress, CommandLine::Parse({"", flag}).flag),
                  exitCode);
        const QStringList printed =
            QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
        ExpectLookupAndReport(printed);
        EXPECT_EQ(printed.size(), flag[0] == 'n' ? 6 : 7);
        EXPECT_EQ(clock.Settings().size(), flag[0] == 'n' ? 0u : 1u);
    }
}

} // namespace
