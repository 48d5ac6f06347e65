#include "controls/AnalogClock.h"

#include "TestPixels.h"

#include <QPainter>

#include <memory>

using namespace TestPixels;

namespace
{

const QColor kFace(192, 192, 192);

// A 45 x 45 clock showing the time the test sets, with its inner operations in reach.
class TestClock : public CAnalogClock
{
public:
    explicit TestClock(int h = 0, int m = 0, int s = 30, int ms = 0)
    {
        Run(false);
        resize(45, 45);
        SetBkColor(kFace);
        ShowMinuteTicks(false);
        ShowTime(h, m, s, ms);
    }
    QImage Screen() { return Render(*this); }
    QPoint Tip(int nPos, int nHand) const
    {
        std::array<QPoint, 4> points{};
        GetHandPoints(nPos, nHand, points);
        return points[nHand == 2 ? 1 : 2];
    }
    using CAnalogClock::Canvas, CAnalogClock::Center, CAnalogClock::DrawSweepHand,
        CAnalogClock::GetPoint, CAnalogClock::HourPos, CAnalogClock::NextTick,
        CAnalogClock::OnTimer, CAnalogClock::TimerID;
    void Show(const QTime& t) { ShowTime(t.hour() % 12, t.minute(), t.second(), t.msec()); }
    QTime now;

protected:
    QTime GetLocalTime() const override { return now; }
};

} // namespace

TEST(AnalogClock, GeometryAt45Pixels)
{
    TestClock clock;
    EXPECT_EQ(clock.Center(), QPoint(22, 22));
    const QPoint marks[] = {{22, 3}, {42, 22}, {22, 42}, {3, 22}}; // negative offsets: 3, not 2
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(clock.GetPoint(15 * i, 0.9), marks[i]);
    EXPECT_EQ((std::array{clock.Tip(0, 0), clock.Tip(0, 1), clock.Tip(0, 2)}),
              (std::array{QPoint(22, 12), QPoint(22, 8), QPoint(22, 5)}));
    // One pixel: radius 0, every point on the centre, and drawing still works.
    clock.resize(1, 1);
    clock.ShowTime(3, 12, 45, 500);
    EXPECT_EQ(clock.GetPoint(15, 0.9), QPoint(0, 0));
    EXPECT_EQ(clock.Screen().size(), QSize(1, 1));
}

TEST(AnalogClock, HourHandFollowsTheMinutes)
{
    // At 30 s the second hand points down, away from the hour hand's tip.
    for (const auto& [h, m, pos] :
         {std::array{0, 0, 0}, {12, 0, 0}, {23, 59, 59}, {3, 11, 15}, {3, 12, 16}}) {
        TestClock clock;
        clock.now = QTime(h, m, 30);
        clock.Run(true);
        EXPECT_EQ(clock.HourPos(), pos) << h << ':' << m;
        EXPECT_EQ(clock.Screen().pixel(clock.Tip(pos, 0)), qRgb(0, 0, 0));
    }
}

TEST(AnalogClock, SweepHandDrawnTwiceRestoresEveryPixel)
{
    TestClock clock;
    const QImage before = clock.Screen();
    const int ms[] = {0, 250, 999};
    for (int i = 0; i < 6; ++i) { // each twice
        clock.DrawSweepHand(std::make_unique<QPainter>(&clock.Canvas()).get(), 59, ms[i / 2]);
        EXPECT_EQ(clock.Canvas() == before, i % 2 == 1) << ms[i / 2];
    }
}

// What the ticks draw bit by bit equals a clock painted afresh at the same time: across a
// minute and past 3 o'clock, where the hand lies one pixel off the horizontal.
TEST(AnalogClock, TicksAndRestartsMatchAFreshClock)
{
    TestClock clock(10, 59, 59, 600);
    clock.Screen(); // the full paint happens here; what follows is incremental
    for (QTime t(10, 59, 59, 600); t < QTime(11, 0, 14, 100);) {
        t = t.addMSecs(50);
        clock.ShowTime(t.hour() % 12, t.minute(), t.second(), t.msec());
    }
    EXPECT_EQ(clock.Screen(), TestClock(11, 0, 14, 100).Screen());
    const QImage at312 = TestClock(3, 12, 0, 0).Screen();
    clock.show();                    // the timer runs only while the clock is shown
    clock.now = QTime(15, 12, 0, 0); // a restart keeps the marks
    clock.Run(true);
    EXPECT_EQ(clock.Screen(), at312);
    clock.now = QTime(16, 45, 50, 500);
    clock.OnTimer(clock.TimerID() + 1); // not its timer
    EXPECT_EQ(clock.Screen(), at312);
    clock.OnTimer(clock.TimerID());
    EXPECT_EQ(clock.Screen(), TestClock(4, 45, 50, 500).Screen());
}

// The clock sleeps until its picture next changes. Over a minute and a half of fake time, past
// a minute's turn and 3 o'clock, its canvas equals at every 50 ms step that of a clock ticking
// every 50 ms, with a few wake-ups a second; asked for them, it also wakes at every whole
// second. Hidden, it has no timer; shown again, it catches up at once.
TEST(AnalogClock, SleepsUntilItsPictureChangesAndStopsWhileHidden)
{
    const QTime start(10, 59, 30, 0);
    for (const bool seconds : {false, true}) {
        SCOPED_TRACE(seconds ? "with second wake-ups" : "alone");
        TestClock reference, sleeper;
        sleeper.SetSecondWakeups(seconds);
        reference.Show(start);
        sleeper.Show(start);
        reference.Screen(); // the full paints; what follows is incremental
        sleeper.Screen();
        int next = sleeper.NextTick(), wakes = 0, wholeSeconds = 0;
        const int span = 90000;
        for (int at = 0; at <= span; at += 50) {
            while (next <= at) {
                sleeper.Show(start.addMSecs(next));
                wholeSeconds += next % 1000 == 0;
                ++wakes;
                next += sleeper.NextTick();
            }
            reference.Show(start.addMSecs(at));
            ASSERT_EQ(sleeper.Canvas(), reference.Canvas()) << at << " ms";
        }
        EXPECT_LT(wakes, 4 * span / 1000);
        if (seconds) {
            EXPECT_EQ(wholeSeconds, span / 1000);
        }
    }

    TestClock clock;
    clock.now = QTime(9, 0, 0);
    clock.show();
    clock.Run(true);
    EXPECT_NE(clock.TimerID(), 0);
    clock.hide();
    EXPECT_EQ(clock.TimerID(), 0);
    clock.now = QTime(9, 41, 20, 300);
    clock.show();
    EXPECT_NE(clock.TimerID(), 0);
    EXPECT_EQ(clock.Screen(), TestClock(9, 41, 20, 300).Screen());
}
