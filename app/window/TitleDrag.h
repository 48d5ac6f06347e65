#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QMouseEvent;
class QWidget;
class QWindow;

// Drags a window that has no title bar by its top band: a left press in the band, outside any
// control that takes the press (buttons, edits), hands the move to the window system, or, where
// it has none (a bare X server), moves the window with the mouse until the button is released.
// Presses on controls that pass the mouse on (labels, the skin) reach the window and count.
class TitleDrag : public QObject
{
    Q_OBJECT
public:
    static constexpr int BandHeight = 35;

    // Asks the window system to move the window; false when it cannot.
    using SystemMove = std::function<bool(QWindow*)>;

    // Watches window's mouse events; owned by window.
    explicit TitleDrag(QWidget* window);

    void SetSystemMove(SystemMove move) { m_systemMove = std::move(move); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnPress(const QMouseEvent& event);
    void Stop();

    QWidget* m_window;
    SystemMove m_systemMove;
    bool m_following = false;
    QPoint m_offset; // from the mouse to the window's top left corner, in screen pixels
};
