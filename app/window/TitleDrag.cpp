#include "app/window/TitleDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

TitleDrag::TitleDrag(QWidget* window)
    : QObject(window), m_window(window),
      m_systemMove([](QWindow* handle) { return handle != nullptr && handle->startSystemMove(); })
{
    m_window->installEventFilter(this);
}

bool TitleDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        OnPress(static_cast<QMouseEvent&>(*event));
        return false; // the window's own handling runs as well
    case QEvent::MouseMove:
        if (!m_following) {
            return false;
        }
        m_window->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - m_offset);
        return true;
    case QEvent::MouseButtonRelease:
        if (!m_following || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
            return false;
        }
        Stop();
        return true;
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
        Stop();
        return false;
    default:
        return false;
    }
}

void TitleDrag::OnPress(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || event.position().y() >= BandHeight) {
        return;
    }
    if (m_systemMove(m_window->windowHandle())) {
        return;
    }
    // Grab the mouse so that moves keep coming to the window when the pointer leaves it or
    // crosses a child.
    m_offset = event.globalPosition().toPoint() - m_window->pos();
    m_following = true;
    m_window->grabMouse();
}

void TitleDrag::Stop()
{
    if (!m_following) {
        return;
    }
    m_following = false;
    m_window->releaseMouse();
}
