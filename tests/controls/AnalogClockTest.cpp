#include "controls/AnalogClock.h"

#include "TestPixels.h"

#include <QPainter>

using TestPixels::Pixel;

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
    QImage Screen() { return TestPixels::Render(*this); }
    QPoint Tip(int nPos, int nHand) const
    {
        std::array<QPoint, 4> points{};
        GetHandPoints(nPos, nHand, points);
        return points[nHand == 2 ? 1 : 2];
    }
    using CAnalogClock::Canvas, CAnalogClock::Center, CAnalogClock::DrawSweepHand,
        CAnalogClock::GetPoint, CAnalogClock::HourPos, CAnalogClock::OnTimer, CAnalogClock::TimerID;
    QTime now;

protected:
    QTime GetLocalTime() const override { return now; }
};

} // namespace

TEST(AnalogClock, GeometryAndPixelsAt45Pixels)
{
    TestClock clock;
    EXPECT_EQ(clock.Center(), QPoint(22, 22));
    const QPoint marks[] = {{22, 3}, {42, 22}, {22, 42}, {3, 22}}; // negative offsets: 3, not 2
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(clock.GetPoint(15 * i, 0.9), marks[i]);
    EXPECT_EQ(clock.Tip(0, 0), QPoint(22, 12));
    EXPECT_EQ(clock.Tip(0, 1), QPoint(22, 8));
    EXPECT_EQ(clock.Tip(0, 2), QPoint(22, 5));
    // Hour marks: 2 x 2 squares ending at their point, light top-left. The minute hand's black
    // outline; the inverted second hand (at 30 s) stops short of its tip; no minute marks.
    const QColor light(168, 168, 168), dark(100, 100, 100), inverted(63, 63, 63);
    const QPoint mark = clock.GetPoint(1, 0.9);
    TestPixels::Expect(clock.Screen(),
                       {Pixel{21, 2, light}, Pixel{22, 3, dark}, Pixel{41, 21, light},
                        Pixel{42, 22, dark}, Pixel{21, 41, light}, Pixel{22, 42, dark},
                        Pixel{2, 21, light}, Pixel{3, 22, dark}, Pixel{22, 8, Qt::black},
                        Pixel{22, 7, kFace}, Pixel{22, 39, inverted}, Pixel{22, 40, kFace},
                        Pixel{mark.x(), mark.y(), kFace}});
}

TEST(AnalogClock, HourHandFollowsTheMinutes)
{
    // At 30 s the second hand points down, away from the hour hand's tip.
    for (const auto& [time, pos] :
         {std::pair(QTime(0, 0, 30), 0), std::pair(QTime(12, 0, 30), 0),
          std::pair(QTime(23, 59, 30), 59), std::pair(QTime(3, 11, 30), 15),
          std::pair(QTime(3, 12, 30), 16)}) {
        TestClock clock;
        clock.now = time;
        clock.Run(true);
        EXPECT_EQ(clock.HourPos(), pos) << time.toString().toStdString();
        EXPECT_EQ(clock.Screen().pixel(clock.Tip(pos, 0)), qRgb(0, 0, 0));
    }
}

TEST(AnalogClock, SweepHandDrawnTwiceRestoresEveryPixel)
{
    TestClock clock;
    const QImage before = clock.Screen();
    for (int ms : {0, 250, 999}) {
        for (bool restored : {false, true}) {
            QPainter dc(&clock.Canvas());
            clock.DrawSweepHand(&dc, 59, ms);
            dc.end();
            EXPECT_EQ(clock.Canvas() == before, restored) << ms;
        }
    }
}

// What the ticks draw bit by bit equals a clock painted afresh at the same time.
TEST(AnalogClock, TicksAndRestartsMatchAFreshClock)
{
    TestClock clock(10, 59, 59, 600);
    clock.Screen(); // the full paint happens here; what follows is incremental
    for (QTime t(10, 59, 59, 600); t < QTime(11, 0, 1, 100);) {
        t = t.addMSecs(50);
        clock.ShowTime(t.hour() % 12, t.minute(), t.second(), t.msec());
    }
    EXPECT_EQ(clock.Screen(), TestClock(11, 0, 1, 100).Screen());
    clock.ShowTime(3, 11, 59, 950); // the hour hand steps as the minute hand passes over it
    clock.ShowTime(3, 12, 0, 0);
    EXPECT_EQ(clock.Screen(), TestClock(3, 12, 0, 0).Screen());

    clock.now = QTime(15, 12, 0, 0); // a restart keeps the marks
    clock.Run(true);
    EXPECT_EQ(clock.Screen(), TestClock(3, 12, 0, 0).Screen());
    clock.now = QTime(16, 45, 50, 500);
    clock.OnTimer(clock.TimerID() + 1); // not its timer
    EXPECT_EQ(clock.Screen(), TestClock(3, 12, 0, 0).Screen());
    clock.OnTimer(clock.TimerID());
    EXPECT_EQ(clock.Screen(), TestClock(4, 45, 50, 500).Screen());
    clock.resize(1, 1); // too small for a face: still no failure
    clock.ShowTime(7, 35, 12, 500);
    EXPECT_EQ(clock.Screen().size(), QSize(1, 1));
}
