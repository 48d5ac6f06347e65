#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QTime>
#include <QWidget>

#include <array>

class QPainter;

// A small analogue clock of the local time: tick marks, two kite-shaped hands and a sweeping
// second hand. It sleeps until the moment its picture next changes (the second hand reaches other
// pixels, or the minute turns) and then redraws only what moved, on the clock's own canvas: the
// second hand as an inverting line that a second drawing removes, the polygon hands only when the
// hour or minute changes. The paint event shows the canvas. It runs only while it is shown.
class CAnalogClock : public QWidget
{
    Q_OBJECT

public:
    explicit CAnalogClock(QWidget* parent = nullptr);
    ~CAnalogClock() override;

    // Colour of the face; an equal colour changes nothing.
    void SetBkColor(const QColor& color);
    // Whether the 48 minute marks are drawn; an equal value changes nothing.
    void ShowMinuteTicks(bool bShow);
    // Starts (drawing the current time at once) or stops the clock's timer.
    void Run(bool bRun);
    // Also wakes at every whole second, so that an owner showing seconds is served by the same
    // wake-ups (see Ticked).
    void SetSecondWakeups(bool bEverySecond);
    // Moves the hands to a time (hour 0-11), redrawing only what moved.
    void ShowTime(int nHour, int nMinute, int nSecond, int nMilliseconds);

    bool IsRunning() const { return m_nTimerID != 0; }
    // The time the hands show (hour 0-11).
    QTime ShownTime() const { return QTime(m_nHour, m_nMinute, m_nSecond); }

signals:
    // The clock has just shown the local time: after each wake-up, a start and a show.
    void Ticked();

protected:
    // Dial positions are sixtieths of a turn clockwise from 12 o'clock.
    virtual QPoint GetPoint(int nPos, double dScale) const;
    virtual QPoint GetPoint(double dPos, double dScale) const;
    virtual void DrawTick(QPainter* pDC, const QPoint& point, bool bHourMark);
    virtual void DrawHands(QPainter* pDC, int nHour, int nMinute, int nSecond, int nMilliseconds,
                           bool bFull);
    // The time the hands show from now on, drawn or not.
    void StoreTime(int nHour, int nMinute, int nSecond, int nMilliseconds);
    // Hand 0 is the hour hand, 1 the minute hand; the draw flag chooses drawing or erasing.
    virtual void DrawHand(QPainter* pDC, int nPos, int nHand, bool bDraw);
    // Tail, side, tip and side.
    virtual void GetHandPoints(int nPos, int nHand, std::array<QPoint, 4>& points) const;
    virtual void GetSweepPoints(double dPos, std::array<QPoint, 2>& points) const;
    virtual void DrawSweepHand(QPainter* pDC, int nSecond, int nMilliseconds);
    // The local time the timer shows: the clock's seam.
    virtual QTime GetLocalTime() const;
    // Milliseconds from the time last shown until the picture next changes.
    int NextTick() const;

    void CalcGeometry();
    void OnEraseBkgnd(QPainter* pDC);
    void OnPaint(QPainter* pDC);
    void OnTimer(int nIDEvent);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    // The clock's screen, for drawing on it as a tick does.
    QImage& Canvas() { return m_canvas; }
    int TimerID() const { return m_nTimerID; }
    QPoint Center() const { return m_ptCenter; }
    int HourPos() const { return m_nHourPos; }

private:
    // An inverting one-pixel line from start up to, not including, the end point.
    void InvertLine(QPainter* pDC, const QPoint& from, const QPoint& to);
    std::array<QPoint, 2> SecondHandLine(int nSecond, int nMilliseconds) const;
    QRect ChangedRect(int nHour, int nMinute, int nSecond, int nMilliseconds) const;
    void ShowNow();
    void ArmTimer();
    void StopTimer();
    void SyncGeometry();
    void Redraw();

    QColor m_crHand;
    QColor m_crBack;
    QPoint m_ptCenter;
    int m_nRadiusX = -1;
    int m_nRadiusY = -1;
    int m_nHourPos = 0;
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
    int m_nMilliseconds = 0;
    int m_nTimerID = 0;
    bool m_bRunning = true;
    bool m_bHourHand = true;
    bool m_bMinuteHand = true;
    bool m_bSecondHand = true;
    bool m_bTicks = true;
    bool m_bMinuteTicks = true;
    bool m_bHourTicks = true;
    bool m_bSecondWakeups = false;

    // The clock's screen: incremental drawing happens here, the paint event copies it.
    QImage m_canvas;
    // An erase and full paint of the canvas is due at the next paint event.
    bool m_bInvalid = true;
};
