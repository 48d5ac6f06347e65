// Against chronyd on port 123, the port the program always asks, at this run's own address.
#include "AppTestSupport.h"
#include "tests/common/ChronyServer.h"

#include "app/ConsoleRun.h"
#include "app/SyncDlg.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"
#include "sntp/NtpTimestamp.h"

#include <QDateTime>
#include <QProcess>

#include <gtest/gtest.h>

#include <sstream>

namespace
{

using namespace std::chrono_literals;

QStringList Split(const QByteArray& text)
{
    QStringList lines = QString::fromUtf8(text).split('\n');
    lines.removeAll(QString());
    return lines;
}

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

    // Presses "OK" with server typed into the selector; the log once all is written.
    QStringList Retrieve(const char* server)
    {
        m_dlg.OnInitDialog();
        m_dlg.m_comboServer->setEditText(server);
        m_dlg.OnOK();
        EXPECT_TRUE(WaitIdle(m_dlg));
        return LogLines(m_dlg);
    }

    static inline ChronyServer s_chrony{
        ChronyServer::Options{.port = 123, .address = RunAddress(1)}};
    TempExeDir m_folder;
    FakeClock m_clock;
    CSyncDlg m_dlg;
};

TEST_F(ChronyTest, OkReportsATypedServerUsedWithItsTrailingBlanks)
{
    ExpectLookupAndReport(Retrieve(kChronyAddress));
    const std::string padded = std::string(kChronyAddress) + "  ";
    ExpectLookupAndReport(Retrieve(padded.c_str()), padded.c_str());
}

TEST_F(ChronyTest, AdjustAfterARetrieveSetsTheClockOnceWithoutAsking)
{
    ExpectLookupAndReport(Retrieve(kChronyAddress));
    const double offset = m_dlg.m_lastReply.clockOffset;
    m_dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(m_dlg));
    EXPECT_EQ(LogLines(m_dlg), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(m_clock.Settings().size(), 1u);
    EXPECT_NEAR(
        CNtpTimestamp::FromSystemTime(m_clock.Settings()[0]).Difference(CNtpTimestamp::Now()),
        offset, 0.5);
}

// The window's command-line run: report, and with a Y the clock set once and the offset
// forgotten; the console mode prints the same lines and says by its exit code how it went.
struct FlagCase {
    const char* flag;
    bool clockSets;
    const char* lastLine; // after the report; null for none
    int exitCode;
};

class CommandLineRunTest : public ChronyTest, public testing::WithParamInterface<FlagCase>
{
};

TEST_P(CommandLineRunTest, ReportsAndWithYSetsTheClock)
{
    const FlagCase& c = GetParam();
    FakeClock clock(c.clockSets);
    m_dlg.m_sntpClient->SetClockApi(clock);
    m_dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, c.flag}));
    m_dlg.OnInitDialog();
    ASSERT_TRUE(WaitIdle(m_dlg));
    const QStringList lines = LogLines(m_dlg);
    ExpectLookupAndReport(lines);
    EXPECT_EQ(lines.value(6), c.lastLine ? QString(c.lastLine) : QString());
    EXPECT_EQ(clock.Settings().size(), c.lastLine ? 1u : 0u);
    EXPECT_EQ(m_dlg.m_lastReply.destination.Value() == 0, c.lastLine && c.clockSets);

    std::ostringstream out;
    EXPECT_EQ(ConsoleRun(out, clock).Run(kChronyAddress, CommandLine::Parse({"", c.flag}).flag),
              c.exitCode);
    const QStringList printed = Split(QByteArray::fromStdString(out.str()));
    ExpectLookupAndReport(printed);
    EXPECT_EQ(printed.size(), lines.size());
    EXPECT_EQ(printed.value(6), lines.value(6));
}

INSTANTIATE_TEST_SUITE_P(Flags, CommandLineRunTest,
                         testing::Values(FlagCase{"y", true, SyncSteps::kAdjusted, 0},
                                         FlagCase{"yes", false, SyncSteps::kAdjustFailed, 1},
                                         FlagCase{"n", true, nullptr, 0},
                                         FlagCase{"x", true, nullptr, 0}));

struct Finished {
    int exitCode;
    QStringList out;
    QStringList err;
};

Finished RunProgram(const QStringList& args)
{
    QProcess program;
    program.start(QStringLiteral(HORALINK_BINARY), args);
    program.waitForFinished(15000);
    return {program.exitCode(), Split(program.readAllStandardOutput()),
            Split(program.readAllStandardError())};
}

TEST_F(ChronyTest, TheProgramsConsoleMode)
{
    Finished run = RunProgram({"--console", kChronyAddress});
    EXPECT_EQ(run.exitCode, 0);
    ExpectLookupAndReport(run.out);

    run = RunProgram({"--console", kRefusingAddress, "n"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QStringList({QString::fromStdString(SyncSteps::LookupLine(kRefusingAddress)),
                                    SyncSteps::kRetrieveFailed}));

    run = RunProgram({"--console", QString(300, 's'), "y"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.size(), 1);

    // Without CAP_SYS_TIME, as every test runs, the program cannot set the clock and says so.
    if (!HoldsClockCapability()) {
        run = RunProgram({"--console", kChronyAddress, "y"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out.value(6), SyncSteps::kAdjustFailed);
    }
}

} // namespace
