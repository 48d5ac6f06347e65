#include "app/window/WindowClockConsent.h"

#include "app/window/ClockQuestionDlg.h"
#include "app/window/LogWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

QString WindowClockConsent::tr(const char* text)
{
    return QCoreApplication::translate("WindowClockConsent", text);
}

void WindowClockConsent::Note(const std::string& line)
{
    m_log->Append(QCoreApplication::translate("SystemClockSetter", line.c_str()));
}

void WindowClockConsent::TurnOffAutomaticTime(bool synchronised, Answer answer)
{
    const QString state = synchronised ? tr("reports the clock synchronised")
                                       : tr("does not report the clock synchronised");
    const QString text =
        tr("Automatic time synchronisation keeps this computer's clock and %1.\n\n"
           "The clock can be set only while automatic time is off. It stays off "
           "until it is turned on again (timedatectl set-ntp true, or the desktop's "
           "date and time settings).")
            .arg(state);
    ClockQuestionDlg::Ask(m_window, text, tr(kTurnOff), tr(kCancel), std::move(answer));
}

void WindowClockConsent::AcceptStep(int64_t targetSeconds, double offset, Answer answer)
{
    const QString target = QDateTime::fromSecsSinceEpoch(targetSeconds)
                               .toString(QStringLiteral("dd/MM/yyyy, HH:mm:ss"));
    const QString text =
        tr("The server's answer is not authenticated: anyone on the way could have "
           "written it.\n\nSet the clock to %1 (local time), %2 seconds from now?")
            .arg(target, QString::number(offset, 'f', 0));
    ClockQuestionDlg::Ask(m_window, text, tr("Yes"), tr("No"), std::move(answer));
}
