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

// The window's command-line run reports, and with a Y sets the clock once by the measured
// offset (through the window's thread) and forgets it, so the next "Adjust" asks again. The
// console mode prints the same lines and tells by its exit code how it went.
TEST(Chrony, CommandLineRunsInTheWindowAndOnTheConsole)
{
    if (const std::string taken = Port123Taken(); !taken.empty()) {
        GTEST_SKIP() << taken;
    }
    ChronyServer chrony({.port = 123, .address = kChronyAddress});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    TempExeDir folder;
    FakeClock clock;
    CSyncDlg dlg;
    dlg.SetExeDir(folder.Path());
    dlg.SetLogPace(1ms);
    dlg.m_sntpClient->SetClockApi(clock);
    dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, "y"}));
    dlg.OnInitDialog();
    ASSERT_TRUE(WaitIdle(dlg));
    const QStringList lines = LogLines(dlg);
    ExpectLookupAndReport(lines);
    EXPECT_EQ(lines.value(6), SyncSteps::kAdjusted);
    ASSERT_EQ(clock.Settings().size(), 1u);
    const CNtpTimestamp set = CNtpTimestamp::FromSystemTime(clock.Settings()[0]);
    EXPECT_NEAR(set.Difference(CNtpTimestamp::Now()), lines[5].mid(9).chopped(8).toDouble(), 0.5);

    dlg.m_comboServer->setEditText(kChronyAddress);
    dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(dlg));
    ExpectLookupAndReport(LogLines(dlg));
    EXPECT_EQ(clock.Settings().size(), 1u);

    for (const auto& [flag, clockSets, exitCode] :
         {std::tuple{"n", true, 0}, {"yes", true, 0}, {"yes", false, 1}}) {
        FakeClock console(clockSets);
        std::ostringstream out;
        EXPECT_EQ(ConsoleRun(out, console).Run(kChronyAddress, CommandLine::Parse({"", flag}).flag),
                  exitCode);
        const QStringList printed =
            QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
        ExpectLookupAndReport(printed);
        EXPECT_EQ(printed.size(), flag[0] == 'n' ? 6 : 7);
        EXPECT_EQ(console.Settings().size(), flag[0] == 'n' ? 0u : 1u);
    }
}

} // namespace
