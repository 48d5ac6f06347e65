// "Adjust" through timedated on the private system bus that timedated.sh starts with
// python3-dbusmock's timedated; the script then checks the SetTime calls the mock recorded.
#include "tests/app/AppTestSupport.h"

#include "app/CapabilityClockSetter.h"
#include "app/SyncSteps.h"
#include "app/TimedatedClockSetter.h"

#include <gtest/gtest.h>

#include <cstdlib>

// A target out of range asks nothing; "Adjust" pressed twice while its call is open asks once:
// the script expects the one SetTime of 12345678 us, relative and interactive.
TEST(ClockSetterDbus, AdjustPressedTwiceAsksOnceAndATargetOutOfRangeNever)
{
    // Never the machine's own bus: only the script names one.
    const char* bus = std::getenv("HORALINK_PRIVATE_BUS");
    if (bus == nullptr) {
        GTEST_SKIP() << "run by timedated.sh, which starts a private bus";
    }
    FakeClock clock;
    CClockAdjuster adjuster{clock};
    const auto setter = [&] {
        return std::make_unique<TimedatedClockSetter>(
            std::make_unique<CapabilityClockSetter>(adjuster), ClockSetter::Prompt::Desktop, bus);
    };
    EXPECT_FALSE(ClockSetter::SetAndWait(*setter(), -70.0 * 365 * 86400));

    TestWindow window;
    CSyncDlg& dlg = window.dlg;
    dlg.SetClockSetter(setter());
    dlg.show();
    SyncDlgProbe::LastReply(dlg).destination = CNtpTimestamp::Now();
    SyncDlgProbe::LastReply(dlg).clockOffset = 12.3456784;
    dlg.OnAdjust();
    dlg.OnAdjust();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !LogLines(dlg).isEmpty() && SyncDlgProbe::IsLogIdle(dlg); }));
    EXPECT_EQ(LogLines(dlg), QStringList{SyncSteps::kAdjusted});
    EXPECT_EQ(clock.m_settings.size(), 0u);
}
