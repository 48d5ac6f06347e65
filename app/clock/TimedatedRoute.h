#pragma once

#include "app/clock/ClockSetter.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QCoreApplication;
class QDBusConnection;
class QDBusError;
class QDBusMessage;
class TtyAuthAgent;

// systemd-timedated on the system bus, as the desktops' clock settings ask it: how the clock is
// kept (its NTP properties, read without asking anyone), SetNTP and a relative SetTime.
// timedated asks polkit, which may ask the user for an administrator's password, so every call
// is asynchronous and waits long enough for one to be typed; polkit keeps the authorisation for
// a few minutes, so one password covers SetNTP and the SetTime after it.
class TimedatedRoute : public QObject
{
public:
    static constexpr const char* kService = "org.freedesktop.timedate1";
    static constexpr const char* kPath = "/org/freedesktop/timedate1";
    static constexpr const char* kInterface = "org.freedesktop.timedate1";
    // Milliseconds: time for a person to read the prompt and type a password.
    static constexpr int kReplyTimeoutMs = 120000;
    // Milliseconds: reading the properties asks nobody.
    static constexpr int kReadTimeoutMs = 5000;

    enum class Reply {
        Done,
        Refused,     // FailureReason() says why
        Unreachable, // no bus, or nobody serves timedated on it
    };
    using Answer = std::function<void(Reply)>;

    // How timedated says the clock is kept.
    struct AutomaticTime {
        bool on = false;           // NTP: an NTP service keeps the clock
        bool available = false;    // CanNTP
        bool synchronised = false; // NTPSynchronized: the kernel says the clock is in sync
    };

    // busAddress: the system bus; empty for the one the environment names.
    TimedatedRoute(ClockSetter::Prompt prompt, QString busAddress = {});
    ~TimedatedRoute() override;

    // Reads NTP, CanNTP and NTPSynchronized; never asks for authorisation. A refused read leaves
    // the defaults (off).
    void ReadAutomaticTime(std::function<void(Reply, AutomaticTime)> answer);
    // SetNTP(on, interactive).
    void SetNtp(bool on, Answer answer);
    // SetTime(offset in microseconds, relative, interactive). While timedated still says that
    // automatic time keeps the clock, which it does for a moment after SetNTP(false), the call
    // is made again after retryGapMs, at most retries more times.
    void SetTime(double offset, int retries, int retryGapMs, Answer answer);
    // Ends the terminal's password agent, once the last call of a setting is answered.
    void EndPrompt();

    std::string FailureReason() const { return m_failureReason; }

    // DBUS_SYSTEM_BUS_ADDRESS, or the system bus's usual socket.
    static QString SystemBusAddress();
    // The reason for a refusal; empty for the errors that mean there is no timedated.
    static std::string ReasonFor(const QDBusError& error);
    // Whether error is timedated's refusal while automatic time keeps the clock.
    static bool MeansAutomaticTime(const QDBusError& error);

private:
    // Sends call; answer gets the error, invalid when the call worked, and the reply.
    void Send(QDBusMessage call, int timeoutMs,
              std::function<void(const QDBusError&, const QDBusMessage&)> answer);
    QDBusMessage Call(const char* method, bool interactive) const;
    Reply ReplyFor(const QDBusError& error);

    // The console has no application object; the bus connection needs one.
    std::unique_ptr<QCoreApplication> m_app;
    ClockSetter::Prompt m_prompt;
    QString m_address;
    QString m_connection; // this route's own connection to the bus, by name
    std::unique_ptr<TtyAuthAgent> m_agent;
    std::string m_failureReason;
};
