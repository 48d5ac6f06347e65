#include "controls/HoverButton.h"

#include "controls/FocusCue.h"
#include "res/ResourceLoader.h"
#include "res/SkinLayout.h"
#include "res/resource.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

CHoverButton::CHoverButton(QWidget* parent)
    : QPushButton(parent), m_hCursorHand(ResourceLoader::LoadCursor(IDC_HAND, devicePixelRatioF())),
      m_hCursorPressed(ResourceLoader::LoadCursor(IDC_HAND_PRESSED, devicePixelRatioF()))
{
    // The face copy is the only painting: no background erase, so switching faces never
    // flickers, and nothing outside the face is touched (a push button fills no background).
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(m_hCursorHand);
}

bool CHoverButton::LoadFaces(unsigned nIDBitmap)
{
    return LoadFaces(
        ResourceLoader::LoadBitmap(static_cast<int>(nIDBitmap & 0xFFFFu), devicePixelRatioF()));
}

bool CHoverButton::LoadFaces(const QImage& strip)
{
    m_bmpFaces = QPixmap();
    m_cxFace = 0;
    m_cyFace = 0;
    if (strip.isNull()) {
        update();
        return true;
    }
    // A strip drawn for a denser screen covers the same logical pixels as the 1x one.
    m_bmpFaces = QPixmap::fromImage(strip);
    const QSize logical = strip.deviceIndependentSize().toSize();
    m_cyFace = logical.height();
    m_cxFace = logical.width() / 3;
    m_clrFocus = FocusColour(strip.copy(0, 0, strip.width() / 3, strip.height()));
    resize(m_cxFace, m_cyFace);
    update();
    return true;
}

// The skin's text colour around a light face; white around a dark one (the title band's buttons),
// where the dark colour would hardly show.
QColor CHoverButton::FocusColour(const QImage& face)
{
    long long sum = 0;
    for (int x = 0; x < face.width(); ++x) {
        for (int y = 0; y < face.height(); ++y) {
            sum += qGray(face.pixel(x, y));
        }
    }
    constexpr int kMidGrey = 128;
    const long long count = static_cast<long long>(face.width()) * face.height();
    return count > 0 && sum / count < kMidGrey ? QColor(Qt::white) : SkinLayout::kText;
}

int CHoverButton::FaceColumn() const
{
    // Pressed wins over hot; focus has no face of its own. A disabled button shows its normal
    // face: Qt still tells it when the mouse comes and goes.
    if (isDown()) {
        return m_cxFace;
    }
    return m_bHot && isEnabled() ? 2 * m_cxFace : 0;
}

void CHoverButton::paintEvent(QPaintEvent*)
{
    if (m_cxFace == 0 || m_cyFace == 0) {
        return;
    }
    QPainter painter(this);
    // The source rectangle counts the strip's own pixels.
    const qreal ratio = m_bmpFaces.devicePixelRatio();
    const QRectF face(0, 0, m_cxFace, m_cyFace);
    painter.drawPixmap(face, m_bmpFaces,
                       QRectF(FaceColumn() * ratio, 0, m_cxFace * ratio, m_cyFace * ratio));
    if (m_bFocusCue) {
        painter.setPen(m_clrFocus);
        painter.drawRect(QRect(0, 0, m_cxFace, m_cyFace).adjusted(0, 0, -1, -1));
    }
}

// Enter presses the focused button itself, whichever is the window's default.
void CHoverButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// The focus is outlined only when the keyboard brought it: a click focuses the button too, and
// the mouse sees the faces alone.
void CHoverButton::focusInEvent(QFocusEvent* event)
{
    m_bFocusCue = FocusCueAfter(*event, m_bFocusCue);
    update();
    QPushButton::focusInEvent(event);
}

void CHoverButton::focusOutEvent(QFocusEvent* event)
{
    m_bFocusCue = FocusCueAfter(*event, m_bFocusCue);
    update();
    QPushButton::focusOutEvent(event);
}

void CHoverButton::enterEvent(QEnterEvent*)
{
    // The mouse tracker's hover with a rest of 1 ms: practically the moment the mouse arrives.
    m_bHot = true;
    update();
}

// QPushButton has no enter, leave or hide handling of its own, and QWidget's does nothing.
void CHoverButton::leaveEvent(QEvent*)
{
    EndHover();
}

// Where the window system reports no leave (the window loses the activation or is hidden under
// the pointer), the hot face would stay until the pointer came back.
void CHoverButton::hideEvent(QHideEvent*)
{
    EndHover();
}

bool CHoverButton::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate) {
        EndHover();
    }
    return QPushButton::event(event);
}

void CHoverButton::EndHover()
{
    if (!m_bHot) {
        return;
    }
    m_bHot = false;
    update();
}

void CHoverButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        setCursor(m_hCursorPressed);
    }
    QPushButton::mousePressEvent(event);
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* event)
{
    // The hand comes back before the release handling sends the click.
    if (event->button() == Qt::LeftButton) {
        setCursor(m_hCursorHand);
    }
    QPushButton::mouseReleaseEvent(event);
}
