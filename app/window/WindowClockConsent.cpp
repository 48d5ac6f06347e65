#include "app/window/WindowClockConsent.h"

#include "app/window/ClockQuestionDlg.h"
#include "app/window/LogWriter.h"

#include <QDateTime>
#include <QLocale>

void WindowClockConsent::Note(const std::string& line)
{
    m_log->Append(QString::fromStdString(line));
}

void WindowClockConsent::TurnOffAutomaticTime(bool synchronised, Answer answer)
{
    const QString state = synchronised ? QStringLiteral("reports the clock synchronised")
                                       : QStringLiteral("does not report the clock synchronised");
    const QString text =
        QStringLiteral("Automatic time synchronisation keeps this computer's clock and %1.\n\n"
                       "The clock can be set only while automatic time is off. It stays off "
                       "until it is turned on again (timedatectl set-ntp true, or the desktop's "
                       "date and time settings).")
            .arg(state);
    ClockQuestionDlg::Ask(m_window, text, QString::fromLatin1(kTurnOff),
                          QString::fromLatin1(kCancel), std::move(answer));
}

void WindowClockConsent::AcceptStep(int64_t targetSeconds, double offset, Answer answer)
{
    const QString target = QDateTime::fromSecsSinceEpoch(targetSeconds)
                               .toString(QStringLiteral("dd/MM/yyyy, HH:mm:ss"));
    const QString text =
        QStringLiteral("The server's answer is not authenticated: anyone on the way could have "
                       "written it.\n\nSet the clock to %1 (local time), %2 seconds from now?")
            .arg(target, QString::number(offset, 'f', 0));
    ClockQuestionDlg::Ask(m_window, text, QStringLiteral("Yes"), QStringLiteral("No"),
                          std::move(answer));
}
