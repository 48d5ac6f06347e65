#pragma once

#include "app/clock/ClockSetter.h"

#include <QObject>
#include <QString>

#include <memory>

class QCoreApplication;
class QDBusError;
class TtyAuthAgent;

// Sets the clock through systemd-timedated on the system bus: SetTime(offset in microseconds,
// relative, interactive), as the desktops' clock settings do. timedated asks polkit, which may
// ask the user for an administrator's password, so the call is asynchronous and waits long
// enough for one to be typed. Where there is no timedated (no system bus, nobody serves it),
// the fallback route sets the clock, or says why it could not.
class TimedatedClockSetter : public QObject, public ClockSetter
{
public:
    static constexpr const char* kService = "org.freedesktop.timedate1";
    static constexpr const char* kPath = "/org/freedesktop/timedate1";
    static constexpr const char* kInterface = "org.freedesktop.timedate1";
    // Milliseconds: time for a person to read the prompt and type a password.
    static constexpr int kReplyTimeoutMs = 120000;

    // busAddress: the system bus; empty for the one the environment names.
    TimedatedClockSetter(std::unique_ptr<ClockSetter> fallback, Prompt prompt,
                         QString busAddress = {});
    ~TimedatedClockSetter() override;

    void SetByOffset(double offset, Done done) override;
    std::string FailureReason() const override { return m_failureReason; }

    // DBUS_SYSTEM_BUS_ADDRESS, or the system bus's usual socket.
    static QString SystemBusAddress();
    // The reason for a refusal; empty for the errors that mean there is no timedated.
    static std::string ReasonFor(const QDBusError& error);

private:
    void Fallback(double offset, const Done& done);
    void Answer(const QDBusError& error, double offset, const Done& done);

    // The console has no application object; the bus connection needs one.
    std::unique_ptr<QCoreApplication> m_app;
    std::unique_ptr<ClockSetter> m_fallback;
    Prompt m_prompt;
    QString m_address;
    QString m_connection; // this setter's own connection to the bus, by name
    std::unique_ptr<TtyAuthAgent> m_agent;
    std::string m_failureReason;
};
