// Against chronyd on port 123, the port the program always asks, at this run's own address.
#include "AppTestSupport.h"
#include "tests/common/ChronyServer.h"

#include "app/ConsoleRun.h"
#include "app/SyncDlg.h"
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

// The look-up line and the report of an answer from the loopback chronyd: today's UTC date
// and the small offset of a server that serves this machine's own clock.
void ExpectLookupAndReport(const QStringList& lines, const char* server = kChronyAddress)
{
    ASSERT_GE(lines.size(), 6) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], QString::fromStdString(SyncSteps::LookupLine(server)));
    EXPECT_EQ(lines[1], "Time was successfully retreived");
    EXPECT_EQ(lines[2], "CLIENT DESTINATION DATE:");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    EXPECT_TRUE(lines[3].startsWith(now.toString("         dd/MM/yyyy, ")) ||
                lines[3].startsWith(now.addSecs(-5).toString("         dd/MM/yyyy, ")))
        << lines[3].toStdString();
    EXPECT_EQ(lines[4], "LOCAL CLOCK OFFSET:");
    EXPECT_TRUE(lines[5].startsWith("         ") && lines[5].endsWith(" seconds"));
    bool number = false;
    EXPECT_LT(std::abs(lines[5].mid(9).chopped(8).toDouble(&number)), 0.5);
    EXPECT_TRUE(number) << lines[5].toStdString();
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
        m_dlg.SetExeDir(m_folder.Path());
        m_dlg.SetLogPace(1ms);
        m_dlg.m_sntpClient->SetClockApi(m_clock);
    }

    static inline ChronyServer s_chrony{
        ChronyServer::Options{.port = 123, .address = RunAddress(1)}};
    TempExeDir m_folder;
    FakeClock m_clock;
    CSyncDlg m_dlg;
};

// A typed server is used as it is, trailing blanks and all; "Adjust" then sets the clock once
// by the measured offset without asking again.
TEST_F(ChronyTest, OkReportsAndAdjustAppliesItsOffset)
{
    const std::string padded = std::string(kChronyAddress) + "  ";
    m_dlg.OnInitDialog();
    m_dlg.m_comboServer->setEditText(QString::fromStdString(padded));
    m_dlg.OnOK();
    ASSERT_TRUE(WaitIdle(m_dlg));
    ExpectLookupAndReport(LogLines(m_dlg), padded.c_str());
    const double offset = m_dlg.m_lastReply.clockOffset;
    m_dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(m_dlg));
    EXPECT_EQ(LogLines(m_dlg), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(m_clock.Settings().size(), 1u);
    EXPECT_NEAR(
        CNtpTimestamp::FromSystemTime(m_clock.Settings()[0]).Difference(CNtpTimestamp::Now()),
        offset, 0.5);
}

// The window's command-line run reports, and with a Y sets the clock once and forgets the
// offset; the console mode prints the same lines and tells by its exit code how it went.
TEST_F(ChronyTest, CommandLineRunsInTheWindowAndOnTheConsole)
{
    const std::tuple<const char*, bool, const char*, int> flags[] = {
        {"y", true, SyncSteps::kAdjusted, 0},
        {"yes", false, SyncSteps::kAdjustFailed, 1},
        {"n", true, nullptr, 0},
    };
    for (const auto& [flag, clockSets, lastLine, exitCode] : flags) {
        SCOPED_TRACE(flag);
        FakeClock clock(clockSets);
        CSyncDlg dlg;
        dlg.SetExeDir(m_folder.Path());
        dlg.SetLogPace(1ms);
        dlg.m_sntpClient->SetClockApi(clock);
        dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, flag}));
        dlg.OnInitDialog();
        ASSERT_TRUE(WaitIdle(dlg));
        const QStringList lines = LogLines(dlg);
        ExpectLookupAndReport(lines);
        EXPECT_EQ(lines.value(6), lastLine ? QString(lastLine) : QString());
        EXPECT_EQ(clock.Settings().size(), lastLine ? 1u : 0u);
        EXPECT_EQ(dlg.m_lastReply.destination.Value() == 0, lastLine && clockSets);

        std::ostringstream out;
        const std::string upper = CommandLine::Parse({"", flag}).flag;
        EXPECT_EQ(ConsoleRun(out, clock).Run(kChronyAddress, upper), exitCode);
        const QStringList printed =
            QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
        ExpectLookupAndReport(printed);
        EXPECT_EQ(printed.size(), lines.size());
        EXPECT_EQ(printed.value(6), lines.value(6));
    }
}

} // namespace
