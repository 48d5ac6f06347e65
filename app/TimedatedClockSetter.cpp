#include "app/TimedatedClockSetter.h"

#include "app/TtyAuthAgent.h"
#include "sntp/ClockTarget.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace
{

constexpr const char* kDefaultSystemBus = "unix:path=/run/dbus/system_bus_socket";
constexpr const char* kTimeSyncEnabled = "org.freedesktop.timedate1.AutomaticTimeSyncEnabled";

// Errors that mean nobody answers for timedated on this system.
bool MeansNoTimedated(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
        return true;
    default:
        return false;
    }
}

// argv for an application object made here; it must outlive the object.
int g_argc = 1;
char g_program[] = "horalink";
char* g_argv[] = {g_program, nullptr};

} // namespace

TimedatedClockSetter::TimedatedClockSetter(std::unique_ptr<ClockSetter> fallback, Prompt prompt,
                                           QString busAddress)
    : m_fallback(std::move(fallback)), m_prompt(prompt),
      m_address(busAddress.isEmpty() ? SystemBusAddress() : std::move(busAddress))
{
    static std::atomic<int> serial = 0;
    m_connection = QStringLiteral("horalink-timedated-%1").arg(++serial);
    if (QCoreApplication::instance() == nullptr) {
        m_app = std::make_unique<QCoreApplication>(g_argc, g_argv);
    }
}

TimedatedClockSetter::~TimedatedClockSetter()
{
    QDBusConnection::disconnectFromBus(m_connection);
}

QString TimedatedClockSetter::SystemBusAddress()
{
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return QString::fromLocal8Bit(address != nullptr && *address != '\0' ? address
                                                                         : kDefaultSystemBus);
}

void TimedatedClockSetter::SetByOffset(double offset, Done done)
{
    // The same limits as the engine's route: timedated would take any time it is given.
    if (!ClockTargetFromOffset(offset)) {
        m_failureReason = kTargetOutOfRange;
        done(false);
        return;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connection);
    if (!bus.isConnected()) {
        // Dropped, so that the next setting tries the bus again.
        QDBusConnection::disconnectFromBus(m_connection);
        Fallback(offset, done);
        return;
    }
    const bool interactive = m_prompt != Prompt::None;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "SetTime");
    call << static_cast<qlonglong>(std::llround(offset * 1e6)) << true << interactive;
    call.setInteractiveAuthorizationAllowed(interactive);
    if (m_prompt == Prompt::Terminal && !m_agent) {
        m_agent = std::make_unique<TtyAuthAgent>();
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, offset, done](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                Answer(finished->error(), offset, done);
            });
}

void TimedatedClockSetter::Answer(const QDBusError& error, double offset, const Done& done)
{
    m_agent.reset();
    if (error.isValid() && MeansNoTimedated(error)) {
        Fallback(offset, done);
        return;
    }
    m_failureReason = error.isValid() ? ReasonFor(error) : std::string();
    done(!error.isValid());
}

void TimedatedClockSetter::Fallback(double offset, const Done& done)
{
    m_fallback->SetByOffset(offset, [this, done](bool set) {
        m_failureReason = m_fallback->FailureReason();
        done(set);
    });
}

std::string TimedatedClockSetter::ReasonFor(const QDBusError& error)
{
    if (error.name() == QLatin1String(kTimeSyncEnabled)) {
        return "automatic time synchronisation is enabled: an NTP service keeps the clock";
    }
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout) {
        return "no answer from systemd-timedated within two minutes";
    }
    if (error.name() ==
        QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")) {
        return "authorisation needed, but no one may be asked here";
    }
    return "systemd-timedated: " + error.message().toStdString();
}
