#pragma once

#include <QObject>
#include <QPoint>

class QMenu;
class QWidget;

// The window menu a frameless window lacks: "Minimize", "Close", a separator and "About ...",
// opened by Alt+Space and by a right click on the title band. "About ..." carries IDM_ABOUTBOX
// as its data and is passed on as SysCommand, so the window answers it as a system command.
class WindowMenu : public QObject
{
    Q_OBJECT
public:
    // Owned by window.
    explicit WindowMenu(QWidget* window);

    QMenu* Menu() const { return m_menu; }
    // Opens the menu at a screen position.
    void Popup(const QPoint& globalPos);

signals:
    void SysCommand(int id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QMenu* m_menu;
};
