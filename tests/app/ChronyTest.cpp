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

// The look-up line and the report of an answer from the loopback chronyd, which serves this
// machine's own clock: today's UTC date and a small offset.
static void ExpectLookupAndReport(const QStringList& lines,
                                  const std::string& server = kChronyAddress)
{
    ASSERT_GE(lines.size(), 6) << lines.join('|').toStdString();
    const QString date = QDateTime::currentDateTimeUtc().toString("         dd/MM/yyyy, ");
    EXPECT_EQ(QStringList({lines[0], lines[1], lines[2], lines[3].left(date.size()), lines[4]}),
              QStringList({QString::fromStdString(SyncSteps::LookupLine(server)),
                           "Time was successfully retreived", "CLIENT DESTINATION DATE:", date,
                           "LOCAL CLOCK OFFSET:"}));
    bool number = false;
    EXPECT_LT(std::abs(lines[5].mid(9).chopped(8).toDouble(&number)), 0.5);
    EXPECT_TRUE(number && lines[5].endsWith(" seconds")) << lines[5].toStdString();
}

// The window's command-line run reports, and with a Y sets the clock once by the measured
// offset (through the window's thread) and forgets it, so the next "Adjust" asks again, the
// typed server as it is. The console mode prints the same lines and tells by its exit code how
// it went.
TEST(Chrony, CommandLineRunsInTheWindowAndOnTheConsole)
{
    if (!IsUdpPortFree(123, kRefusingAddress)) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kRefusingAddress;
    }
    ChronyServer chrony({.port = 123, .address = kChronyAddress});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    FakeClock clock;
    TestWindow window;
    CSyncDlg& dlg = window.dlg;
    SyncDlgProbe::Client(dlg).SetClockApi(clock);
    dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, "y"}));
    dlg.OnInitDialog();
    ASSERT_TRUE(WaitIdle(dlg));
    const QStringList lines = LogLines(dlg);
    ExpectLookupAndReport(lines);
    EXPECT_EQ(lines.value(6), SyncSteps::kAdjusted);
    ASSERT_EQ(clock.m_settings.size(), 1u);
    EXPECT_NEAR(FromNow(clock.m_settings[0]), lines[5].mid(9).chopped(8).toDouble(), 0.5);

    Control<CIComboBox>(dlg, "comboServer")
        ->setEditText(QString::fromStdString(kChronyAddress + "  "));
    dlg.OnAdjust();
    ASSERT_TRUE(WaitIdle(dlg));
    ExpectLookupAndReport(LogLines(dlg), kChronyAddress + "  ");
    EXPECT_EQ(clock.m_settings.size(), 1u);

    for (const auto& [flag, clockSets, exitCode] :
         {std::tuple{"n", true, 0}, {"yes", true, 0}, {"yes", false, 3}}) {
        FakeClock console(clockSets);
        std::ostringstream out, err;
        EXPECT_EQ(ConsoleRun(out, err, console)
                      .Run(CommandLine::Parse({"--console", kChronyAddress, flag})),
                  exitCode);
        const QStringList printed =
            QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
        ExpectLookupAndReport(printed);
        EXPECT_EQ(printed.size(), flag[0] == 'n' ? 6 : 7);
        EXPECT_EQ(console.m_settings.size(), flag[0] == 'n' ? 0u : 1u);
    }
}

// The window's command line retrieves from an NTS server whose authority --nts-ca names.
TEST(Chrony, WindowRetrievesWithNts)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const std::string server = "nts://127.0.0.1:" + std::to_string(chrony.NtsPort());
    TestWindow window;
    window.dlg.SetCommandLine(CommandLine::Parse({"--nts-ca", chrony.CertificateFile(), server}));
    window.dlg.OnInitDialog();
    ASSERT_TRUE(WaitIdle(window.dlg));
    EXPECT_EQ(LogLines(window.dlg).value(1), "Time was successfully retreived")
        << LogLines(window.dlg).join('|').toStdString();
}
