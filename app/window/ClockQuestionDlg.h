#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

// A question before the clock is set, in the window's own look (its palette and font): a text,
// a yes button and a no button, no being the default, so that Enter or Escape never set the
// clock. Opened window-modal; the answer comes once, when it is closed, and the box goes.
class ClockQuestionDlg : public QDialog
{
public:
    ClockQuestionDlg(QWidget* window, const QString& text, const QString& yes, const QString& no);

    // Opens the box; answer gets whether yes was chosen.
    static void Ask(QWidget* window, const QString& text, const QString& yes, const QString& no,
                    std::function<void(bool yes)> answer);

private:
    QLabel* m_labelQuestion;
    QPushButton* m_btnYes;
    QPushButton* m_btnNo;
};
