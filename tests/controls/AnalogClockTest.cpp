#include "controls/AnalogClock.h"

#include "TestPixels.h"

#include <QPainter>
#include <gtest/gtest.h>

using TestPixels::At;
using TestPixels::Render;

namespace
{

const QColor kFace(192, 192, 192);
const QColor kHourMarkLight(168, 168, 168);
const QColor kHourMarkDark(100, 100, 100);

// A clock whose local time the test sets, with its inner operations in reach.
class TestClock : public CAnalogClock
{
public:
    explicit TestClock(int size = 45)
    {
        Run(false);
        resize(size, size);
        SetBkColor(kFace);
        ShowMinuteTicks(false);
        ShowTime(0, 0, 30, 0);
    }

    QTime now{10, 10, 30};

    QImage Screen() { return Render(*this); }
    void SweepOnScreen(int nSecond, int nMilliseconds)
    {
        // The canvas is what the screen shows; draw on it as a tick does.
        Screen();
        QPainter dc(&Canvas());
        DrawSweepHand(&dc, nSecond, nMilliseconds);
    }

    using CAnalogClock::Canvas;
    using CAnalogClock::Center;
    using CAnalogClock::GetHandPoints;
    using CAnalogClock::GetPoint;
    using CAnalogClock::HourPos;
    using CAnalogClock::OnTimer;
    using CAnalogClock::RadiusX;
    using CAnalogClock::RadiusY;
    using CAnalogClock::TimerID;

protected:
    QTime GetLocalTime() const override { return now; }
};

QImage FreshClock(int h, int m, int s, int ms)
{
    TestClock clock;
    clock.ShowTime(h, m, s, ms);
    return clock.Screen();
}

} // namespace

TEST(AnalogClock, GeometryOfTheMainWindowsClock)
{
    TestClock clock;
    clock.Screen();
    EXPECT_EQ(clock.Center(), QPoint(22, 22));
    EXPECT_EQ(clock.RadiusX(), 22);
    EXPECT_EQ(clock.RadiusY(), 22);
    // Negative offsets end a pixel nearer the centre: 3 and 3, not 2 and 2.
    EXPECT_EQ(clock.GetPoint(0, 0.9), QPoint(22, 3));
    EXPECT_EQ(clock.GetPoint(15, 0.9), QPoint(42, 22));
    EXPECT_EQ(clock.GetPoint(30, 0.9), QPoint(22, 42));
    EXPECT_EQ(clock.GetPoint(45, 0.9), QPoint(3, 22));

    std::array<QPoint, 4> hour{}, minute{}, second{};
    clock.GetHandPoints(0, 0, hour);
    clock.GetHandPoints(0, 1, minute);
    clock.GetHandPoints(0, 2, second);
    EXPECT_EQ(hour[2], QPoint(22, 12));
    EXPECT_EQ(minute[2], QPoint(22, 8));
    EXPECT_EQ(second[0], QPoint(22, 22));
    EXPECT_EQ(second[1], QPoint(22, 5));
}

TEST(AnalogClock, DrawsHourMarksFaceAndHands)
{
    TestClock clock;
    clock.ShowTime(0, 0, 30, 0);
    const QImage screen = clock.Screen();
    // Each hour mark is a 2 x 2 square ending at its point: light top-left, dark elsewhere.
    for (const QPoint& mark : {QPoint(22, 3), QPoint(42, 22), QPoint(22, 42), QPoint(3, 22)}) {
        EXPECT_EQ(At(screen, mark.x() - 1, mark.y() - 1), kHourMarkLight) << mark.x();
        EXPECT_EQ(At(screen, mark.x(), mark.y() - 1), kHourMarkDark);
        EXPECT_EQ(At(screen, mark.x() - 1, mark.y()), kHourMarkDark);
        EXPECT_EQ(At(screen, mark.x(), mark.y()), kHourMarkDark);
    }
    // Minute marks are off: the place of mark 1 shows the face.
    const QPoint minuteMark = clock.GetPoint(1, 0.9);
    EXPECT_EQ(At(screen, minuteMark.x(), minuteMark.y()), kFace);
    EXPECT_EQ(At(screen, 0, 0), kFace);

    // Both hands point up: the minute hand's outline tip at (22, 8); the inverted second hand
    // runs down from the centre and stops short of its tip (22, 5).
    EXPECT_EQ(At(screen, 22, 8), QColor(Qt::black));
    EXPECT_EQ(At(screen, 22, 7), kFace);
    EXPECT_EQ(At(screen, 22, 30), QColor(63, 63, 63)); // the face inverted
    EXPECT_EQ(At(screen, 22, 39), QColor(63, 63, 63));
    EXPECT_EQ(At(screen, 22, 40), kFace); // the tip itself is not drawn

    clock.ShowMinuteTicks(true);
    const QImage ticks = clock.Screen();
    EXPECT_NE(At(ticks, minuteMark.x(), minuteMark.y()), kFace);
}

