#include "controls/AnalogClock.h"
#include "res/SkinLayout.h"

#include "TestPixels.h"

#include <QAccessible>

#include <tuple>

namespace
{

// A 45 x 45 clock showing the time the test sets, with its inner operations in reach.
class TestClock : public CAnalogClock
{
public:
    explicit TestClock(const QTime& t = QTime(0, 0, 30))
    {
        Run(false);
        resize(45, 45);
        SetBkColor(SkinLayout::kFace);
        ShowMinuteTicks(false);
        Show(t);
        Render(*this); // painted in full, as when first shown; what follows is incremental
    }
    using CAnalogClock::Canvas, CAnalogClock::NextTick, CAnalogClock::TimerID;
    void Show(const QTime& t) { ShowTime(t.hour() % 12, t.minute(), t.second(), t.msec()); }
    QTime GetLocalTime() const override { return now; }
    QTime now{9, 0, 0};
};

} // namespace

// The clock sleeps until its picture next changes. Over a minute and a half of fake time, past
// a minute's turn and 3 o'clock (where a second hand one pixel off the axis once went
// undrawn), its canvas equals at every 50 ms step that of a clock ticking every 50 ms, with a
// few wake-ups a second, and at the end that of a clock painted afresh; asked for them, it also
// wakes at every whole second. Hidden, it has no timer; shown again, it catches up at once.
TEST(AnalogClock, SleepsUntilItsPictureChangesAndStopsWhileHidden)
{
    const QTime start(10, 59, 30, 0);
    const int span = 90000;
    for (const bool seconds : {false, true}) {
        SCOPED_TRACE(seconds ? "with second wake-ups" : "alone");
        TestClock reference(start), sleeper(start);
        sleeper.SetSecondWakeups(seconds);
        int next = sleeper.NextTick(), wakes = 0, wholeSeconds = 0;
        for (int at = 0; at <= span; at += 50) {
            for (; next <= at; next += sleeper.NextTick(), ++wakes) {
                sleeper.Show(start.addMSecs(next));
                wholeSeconds += next % 1000 == 0;
            }
            reference.Show(start.addMSecs(at));
            ASSERT_EQ(sleeper.Canvas(), reference.Canvas()) << at << " ms";
        }
        EXPECT_EQ(Render(sleeper), Render(*std::make_unique<TestClock>(start.addMSecs(span))));
        EXPECT_LT(wakes, 4 * span / 1000);
        EXPECT_TRUE(!seconds || wholeSeconds == span / 1000) << wholeSeconds;
    }

    TestClock clock;
    clock.show();
    clock.Run(true);
    EXPECT_NE(clock.TimerID(), 0);
    clock.hide();
    EXPECT_EQ(clock.TimerID(), 0);
    clock.now = QTime(9, 41, 20, 300);
    clock.show();
    EXPECT_NE(clock.TimerID(), 0);
    EXPECT_EQ(Render(clock), Render(*std::make_unique<TestClock>(clock.now)));
    clock.resize(1, 1); // one pixel: radius 0, and drawing still works
    EXPECT_EQ(Render(clock).size(), QSize(1, 1));
}

// The analogue clock is a clock to assistive technology, and its value the time its hands show,
// on a twelve-hour dial.
TEST(AnalogClock, ItsValueIsTheTimeItShows)
{
    CAnalogClock clock;
    clock.Run(false);
    clock.resize(45, 45);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&clock);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::Clock);
    for (const auto& [hour, minute, second, value] :
         {std::tuple(6, 30, 45, "6:30:45"), {0, 5, 9, "12:05:09"}, {11, 59, 0, "11:59:00"}}) {
        clock.ShowTime(hour, minute, second, 0);
        EXPECT_EQ(face->text(QAccessible::Value), QString::fromLatin1(value));
    }
}
