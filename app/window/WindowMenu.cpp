#include "app/window/WindowMenu.h"

#include "app/window/TitleDrag.h"
#include "res/resource.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

WindowMenu::WindowMenu(QWidget* window)
    : QObject(window), m_window(window), m_menu(new QMenu(window))
{
    m_menu->addAction(tr("Minimize"), window, &QWidget::showMinimized);
    m_menu->addAction(tr("Close"), window, &QWidget::close);
    m_menu->addSeparator();
    QAction* about = m_menu->addAction(tr("About ..."));
    about->setData(IDM_ABOUTBOX);
    connect(about, &QAction::triggered, this, [this] { emit SysCommand(IDM_ABOUTBOX); });

    // Where a title bar's menu would open: below the band, at the left edge.
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), window);
    connect(shortcut, &QShortcut::activated, this,
            [this] { Popup(m_window->mapToGlobal(QPoint(0, TitleDrag::BandHeight))); });
    window->installEventFilter(this);
}

void WindowMenu::Popup(const QPoint& globalPos)
{
    m_menu->popup(globalPos);
}

bool WindowMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window || event->type() != QEvent::ContextMenu) {
        return false;
    }
    const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    if (menuEvent->reason() != QContextMenuEvent::Mouse ||
        menuEvent->pos().y() >= TitleDrag::BandHeight) {
        return false;
    }
    Popup(menuEvent->globalPos());
    return true;
}
