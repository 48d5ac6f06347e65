// Runs against chronyd on 127.0.0.1 port 123, the port the program always asks.
#include "AppTestSupport.h"
#include "tests/common/ChronyServer.h"

#include "app/ConsoleRun.h"
#include "app/SyncDlg.h"
#include "app/SyncSteps.h"
#include "platform/SystemTime.h"

#include <QComboBox>
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
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// The five report lines of an answer from the loopback chronyd: today's UTC date, and the
// offset of a server that serves this machine's own clock.
void ExpectReport(const QStringList& report)
{
    ASSERT_EQ(report.size(), 5) << report.join('|').toStdString();
    EXPECT_EQ(report[0], "Time was successfully retreived");
    EXPECT_EQ(report[1], "CLIENT DESTINATION DATE:");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString today = now.toString("         dd/MM/yyyy, ");
    const QString justNow = now.addSecs(-5).toString("         dd/MM/yyyy, ");
    EXPECT_TRUE(report[2].startsWith(today) || report[2].startsWith(justNow))
        << report[2].toStdString();
    EXPECT_EQ(report[3], "LOCAL CLOCK OFFSET:");
    ASSERT_TRUE(report[4].startsWith("         ") && report[4].endsWith(" seconds"));
    bool number = false;
    const double offset = report[4].mid(9).chopped(8).toDouble(&number);
    EXPECT_TRUE(number) << report[4].toStdString();
    EXPECT_LT(std::abs(offset), 0.5);
}

class ChronyTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_chrony = std::make_unique<ChronyServer>(ChronyServer::Options{.port = 123});
        s_chrony->Start();
    }
    static void TearDownTestSuite() { s_chrony.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_chrony->Running()) << s_chrony->Error();
        m_dlg.SetExeDir(m_folder.Path());
        m_dlg.SetLogPace(1ms);
        m_dlg.m_sntpClient->SetClockApi(m_clock);
    }

    // Presses "OK" with server typed into the selector; the log's lines once all is written.
    QStringList Retrieve(const char* server)
    {
        m_dlg.OnInitDialog();
        m_dlg.m_comboServer->setEditText(server);
        m_dlg.OnOK();
        EXPECT_TRUE(WaitIdle(m_dlg));
        return LogLines(m_dlg);
    }

    static std::unique_ptr<ChronyServer> s_chrony;
    TempExeDir m_folder;
    FakeClock m_clock;
    CSyncDlg m_dlg;
};

std::unique_ptr<ChronyServer> ChronyTest::s_chrony;

TEST_F(ChronyTest, OkWritesTheLookUpLineAndTheReport)
{
    const QStringList lines = Retrieve(kChronyAddress);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], "Looking up   --- 127.0.0.1 ---");
    ExpectReport(lines.mid(1));
    EXPECT_NE(m_dlg.m_lastReply.destination.Value(), 0u);
}

TEST_F(ChronyTest, ATypedServerIsUsedWithItsTrailingBlanks)
{
    const QStringList lines = Retrieve("127.0.0.1  ");
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], "Looking up   --- 127.0.0.1   ---");
    ExpectReport(lines.mid(1));
}

TEST_F(ChronyTest, AdjustAfterARetrieveSetsTheClockOnceWithoutAsking)
{
    ASSERT_EQ(Retrieve(kChronyAddress).size(), 6);
    const double offset = m_dlg.m_lastReply.clockOffset;

    m_dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(m_dlg));
    EXPECT_EQ(LogLines(m_dlg), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(m_clock.Settings().size(), 1u);
    const double moved =
        CNtpTimestamp::FromSystemTime(m_clock.Settings()[0]).Difference(CNtpTimestamp::Now());
    EXPECT_NEAR(moved, offset, 0.5);

    m_dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(m_dlg));
    EXPECT_EQ(LogLines(m_dlg).size(), 6);
    EXPECT_EQ(m_clock.Settings().size(), 1u);
}

struct CommandLineRun {
    const char* flag;
    const char* lastLine; // after the report; null for none
    bool keepsReply;
};

class ChronyCommandLineTest : public ChronyTest, public testing::WithParamInterface<CommandLineRun>
{
};

TEST_P(ChronyCommandLineTest, RetrievesAndWithYSetsTheClockOnce)
{
    m_dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, GetParam().flag}));
    m_dlg.OnInitDialog();
    ASSERT_TRUE(WaitIdle(m_dlg));
    const QStringList lines = LogLines(m_dlg);
    const bool adjusts = GetParam().lastLine != nullptr;
    ASSERT_EQ(lines.size(), adjusts ? 7 : 6) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], "Looking up   --- 127.0.0.1 ---");
    ExpectReport(lines.mid(1, 5));
    if (adjusts) {
        EXPECT_EQ(lines[6], GetParam().lastLine);
    }
    EXPECT_EQ(m_clock.Settings().size(), adjusts ? 1u : 0u);
    EXPECT_EQ(m_dlg.m_lastReply.destination.Value() != 0, GetParam().keepsReply);
}

INSTANTIATE_TEST_SUITE_P(Flags, ChronyCommandLineTest,
                         testing::Values(CommandLineRun{"y", SyncSteps::kAdjusted, false},
                                         CommandLineRun{"yes", SyncSteps::kAdjusted, false},
                                         CommandLineRun{"n", nullptr, true},
                                         CommandLineRun{"x", nullptr, true}));

struct ConsoleCase {
    const char* server;
    const char* flag;
    bool clockSets;
    int exitCode;
    int lines;
};

class ConsoleTest : public ChronyTest, public testing::WithParamInterface<ConsoleCase>
{
};

TEST_P(ConsoleTest, PrintsThePanesLinesAndSaysWhetherItWorked)
{
    const ConsoleCase& c = GetParam();
    std::ostringstream out;
    FakeClock clock(c.clockSets);
    EXPECT_EQ(ConsoleRun(out, clock).Run(c.server, c.flag), c.exitCode);
    const QStringList lines = Split(QByteArray::fromStdString(out.str()));
    ASSERT_EQ(lines.size(), c.lines) << out.str();
    EXPECT_EQ(lines[0], QString::fromStdString(SyncSteps::LookupLine(c.server)));
}

INSTANTIATE_TEST_SUITE_P(Runs, ConsoleTest,
                         testing::Values(ConsoleCase{kChronyAddress, "N", true, 0, 6},
                                         ConsoleCase{kChronyAddress, "Y", true, 0, 7},
                                         ConsoleCase{kChronyAddress, "Y", false, 1, 7},
                                         ConsoleCase{kRefusingAddress, "N", true, 1, 2}));

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

TEST_F(ChronyTest, TheProgramsConsoleModeReportsAndExits)
{
    Finished run = RunProgram({"--console", kChronyAddress});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.out.size(), 6);
    ExpectReport(run.out.mid(1));

    run = RunProgram({"--console", kRefusingAddress, "n"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QStringList({"Looking up   --- 127.0.0.2 ---", SyncSteps::kRetrieveFailed}));

    run = RunProgram({"--console", QString(300, 's'), "y"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.size(), 1);
}

// Without CAP_SYS_TIME (as every test runs) the program cannot set the clock and says so.
TEST_F(ChronyTest, TheProgramReportsAClockItMayNotSet)
{
    if (HoldsClockCapability()) {
        GTEST_SKIP() << "this process could set the clock; run the tests without CAP_SYS_TIME";
    }
    const Finished run = RunProgram({"--console", kChronyAddress, "y"});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.out.size(), 7);
    EXPECT_EQ(run.out[6], SyncSteps::kAdjustFailed);
}

} // namespace
