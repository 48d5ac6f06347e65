#pragma once

#include "app/clock/ClockConsent.h"

#include <QString>
#include <QtGlobal>

class LogWriter;
class QWidget;

// The window's answers before the clock is set: what the setter found goes into the log pane,
// and a person decides in a question box in the window's look.
class WindowClockConsent : public ClockConsent
{
public:
    static constexpr const char* kTurnOff =
        QT_TRANSLATE_NOOP("WindowClockConsent", "Turn off automatic time and set the clock");
    static constexpr const char* kCancel = QT_TRANSLATE_NOOP("WindowClockConsent", "Cancel");

    // window and log must outlive the consent.
    WindowClockConsent(QWidget* window, LogWriter* log) : m_window(window), m_log(log) {}

    void Note(const std::string& line) override;
    void TurnOffAutomaticTime(bool synchronised, Answer answer) override;
    void AcceptStep(int64_t targetSeconds, double offset, Answer answer) override;

private:
    // Not a QObject: the texts are translated in this class's own context.
    static QString tr(const char* text);

    QWidget* m_window;
    LogWriter* m_log;
};
