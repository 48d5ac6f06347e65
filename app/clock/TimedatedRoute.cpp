#include "app/clock/TimedatedRoute.h"

#include "app/clock/TtyAuthAgent.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QTimer>
#include <QVariantMap>

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

TimedatedRoute::TimedatedRoute(ClockSetter::Prompt prompt, QString busAddress)
    : m_prompt(prompt), m_address(busAddress.isEmpty() ? SystemBusAddress() : std::move(busAddress))
{
    static std::atomic<int> serial = 0;
    m_connection = QStringLiteral("horalink-timedated-%1").arg(++serial);
    if (QCoreApplication::instance() == nullptr) {
        m_app = std::make_unique<QCoreApplication>(g_argc, g_argv);
    }
}

TimedatedRoute::~TimedatedRoute()
{
    QDBusConnection::disconnectFromBus(m_connection);
}

QString TimedatedRoute::SystemBusAddress()
{
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return QString::fromLocal8Bit(address != nullptr && *address != '\0' ? address
                                                                         : kDefaultSystemBus);
}

QDBusMessage TimedatedRoute::Call(const char* method, bool interactive) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setInteractiveAuthorizationAllowed(interactive);
    return call;
}

void TimedatedRoute::Send(QDBusMessage call, int timeoutMs,
                          std::function<void(const QDBusError&, const QDBusMessage&)> answer)
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connection);
    if (!bus.isConnected()) {
        // Dropped, so that the next call tries the bus again.
        QDBusConnection::disconnectFromBus(m_connection);
        answer(QDBusError(QDBusError::NoServer, QStringLiteral("no system bus")), {});
        return;
    }
    if (call.isInteractiveAuthorizationAllowed() && m_prompt == ClockSetter::Prompt::Terminal &&
        !m_agent) {
        m_agent = std::make_unique<TtyAuthAgent>();
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [answer = std::move(answer)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                answer(finished->error(), finished->reply());
            });
}

TimedatedRoute::Reply TimedatedRoute::ReplyFor(const QDBusError& error)
{
    if (!error.isValid()) {
        m_failureReason.clear();
        return Reply::Done;
    }
    if (MeansNoTimedated(error)) {
        m_failureReason = "systemd-timedated could not be reached";
        return Reply::Unreachable;
    }
    m_failureReason = ReasonFor(error);
    return Reply::Refused;
}

void TimedatedRoute::ReadAutomaticTime(std::function<void(Reply, AutomaticTime)> answer)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    call << QString::fromLatin1(kInterface);
    call.setInteractiveAuthorizationAllowed(false);
    Send(call, kReadTimeoutMs,
         [this, answer = std::move(answer)](const QDBusError& error, const QDBusMessage& reply) {
             AutomaticTime automatic;
             if (error.isValid() && MeansNoTimedated(error)) {
                 answer(ReplyFor(error), automatic);
                 return;
             }
             if (!error.isValid() && !reply.arguments().isEmpty()) {
                 const QVariantMap properties =
                     qdbus_cast<QVariantMap>(reply.arguments().constFirst());
                 automatic.on = properties.value(QStringLiteral("NTP")).toBool();
                 automatic.available = properties.value(QStringLiteral("CanNTP")).toBool();
                 automatic.synchronised =
                     properties.value(QStringLiteral("NTPSynchronized")).toBool();
             }
             answer(Reply::Done, automatic);
         });
}

void TimedatedRoute::SetNtp(bool on, Answer answer)
{
    const bool interactive = m_prompt != ClockSetter::Prompt::None;
    QDBusMessage call = Call("SetNTP", interactive);
    call << on << interactive;
    Send(call, kReplyTimeoutMs,
         [this, answer = std::move(answer)](const QDBusError& error, const QDBusMessage&) {
             answer(ReplyFor(error));
         });
}

void TimedatedRoute::SetTime(double offset, int retries, int retryGapMs, Answer answer)
{
    const bool interactive = m_prompt != ClockSetter::Prompt::None;
    QDBusMessage call = Call("SetTime", interactive);
    call << static_cast<qlonglong>(std::llround(offset * 1e6)) << true << interactive;
    Send(call, kReplyTimeoutMs,
         [this, offset, retries, retryGapMs, answer = std::move(answer)](const QDBusError& error,
                                                                         const QDBusMessage&) {
             if (retries > 0 && MeansAutomaticTime(error)) {
                 QTimer::singleShot(retryGapMs, this, [=, this] {
                     SetTime(offset, retries - 1, retryGapMs, answer);
                 });
                 return;
             }
             answer(ReplyFor(error));
         });
}

void TimedatedRoute::EndPrompt()
{
    m_agent.reset();
}

bool TimedatedRoute::MeansAutomaticTime(const QDBusError& error)
{
    return error.isValid() && error.name() == QLatin1String(kTimeSyncEnabled);
}

std::string TimedatedRoute::ReasonFor(const QDBusError& error)
{
    if (MeansAutomaticTime(error)) {
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
