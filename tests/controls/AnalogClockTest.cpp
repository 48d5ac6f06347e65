#include "controls/AnalogClock.h"
#include "res/SkinLayout.h"

#include "TestPixels.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QPainter>
#include <QSignalSpy>

#include <cmath>
#include <vector>

// A 45 x 45 clock showing the time the test sets, with its inner operations in reach.
struct TestClock : CAnalogClock {
    explicit TestClock(const QTime& t = QTime(0, 0, 30))
    {
        Run(false);
        resize(45, 45);
        SetBkColor(SkinLayout::kFace);
        ShowMinuteTicks(false);
        Show(t);
        Render(*this); // painted in full, as when first shown; what follows is incremental
    }
    using CAnalogClock::Canvas, CAnalogClock::DrawSweepHand, CAnalogClock::NextTick;
    void Show(const QTime& t) { ShowTime(t.hour() % 12, t.minute(), t.second(), t.msec()); }
    QTime GetLocalTime() const override { return now; }
    QTime now{9, 0, 0};
};

// The hands point where the time says, computed here from the time alone: on a ring a third of
// the radius out all three hands cross, on one at three fifths the minute and second hands, on
// one at three quarters only the second hand, each at its own angle (a hand turned half a turn,
// or too short, shows; one too long or drawn twice shows in docs_pictures and the window's
// docs/window-still.png). To assistive technology the clock is a clock whose value is that time
// on a twelve-hour dial.
TEST(AnalogClock, HandsAndValueShowTheTime)
{
    for (const auto& [time, value] : {std::pair(QTime(3, 0, 40), "3:00:40"),
                                      {QTime(10, 48, 10), "10:48:10"},
                                      {QTime(7, 24, 15, 500), "7:24:15"},
                                      {QTime(0, 36, 50), "12:36:50"},
                                      {QTime(5, 12, 45, 250), "5:12:45"}}) {
        SCOPED_TRACE(value);
        TestClock clock(time);
        clock.resize(201, 201);
        const QImage image = Render(clock);
        // Whether any pixel within one of the point at `degrees` clockwise from 12 o'clock,
        // `reach` radii from the centre, differs from the face.
        const auto marked = [&image](double degrees, double reach) {
            const double radius = image.width() / 2, angle = degrees * M_PI / 180;
            const int x = static_cast<int>(std::lround(radius + reach * radius * std::sin(angle)));
            const int y = static_cast<int>(std::lround(radius - reach * radius * std::cos(angle)));
            return image.copy(x - 1, y - 1, 3, 3) != Plain(QSize(3, 3), SkinLayout::kFace);
        };
        // Minutes here are multiples of twelve, where the hour hand's steps fall exactly.
        const double hour = (time.hour() % 12) * 30 + time.minute() * 0.5,
                     minute = time.minute() * 6,
                     second = (time.second() + time.msec() / 1000.0) * 6;
        const std::pair<double, std::vector<double>> rings[] = {
            {0.3, {hour, minute, second}}, {0.6, {minute, second}}, {0.75, {second}}};
        for (const auto& [reach, hands] : rings) {
            for (const double hand : hands) {
                EXPECT_TRUE(marked(hand, reach)) << "no hand at " << hand << " degrees";
            }
        }
        const QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&clock);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(std::pair(face->role(), face->text(QAccessible::Value)),
                  std::pair(QAccessible::Clock, QString::fromLatin1(value)));
    }
}

// The clock sleeps until its picture next changes. Over a minute and a half of fake time, past
// a minute's turn and 3 o'clock (where a second hand one pixel off the axis once went
// undrawn), its canvas equals at every 50 ms step that of a clock ticking every 50 ms, with a
// few wake-ups a second, and at the end that of a clock painted afresh; asked for them, it also
// wakes at every whole second. Hidden, it has no timer; shown again, it catches up at once, and a
// tick then leaves the screen as a fresh painting would.
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
    EXPECT_FALSE(clock.IsRunning()); // stopped, it stays so when shown
    clock.Run(true);
    EXPECT_TRUE(clock.IsRunning()); // started while shown, it runs at once, from the time now
    EXPECT_EQ(Shown(clock), Render(*std::make_unique<TestClock>(clock.now)));
    clock.Run(false);              // and its timer is gone, not merely forgotten
    clock.SetSecondWakeups(false); // nor does a change of wake-ups bring it back
    EXPECT_TRUE(!clock.IsRunning() &&
                QAbstractEventDispatcher::instance()->registeredTimers(&clock).isEmpty());
    clock.hide();
    clock.Run(true);
    EXPECT_FALSE(clock.IsRunning()); // hidden, it starts no timer
    clock.now = QTime(9, 41, 20, 300);
    clock.show();
    EXPECT_EQ(Shown(clock), Render(*std::make_unique<TestClock>(clock.now)));
    // Ticks show again only what they change; at 30 s the hour moves on, the minute kept.
    for (int second = 0; second < 60; second += 5) {
        const QTime at(9 + second / 30, 41, second);
        clock.Show(at);
        EXPECT_EQ(Shown(clock), Render(*std::make_unique<TestClock>(at)));
    }
    clock.now = QTime(9, 41, 21); // a real wake-up sleeps again until the picture next changes
    QSignalSpy ticked(&clock, &CAnalogClock::Ticked);
    ASSERT_TRUE(ticked.wait(2000));
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(&clock);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0].interval, clock.NextTick());
}

// At twice the density the second hand is as wide as at 1x: each of its pixels two by two of the
// screen's, no thinner line with gaps.
TEST(AnalogClock, SecondHandKeepsItsWidthAtTwiceTheDensity)
{
    TestClock clock;
    QImage dense = Plain(QSize(90, 90), Qt::white);
    dense.setDevicePixelRatio(2);
    QPainter painter(&dense);
    clock.DrawSweepHand(&painter, 7, 0);
    painter.end();
    int drawn = 0;
    for (int y = 1; y + 1 < dense.height(); y += 2) { // a point covers (2x - 1, 2y - 1) to (2x, 2y)
        for (int x = 1; x + 1 < dense.width(); x += 2) {
            const QRgb corner = dense.pixel(x, y);
            drawn += corner == qRgb(0, 0, 0);
            for (const QPoint& p : {QPoint(x + 1, y), QPoint(x, y + 1), QPoint(x + 1, y + 1)}) {
                EXPECT_EQ(dense.pixel(p), corner) << p.x() << "," << p.y();
            }
        }
    }
    EXPECT_GT(drawn, 10);
}