TEST(AnalogClock, HourHandPositionFollowsTheMinutes)
{
    struct Case {
        QTime time;
        int hourPos;
    };
    // At 30 s the second hand points down, away from the hour hand's tip.
    for (const Case& c :
         {Case{QTime(0, 0, 30), 0}, Case{QTime(12, 0, 30), 0}, Case{QTime(23, 59, 30), 59},
          Case{QTime(3, 11, 30), 15}, Case{QTime(3, 12, 30), 16}}) {
        TestClock clock;
        clock.now = c.time;
        clock.Run(true);
        EXPECT_EQ(clock.HourPos(), c.hourPos) << c.time.toString().toStdString();
        // The hour hand's tip is part of its black outline.
        std::array<QPoint, 4> hand{};
        clock.GetHandPoints(c.hourPos, 0, hand);
        EXPECT_EQ(At(clock.Screen(), hand[2].x(), hand[2].y()), QColor(Qt::black));
    }
}

TEST(AnalogClock, SweepHandDrawnTwiceRestoresEveryPixel)
{
    TestClock clock;
    const QImage before = clock.Screen();
    for (int ms : {0, 250, 999}) {
        clock.SweepOnScreen(59, ms);
        EXPECT_NE(clock.Canvas(), before);
        clock.SweepOnScreen(59, ms);
        EXPECT_EQ(clock.Canvas(), before) << ms;
    }
}

TEST(AnalogClock, TicksAcrossMinuteAndHourChangesMatchAFreshClock)
{
    TestClock clock;
    clock.ShowTime(10, 59, 59, 600);
    clock.Screen(); // the full paint happens here; what follows is incremental
    QTime t(10, 59, 59, 600);
    for (int tick = 0; tick < 30; ++tick) {
        t = t.addMSecs(50);
        clock.ShowTime(t.hour() % 12, t.minute(), t.second(), t.msec());
    }
    EXPECT_EQ(clock.Screen(), FreshClock(11, 0, 1, 100));

    // The hour hand steps at 3:12 while the minute hand passes over it.
    clock.ShowTime(3, 11, 59, 950);
    clock.ShowTime(3, 12, 0, 0);
    clock.ShowTime(3, 12, 0, 50);
    EXPECT_EQ(clock.HourPos(), 16);
    EXPECT_EQ(clock.Screen(), FreshClock(3, 12, 0, 50));
}

TEST(AnalogClock, TimerShowsTheLocalTimeOnlyForItsOwnId)
{
    TestClock clock;
    clock.now = QTime(4, 20, 10, 0);
    clock.Run(true);
    ASSERT_NE(clock.TimerID(), 0);
    const QImage at420 = clock.Screen();

    clock.now = QTime(16, 45, 50, 500);
    clock.OnTimer(clock.TimerID() + 1);
    EXPECT_EQ(clock.Screen(), at420);

    clock.OnTimer(clock.TimerID());
    EXPECT_EQ(clock.HourPos(), 4 * 5 + 45 / 12);
    EXPECT_EQ(clock.Screen(), FreshClock(4, 45, 50, 500));

    clock.Run(false);
    EXPECT_EQ(clock.TimerID(), 0);
}

TEST(AnalogClock, RestartKeepsTheTickMarks)
{
    TestClock clock;
    clock.ShowTime(1, 20, 40, 0);
    const QImage before = clock.Screen();
    clock.now = QTime(1, 20, 40, 0);
    clock.Run(true);
    EXPECT_EQ(clock.Screen(), before);
}

TEST(AnalogClock, EqualBackgroundColourDoesNotRepaint)
{
    TestClock clock;
    const QImage clean = clock.Screen();
    clock.SweepOnScreen(20, 0); // a mark that only a repaint removes
    const QImage marked = clock.Screen();
    ASSERT_NE(marked, clean);

    clock.SetBkColor(kFace);
    clock.ShowMinuteTicks(false);
    EXPECT_EQ(clock.Screen(), marked);

    clock.SetBkColor(QColor(200, 200, 200));
    const QImage repainted = clock.Screen();
    EXPECT_EQ(At(repainted, 0, 0), QColor(200, 200, 200));
    EXPECT_EQ(At(repainted, 22, 30), QColor(55, 55, 55));
}

TEST(AnalogClock, TinyControlsDoNotFail)
{
    for (const QSize size : {QSize(1, 1), QSize(1, 45), QSize(0, 0)}) {
        TestClock clock;
        clock.resize(size);
        clock.ShowTime(7, 33, 12, 400);
        clock.ShowTime(7, 34, 12, 450);
        if (!size.isEmpty()) {
            const QImage screen = clock.Screen();
            EXPECT_EQ(screen.size(), size);
        }
        EXPECT_EQ(clock.Center(), QPoint(size.width() / 2, size.height() / 2));
    }
}
