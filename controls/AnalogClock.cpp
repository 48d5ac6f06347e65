#include "controls/AnalogClock.h"

#include "controls/AccessibleControls.h"
#include "controls/FrameDrawing.h"

#include <QPainter>
#include <QPalette>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace
{

constexpr double kPi = 3.14159;
constexpr double kThirtieth = 1.0 / 30.0;
constexpr int kMsPerSecond = 1000;
constexpr int kMsPerMinute = 60 * kMsPerSecond;
constexpr int kHourHand = 0;
constexpr int kMinuteHand = 1;
constexpr double kTickScale = 0.9;
constexpr double kSecondScale = 0.8;
constexpr double kTailScale = 0.1;
constexpr double kSideScale = 0.05;
const QColor kHourTickLight(168, 168, 168);
const QColor kHourTickDark(100, 100, 100);

// Offsets from the centre: adding 0.5 before truncating toward zero rounds a positive offset
// to the nearest pixel and pulls a negative one a pixel nearer the centre; intended.
int Offset(double value)
{
    return static_cast<int>(value + 0.5);
}

// Every pixel of a line, both ends included. QRect(a, b).normalized() is no substitute: when it
// swaps the corners it drops the first and last rows or columns, down to an empty rectangle for
// a line one pixel off the horizontal or vertical.
QRect Bounds(const std::array<QPoint, 2>& line)
{
    return {QPoint(std::min(line[0].x(), line[1].x()), std::min(line[0].y(), line[1].y())),
            QPoint(std::max(line[0].x(), line[1].x()), std::max(line[0].y(), line[1].y()))};
}

// The hour hand's dial position: it moves on every twelfth of the hour.
int HourHandPos(int nHour, int nMinute)
{
    return nHour * 5 + nMinute / 12;
}

} // namespace

CAnalogClock::CAnalogClock(QWidget* parent)
    : QWidget(parent), m_crHand(palette().color(QPalette::Highlight)),
      m_crBack(palette().color(QPalette::Button))
{
    AccessibleControls::Install();
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The widget has its window from construction on: start as the control did when it was
    // attached to its dialog item (Run lays the face out first).
    if (m_bRunning) {
        Run(true);
    }
}

CAnalogClock::~CAnalogClock()
{
    Run(false);
}

void CAnalogClock::SetBkColor(const QColor& color)
{
    if (color == m_crBack) {
        return;
    }
    m_crBack = color;
    Redraw();
}

void CAnalogClock::ShowMinuteTicks(bool bShow)
{
    if (bShow == m_bMinuteTicks) {
        return;
    }
    m_bMinuteTicks = bShow;
    Redraw();
}

void CAnalogClock::Redraw()
{
    m_bInvalid = true;
    if (isVisible()) {
        repaint();
    } else {
        update();
    }
}

void CAnalogClock::Run(bool bRun)
{
    m_bRunning = bRun;
    if (!bRun) {
        StopTimer();
        return;
    }
    SyncGeometry();
    if (!m_canvas.isNull()) {
        // Face, marks and hands at the stored time: a restart keeps the tick marks.
        QPainter dc(&m_canvas);
        OnEraseBkgnd(&dc);
        OnPaint(&dc);
    }
    if (m_nTimerID != 0) {
        return;
    }
    ShowNow();
    ArmTimer();
}

void CAnalogClock::SetSecondWakeups(bool bEverySecond)
{
    m_bSecondWakeups = bEverySecond;
    if (m_nTimerID != 0) {
        StopTimer();
        ArmTimer();
    }
}

void CAnalogClock::ShowNow()
{
    const QTime now = GetLocalTime();
    ShowTime(now.hour() % 12, now.minute(), now.second(), now.msec());
    emit Ticked();
}

// One single-shot wake-up at the next moment the picture changes. It runs only while the clock
// is shown: a hidden clock has nothing to change, and catches up when it is shown again.
void CAnalogClock::ArmTimer()
{
    if (m_nTimerID != 0 || !isVisible()) {
        return;
    }
    m_nTimerID = startTimer(NextTick(), Qt::PreciseTimer);
}

void CAnalogClock::StopTimer()
{
    if (m_nTimerID != 0) {
        killTimer(m_nTimerID);
        m_nTimerID = 0;
    }
}

// Milliseconds from the time last shown until the picture next changes: the second hand moves
// to other pixels, or the minute (and with it the polygon hands) changes; with second wake-ups
// also the next whole second. A sweep moved by less than a pixel changes nothing, so the clock
// sleeps through it. At least 1 ms: the time shown lies inside its minute and second.
int CAnalogClock::NextTick() const
{
    const int shown = m_nSecond * kMsPerSecond + m_nMilliseconds;
    int limit = kMsPerMinute - shown;
    if (m_bSecondWakeups) {
        limit = std::min(limit, kMsPerSecond - m_nMilliseconds);
    }
    if (!m_bSecondHand) {
        return limit;
    }
    const auto line = SecondHandLine(m_nSecond, m_nMilliseconds);
    for (int ahead = 1; ahead < limit; ++ahead) {
        const int later = shown + ahead;
        if (SecondHandLine(later / kMsPerSecond, later % kMsPerSecond) != line) {
            return ahead;
        }
    }
    return limit;
}

