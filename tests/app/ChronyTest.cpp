// Against chronyd on port 123, the port the program always asks, at this run's own address.
#include "AppTestSupport.h"

#include "app/CapabilityClockSetter.h"
#include "app/SyncSteps.h"

// The look-up line and the report the window types for a reply.
static QStringList Report(const std::string& server, const SntpReply& reply)
{
    QStringList lines{QString::fromStdString(SyncSteps::LookupLine(server))};
    for (const std::string& line : SyncSteps::ReportLines(reply)) {
        lines << QString::fromStdString(line);
    }
    return lines;
}

// The window's command-line run with Y reports and sets the clock once by the measured offset
// (through the window's thread) and forgets it, "Adjust" pressed or not while it types its
// report. Through the engine's route and its recording seam "Adjust" sets the clock at once and
// the run learns it was set; through a route that answers later the run joins "Adjust". The
// next "Adjust" asks again, the typed server as it is.
TEST(Chrony, CommandLineRunWithYSetsTheClockOnceWhetherOrNotAdjustIsPressed)
{
    if (!IsUdpPortFree(123, kChronyAddress)) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kChronyAddress;
    }
    ChronyServer chrony({.port = 123, .address = kChronyAddress});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    enum class Adjust { Never, AtOnce, Deferred };
    for (const Adjust adjust : {Adjust::Never, Adjust::AtOnce, Adjust::Deferred}) {
        SCOPED_TRACE(static_cast<int>(adjust));
        FakeClock clock;
        TestWindow window;
        CSyncDlg& dlg = window.dlg;
        dlg.SetLogPace(std::chrono::milliseconds(adjust == Adjust::Never ? 1 : 5));
        SyncDlgProbe::Clock(dlg).SetClockApi(clock);
        auto owned = std::make_unique<DeferredClockSetter>();
        DeferredClockSetter* setter = owned.get();
        if (adjust == Adjust::Deferred) {
            dlg.SetClockSetter(std::move(owned));
        } else { // never the system bus's timedated, which the default may choose
            dlg.SetClockSetter(std::make_unique<CapabilityClockSetter>(SyncDlgProbe::Clock(dlg)));
        }
        dlg.SetCommandLine(CommandLine::Parse({kChronyAddress, "y"}));
        dlg.show();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return SyncDlgProbe::LastReply(dlg).destination.Value() != 0; }));
        // chronyd serves this machine's own clock: an answer of now with a small offset.
        const SntpReply reply = SyncDlgProbe::LastReply(dlg);
        EXPECT_LT(std::abs(reply.destination.Difference(CNtpTimestamp::Now())), 5.0);
        EXPECT_LT(std::abs(reply.clockOffset), 0.5);
        if (adjust != Adjust::Never) {
            ASSERT_TRUE(SyncDlgProbe::IsBusy(dlg))
                << "the report was typed before Adjust could be pressed";
            dlg.OnAdjust();
        }
        if (adjust == Adjust::Deferred) {
            // The run has typed its report and waits on its own setting, Adjust's still open.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return SyncDlgProbe::IsLogIdle(dlg) && LogLines(dlg).size() >= 5; }));
            ASSERT_EQ(setter->pending.size(), 1u);
            setter->Answer(true);
        }
        ASSERT_TRUE(WaitIdle(dlg));
        const QStringList lines = LogLines(dlg);
        if (adjust == Adjust::Never) {
            EXPECT_EQ(lines, Report(kChronyAddress, reply) << SyncSteps::kAdjusted);
            ASSERT_EQ(clock.m_settings.size(), 1u);
            EXPECT_NEAR(FromNow(clock.m_settings[0]), reply.clockOffset, 0.5);
        }
        EXPECT_EQ(lines.count(SyncSteps::kAdjusted), adjust == Adjust::Never ? 1 : 2)
            << lines.join('|').toStdString();
        EXPECT_EQ(SyncDlgProbe::LastReply(dlg).destination.Value(), 0u);

        Control<CIComboBox>(dlg, "comboServer")
            ->setEditText(QString::fromStdString(kChronyAddress + "  "));
        dlg.OnAdjust();
        ASSERT_TRUE(WaitIdle(dlg));
        EXPECT_EQ(LogLines(dlg), Report(kChronyAddress + "  ", SyncDlgProbe::LastReply(dlg)));
        EXPECT_EQ(clock.m_settings.size() + setter->offsets.size(), 1u);
    }
}
