// "Adjust" pressed while a command-line run with Y types its report, against chronyd on this
// run's own address: one setting of the measured offset, whichever comes first.
#include "AppTestSupport.h"
#include "ClockSetterFake.h"

#include "app/CapabilityClockSetter.h"
#include "app/SyncSteps.h"

#include <gtest/gtest.h>

TEST(ClockSetterChrony, AdjustDuringAYRunAndTheRunItselfSetTheClockOnce)
{
    if (!IsUdpPortFree(123, kChronyAddress)) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kChronyAddress;
    }
    ChronyServer chrony({.port = 123, .address = kChronyAddress});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();

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