QTime CAnalogClock::GetLocalTime() const
{
    return QTime::currentTime();
}

// A canvas of another size or density is drawn on in vain: the paint event makes it afresh.
void CAnalogClock::ShowTime(int nHour, int nMinute, int nSecond, int nMilliseconds)
{
    // Most ticks move the sweeping hand by less than a pixel: its two inverting drawings would
    // cancel, so only the time is stored and nothing is drawn or shown again; so too on an empty
    // clock, which has no picture.
    const QRect changed =
        m_canvas.isNull() ? QRect() : ChangedRect(nHour, nMinute, nSecond, nMilliseconds);
    if (changed.isEmpty()) {
        StoreTime(nHour, nMinute, nSecond, nMilliseconds);
        return;
    }
    QPainter dc(&m_canvas);
    DrawHands(&dc, nHour, nMinute, nSecond, nMilliseconds, false);
    update(changed);
}

std::array<QPoint, 2> CAnalogClock::SecondHandLine(int nSecond, int nMilliseconds) const
{
    std::array<QPoint, 2> line;
    GetSweepPoints(nMilliseconds * 0.001 + nSecond, line);
    return line;
}

// What a tick to the given time changes on the canvas: the whole face when the polygon hands
// move, else the second hand's old and new lines, and nothing when those are the same line.
QRect CAnalogClock::ChangedRect(int nHour, int nMinute, int nSecond, int nMilliseconds) const
{
    if (nHour != m_nHour || nMinute != m_nMinute) {
        return rect();
    }
    if (!m_bSecondHand) {
        return {};
    }
    const auto before = SecondHandLine(m_nSecond, m_nMilliseconds);
    const auto after = SecondHandLine(nSecond, nMilliseconds);
    if (before == after) {
        return {};
    }
    return Bounds(before) | Bounds(after);
}

QPoint CAnalogClock::GetPoint(int nPos, double dScale) const
{
    return GetPoint(static_cast<double>(nPos), dScale);
}

QPoint CAnalogClock::GetPoint(double dPos, double dScale) const
{
    const double angle = (dPos - 15.0) * kPi * kThirtieth;
    return {m_ptCenter.x() + Offset(std::cos(angle) * m_nRadiusX * dScale),
            m_ptCenter.y() + Offset(std::sin(angle) * m_nRadiusY * dScale)};
}

void CAnalogClock::CalcGeometry()
{
    m_ptCenter = QPoint(width() / 2, height() / 2);
    m_nRadiusX = width() / 2;
    m_nRadiusY = height() / 2;
    // The picture has the screen's own pixels: at a device pixel ratio of 2 the polygon hands'
    // edges are drawn in half-pixel steps, not as the 1x picture enlarged. The inverting second
    // hand keeps its logical pixels, each then two by two.
    const qreal ratio = devicePixelRatioF();
    if (m_canvas.deviceIndependentSize() != QSizeF(size()) ||
        m_canvas.devicePixelRatio() != ratio) {
        m_canvas = size().isEmpty()
                       ? QImage()
                       : QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
        m_canvas.setDevicePixelRatio(ratio);
    }
    m_bInvalid = true;
    update();
}

void CAnalogClock::SyncGeometry()
{
    // Qt holds back the resize events of a hidden widget; drawing must not wait for them.
    if (m_nRadiusX == -1 || m_canvas.deviceIndependentSize() != QSizeF(size()) ||
        m_canvas.devicePixelRatio() != devicePixelRatioF()) {
        CalcGeometry();
    }
}

void CAnalogClock::GetHandPoints(int nPos, int nHand, std::array<QPoint, 4>& points) const
{
    const double tipScale = nHand == kHourHand ? 0.5 : 0.7;
    points[0] = GetPoint(nPos + 30, kTailScale);
    points[1] = GetPoint(nPos + 15, kSideScale);
    points[2] = GetPoint(nPos, tipScale);
    points[3] = GetPoint(nPos - 15, kSideScale);
}

void CAnalogClock::GetSweepPoints(double dPos, std::array<QPoint, 2>& points) const
{
    points[0] = m_ptCenter;
    points[1] = GetPoint(dPos, kSecondScale);
}

void CAnalogClock::InvertLine(QPainter* pDC, const QPoint& from, const QPoint& to)
{
    // Each pixel exactly once, so that a second drawing restores it.
    std::vector<QPoint> pixels;
    const int dx = std::abs(to.x() - from.x());
    const int dy = -std::abs(to.y() - from.y());
    const int sx = from.x() < to.x() ? 1 : -1;
    const int sy = from.y() < to.y() ? 1 : -1;
    int err = dx + dy;
    QPoint p = from;
    while (p != to) {
        pixels.push_back(p);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            p.rx() += sx;
        }
        if (e2 <= dx) {
            err += dx;
            p.ry() += sy;
        }
    }
    pDC->save();
    pDC->setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    pDC->setPen(QPen(Qt::black, 1));
    pDC->drawPoints(pixels.data(), static_cast<int>(pixels.size()));
    pDC->restore();
}

