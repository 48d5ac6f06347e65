#include "controls/LinkLabel.h"

#include "controls/AccessibleControls.h"
#include "controls/FocusCue.h"
#include "controls/TahomaFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace
{

constexpr int kLinkFontHeight = -11;

} // namespace

CLinkLabel::CLinkLabel(QWidget* parent)
    : QLabel(parent), m_hCursorHand(ResourceLoader::LoadCursor(IDC_HAND, devicePixelRatioF())),
      m_hCursorPressed(ResourceLoader::LoadCursor(IDC_HAND_PRESSED, devicePixelRatioF()))
{
    AccessibleControls::Install();
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reached by Tab, never focused by a click, so the mouse sees no focus mark.
    setFocusPolicy(Qt::TabFocus);
}

void CLinkLabel::SetBkColor(const QColor& color)
{
    m_crBack = color;
    Redraw();
}

void CLinkLabel::SetLink(const QString& text, const QColor& color)
{
    m_crText = color;
    m_strText = text;
    setText(text);
    if (m_strText.isEmpty()) {
        unsetCursor();
    } else {
        setCursor(m_hCursorHand);
    }
    Redraw();
}

QFont CLinkLabel::LinkFont()
{
    if (!m_bFontCreated) {
        CreateLinkFont();
    }
    return m_font;
}

void CLinkLabel::CreateLinkFont()
{
    m_font = CTahomaFont::Font(kLinkFontHeight, QFont::Bold, true);
    CTahomaFont::UseBitmapStrikes(m_font);
    m_bFontCreated = true;
}

void CLinkLabel::Redraw()
{
    if (isVisible()) {
        repaint();
    }
}

void CLinkLabel::ShowCursor(const QCursor& cursor)
{
    if (!m_strText.isEmpty()) {
        setCursor(cursor);
    }
}

void CLinkLabel::paintEvent(QPaintEvent*)
{
    // Straight onto the widget: Qt's backing store already keeps the paint from flickering.
    const QRect client = rect();
    QPainter painter(this);
    painter.fillRect(client, m_crBack);
    painter.setFont(LinkFont());
    painter.setPen(m_crText);
    // From the top-left corner, clipped to the control, line breaks only where the text has them.
    QRect drawn;
    painter.drawText(client, Qt::AlignLeft | Qt::AlignTop, m_strText, &drawn);
    if (m_bFocusCue) {
        painter.setPen(QPen(m_crText, 1, Qt::DotLine));
        painter.drawRect(drawn.intersected(client).adjusted(0, 0, -1, -1));
    }
}

void CLinkLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    ShowCursor(m_hCursorPressed);
    event->accept();
    emit clicked();
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        ShowCursor(m_hCursorHand);
    }
    QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    // The link does not hold the mouse: moving with the button down shows the pointing hand
    // again.
    ShowCursor(m_hCursorHand);
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt delivers the second press of a double click as this event, not as a press: like the
    // old control, it is no click of its own, so a double click opens the link once.
    event->accept();
}

void CLinkLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit clicked(); // the event arrives accepted
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

// The focus is marked only when the keyboard brought it, as the mouse never does; Qt's handlers
// repaint the label.
void CLinkLabel::focusInEvent(QFocusEvent* event)
{
    m_bFocusCue = FocusCueAfter(*event, m_bFocusCue);
    QLabel::focusInEvent(event);
}

void CLinkLabel::focusOutEvent(QFocusEvent* event)
{
    m_bFocusCue = FocusCueAfter(*event, m_bFocusCue);
    QLabel::focusOutEvent(event);
}
