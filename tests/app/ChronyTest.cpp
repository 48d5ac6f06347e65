// Against chronyd on port 123, the port the program always asks, at this run's own address.
#include "AppTestSupport.h"
#include "ClockSetterFake.h"

#include "app/CapabilityClockSetter.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"

#include <QDateTime>

#include <gtest/gtest.h>

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

// chronyd on port 123 of this run's address; skipped where another server holds the port.
class Chrony : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!IsUdpPortFree(123, kChronyAddress)) {
            GTEST_SKIP() << "UDP port 123 is taken at " << kChronyAddress;
        }
        ASSERT_TRUE(m_chrony.Start()) << m_chrony.Error();
    }

    ChronyServer m_chrony{{.port = 123, .address = kChronyAddress}};
};

// The window's command-line run reports, and with a Y sets the clock once by the measured
// offset (through the window's thread) and forgets it, so the next "Adjust" asks again, the
// typed server as it is.
TEST_F(Chrony, CommandLineRunsInTheWindowAndOnTheConsole)
{
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
}

// "Adjust" pressed while a command-line run with Y types its report: one setting of the
// measured offset, whichever comes first.
TEST_F(Chrony, AdjustDuringAYRunAndTheRunItselfSetTheClockOnce)
{
    // Through the engine's route and its recording seam: "Adjust" sets the clock at once, the
    // run then learns it was set. Through a route that answers later: the run joins "Adjust".
    for (const bool deferred : {false, true}) {
        FakeClock clock;
        TestWindow window;
        CSyncDlg& dlg = window.dlg;
        dlg.SetLogPace(std::chrono::milliseconds(5));
        SyncDlgProbe::Client(dlg).SetClockApi(clock);
        auto owned = std::make_unique<DeferredClockSetter>();
        DeferredClockSetter* setter = owned.get();
        if (deferred) {
            dlg.SetClockSetter(std::move(owned));
        } else {
            dlg.SetClockSetter(std::make_unique<CapabilityClockSetter>(SyncDlgProbe::Client(dlg)));
        }
        dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, "y"}));
        dlg.show();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return SyncDlgProbe::LastReply(dlg).destination.Value() != 0; }));
        ASSERT_TRUE(SyncDlgProbe::IsBusy(dlg))
            << "the report was typed before Adjust could be pressed";
        dlg.OnAdjust();
        if (deferred) {
            // The run has typed its report and waits on its own setting, Adjust's still open.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return SyncDlgProbe::IsLogIdle(dlg) && LogLines(dlg).size() >= 5; }));
            ASSERT_EQ(setter->pending.size(), 1u);
            setter->Answer(true);
        }
        ASSERT_TRUE(WaitIdle(dlg));
        const std::size_t settings = deferred ? setter->offsets.size() : clock.m_settings.size();
        EXPECT_EQ(settings, 1u) << (deferred ? "deferred" : "at once");
        EXPECT_EQ(LogLines(dlg).count(SyncSteps::kAdjusted), 2)
            << LogLines(dlg).join('|').toStdString();
        EXPECT_EQ(SyncDlgProbe::LastReply(dlg).destination.Value(), 0u);
    }
}