void CAnalogClock::DrawHand(QPainter* pDC, int nPos, int nHand, bool bDraw)
{
    std::array<QPoint, 4> points;
    GetHandPoints(nPos, nHand, points);
    // Every drawing of the clock sets the pen and brush it uses: nothing to restore.
    pDC->setPen(QPen(bDraw ? QColor(Qt::black) : m_crBack, 1));
    pDC->setBrush(bDraw ? m_crHand : m_crBack);
    pDC->drawPolygon(points.data(), static_cast<int>(points.size()));
}

void CAnalogClock::DrawSweepHand(QPainter* pDC, int nSecond, int nMilliseconds)
{
    std::array<QPoint, 2> points;
    GetSweepPoints(nMilliseconds * 0.001 + nSecond, points);
    InvertLine(pDC, points[0], points[1]);
}

void CAnalogClock::DrawTick(QPainter* pDC, const QPoint& point, bool bHourMark)
{
    const QRect square(point.x() - 1, point.y() - 1, 2, 2);
    if (bHourMark) {
        if (m_bHourTicks) {
            FrameDrawing::Draw3dRect(pDC, square, kHourTickLight, kHourTickDark);
        }
        return;
    }
    if (m_bMinuteTicks) {
        FrameDrawing::Draw3dRect(pDC, square, palette().color(QPalette::Light),
                                 palette().color(QPalette::Dark));
    }
}

void CAnalogClock::DrawHands(QPainter* pDC, int nHour, int nMinute, int nSecond, int nMilliseconds,
                             bool bFull)
{
    const int hourPos = HourHandPos(nHour, nMinute);
    const bool polygonsMove = nHour != m_nHour || nMinute != m_nMinute;
    // The inverting second hand cancels out only over unchanged pixels: it goes before the
    // polygons change and comes back after them; the minute hand is drawn last, on top.
    if (!bFull && m_bSecondHand) {
        DrawSweepHand(pDC, m_nSecond, m_nMilliseconds);
    }
    if (!bFull && polygonsMove) {
        if (m_bHourHand) {
            DrawHand(pDC, m_nHourPos, kHourHand, false);
        }
        if (m_bMinuteHand) {
            DrawHand(pDC, m_nMinute, kMinuteHand, false);
        }
    }
    if (bFull || polygonsMove) {
        if (m_bHourHand) {
            DrawHand(pDC, hourPos, kHourHand, true);
        }
        if (m_bMinuteHand) {
            DrawHand(pDC, nMinute, kMinuteHand, true);
        }
    }
    if (m_bSecondHand) {
        DrawSweepHand(pDC, nSecond, nMilliseconds);
    }
    StoreTime(nHour, nMinute, nSecond, nMilliseconds);
}

void CAnalogClock::StoreTime(int nHour, int nMinute, int nSecond, int nMilliseconds)
{
    m_nHour = nHour;
    m_nMinute = nMinute;
    m_nSecond = nSecond;
    m_nMilliseconds = nMilliseconds;
    m_nHourPos = HourHandPos(nHour, nMinute);
}

void CAnalogClock::OnEraseBkgnd(QPainter* pDC)
{
    pDC->fillRect(m_canvas.rect(), m_crBack);
}

void CAnalogClock::OnPaint(QPainter* pDC)
{
    if (m_nRadiusX == -1) {
        CalcGeometry();
    }
    if (m_bTicks) {
        for (int i = 0; i < 60; ++i) {
            const QPoint point = GetPoint(i, kTickScale);
            if (i % 5 == 0) {
                DrawTick(pDC, point, true);
            } else if (m_bMinuteTicks) {
                DrawTick(pDC, point, false);
            }
        }
    }
    DrawHands(pDC, m_nHour, m_nMinute, m_nSecond, m_nMilliseconds, true);
}

void CAnalogClock::paintEvent(QPaintEvent*)
{
    SyncGeometry();
    if (m_bInvalid && !m_canvas.isNull()) {
        QPainter dc(&m_canvas);
        OnEraseBkgnd(&dc);
        OnPaint(&dc);
        m_bInvalid = false;
    }
    QPainter screen(this);
    screen.drawImage(0, 0, m_canvas);
}

// QWidget's own resize, timer, show and hide handlers do nothing: they are not called.
void CAnalogClock::resizeEvent(QResizeEvent*)
{
    CalcGeometry();
}

void CAnalogClock::timerEvent(QTimerEvent* event)
{
    OnTimer(event->timerId());
}

void CAnalogClock::showEvent(QShowEvent*)
{
    if (m_bRunning && m_nTimerID == 0) {
        ShowNow();
        ArmTimer();
    }
}

void CAnalogClock::hideEvent(QHideEvent*)
{
    StopTimer();
}

void CAnalogClock::OnTimer(int nIDEvent)
{
    if (nIDEvent != m_nTimerID) { // a stopped clock's id, 0, is no timer's
        return;
    }
    StopTimer();
    ShowNow();
    ArmTimer();
}
