#include "controls/LinkLabel.h"

#include "controls/TahomaFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace
{

constexpr int kLinkFontHeight = -11;

} // namespace

CLinkLabel::CLinkLabel(QWidget* parent)
    : QLabel(parent), m_hCursorHand(ResourceLoader::LoadCursor(IDC_HAND)),
      m_hCursorPressed(ResourceLoader::LoadCursor(IDC_HAND_PRESSED))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLinkLabel::SetBkColor(const QColor& color)
{
    m_hBackBrush = QBrush(color);
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
    const QRect client = rect();
    QPixmap buffer(client.size() * devicePixelRatio());
    buffer.setDevicePixelRatio(devicePixelRatio());
    // A fresh buffer starts in the background colour, so no stale pixels show before the
    // owner has set a brush.
    buffer.fill(m_crBack);
    {
        QPainter memory(&buffer);
        memory.fillRect(client, m_hBackBrush);
        memory.setFont(LinkFont());
        memory.setPen(m_crText);
        // From the top-left corner, clipped to the control, line breaks only where the text
        // has them.
        memory.drawText(client, Qt::AlignLeft | Qt::AlignTop, m_strText);
    }
    QPainter screen(this);
    screen.drawPixmap(0, 0, buffer);
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
