// Setting the clock through timedated on the private system bus that timedated.sh starts with
// python3-dbusmock's timedated: the calls the mock records for "Adjust", the window's command
// line and the setter's answers while automatic time keeps the clock.
#include "tests/app/AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/clock/TimedatedRoute.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

// The mock timedated, driven through its own interface.
struct MockTimedated {

    // Automatic time on or off, the clock reported synchronised or not; SetTime answers as the
    // template does; the call log is emptied.
    void Reset(bool ntp, bool synchronised)
    {
        QVariantMap properties{{"NTP", ntp}, {"NTPSynchronized", synchronised}};
        Call("UpdateProperties", {QString(TimedatedRoute::kService), properties});
        RefuseSetTime(0);
        Call("ClearCalls");
    }

    // The next `times` SetTime calls are refused as timedated does right after SetNTP(false), or
    // with another error.
    void RefuseSetTime(int times,
                       const QString& error = "org.freedesktop.timedate1.AutomaticTimeSyncEnabled")
    {
        // A counter of this call's own on the mock object.
        const QString counter = QStringLiteral("refused_%1").arg(++m_serial);
        const QString code =
            QStringLiteral("n = getattr(self, '%1', 0)\n"
                           "if n < %2:\n"
                           "    setattr(self, '%1', n + 1)\n"
                           "    raise dbus.exceptions.DBusException('Automatic time "
                           "synchronization is enabled', name='%3')\n")
                .arg(counter)
                .arg(times)
                .arg(error);
        Call("AddMethod", {QString(TimedatedRoute::kInterface), QStringLiteral("SetTime"),
                           QStringLiteral("xbb"), QString(), code});
    }

    // "SetNTP false true", "SetTime 12345678 true true": the clock calls made, in order.
    QStringList Calls()
    {
        const QDBusMessage reply = Call("GetCalls");
        QStringList calls;
        if (reply.arguments().isEmpty()) {
            return calls;
        }
        const auto log = reply.arguments().constFirst().value<QDBusArgument>();
        log.beginArray();
        while (!log.atEnd()) {
            qulonglong time = 0;
            QString name;
            QVariantList args;
            log.beginStructure();
            log >> time >> name >> args;
            log.endStructure();
            if (name != "SetTime" && name != "SetNTP") {
                continue;
            }
            for (const QVariant& arg : args) {
                const QVariant value =
                    arg.canConvert<QDBusVariant>() ? arg.value<QDBusVariant>().variant() : arg;
                name += ' ' + value.toString();
            }
            calls.append(name);
        }
        log.endArray();
        return calls;
    }

    QDBusMessage Call(const char* method, const QVariantList& args = {})
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(TimedatedRoute::kService, TimedatedRoute::kPath,
                                           QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(args);
        const QDBusMessage reply = m_bus.call(call);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
        return reply;
    }

    QDBusConnection m_bus;
    int m_serial = 0;
};

// Never the machine's own bus: only the script names one.
QString PrivateBus()
{
    const char* bus = std::getenv("HORALINK_PRIVATE_BUS");
    return bus != nullptr ? QString::fromLocal8Bit(bus) : QString();
}

} // namespace

// With automatic time off the setter calls SetTime of the offset in microseconds, relative and
// interactive where someone may be asked; a target out of range makes no call. With automatic
// time on and the clock reported synchronised the setter says so and asks: No makes no call;
// yes turns automatic time off and then sets the time, once more while timedated still refuses.
TEST(ClockSetterDbus, TurnsAutomaticTimeOffOnlyWhenAgreed)
{
    if (PrivateBus().isEmpty()) {
        GTEST_SKIP() << "run by timedated.sh, which starts a private bus";
    }
    MockTimedated mock{QDBusConnection::connectToBus(PrivateBus(), "mock-driver")};
    constexpr int kRetries = SystemClockSetter::kSetTimeRetries;
    const QString off = "SetNTP false false", setTime = "SetTime 2500000 true false";
    using enum ClockSetter::Prompt;
    const struct {
        bool automatic;
        double offset;
        ClockSetter::Prompt prompt;
        bool yes;
        int refusals;
        bool set;
        QStringList calls;
    } cases[] = {
        // clang-format off
        {false, 12.3456784, Desktop, false, 0, true, {"SetTime 12345678 true true"}},
        {false, -70.0 * 365 * 86400, Desktop, true, 0, false, {}},
        {true, 2.5, None, false, 0, false, {}},
        {true, 2.5, None, true, 0, true, {off, setTime}},
        {true, 2.5, None, true, 1, true, {off, setTime, setTime}},
        {true, 2.5, None, true, kRetries + 1, false, QStringList{off} + QStringList(kRetries + 1, setTime)},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << " " << c.yes << " " << c.refusals);
        mock.Reset(c.automatic, c.automatic);
        mock.RefuseSetTime(c.refusals);
        FakeClock clock;
        RecordingConsent consent(c.yes, 0);
        SystemClockSetter setter(consent, c.prompt, clock, false, PrivateBus());
        EXPECT_EQ(ClockSetter::SetAndWait(setter, {c.offset, false}), c.set);
        EXPECT_EQ(mock.Calls(), c.calls);
        const auto said = [&c](std::string what) {
            return c.automatic ? std::vector{what} : std::vector<std::string>{};
        };
        EXPECT_EQ(consent.asked, said("automatic, synchronised"));
        EXPECT_EQ(consent.notes, said(SystemClockSetter::AutomaticTimeLine(true)));
        if (c.automatic && !c.set) {
            EXPECT_NE(setter.FailureReason().find(c.yes
                                                      ? "automatic time synchronisation is enabled"
                                                      : SystemClockSetter::kAutomaticTimeReason),
                      std::string::npos);
        }
        EXPECT_TRUE(clock.m_settings.empty());
    }
    // timedated gone between the automatic time's reading and SetTime: the capability route,
    // whose refusal says that timedated could not be reached.
    mock.Reset(false, false);
    mock.RefuseSetTime(1, "org.freedesktop.DBus.Error.ServiceUnknown");
    FakeClock refusing(false);
    RecordingConsent consent;
    SystemClockSetter setter(consent, None, refusing, false, PrivateBus());
    EXPECT_FALSE(ClockSetter::SetAndWait(setter, {2.5, false}));
    EXPECT_EQ(setter.FailureReason(), SystemClockSetter::kNoTimedatedReason);
    EXPECT_EQ(refusing.m_settings.size(), 1u);
}

// The window's question, answered in its own box: Cancel leaves automatic time on and the log
// ends in failure; the yes turns it off and sets the clock. "Adjust" and the command line
// (horalink SERVER Y, against the script's server on port 123) alike.
TEST(ClockSetterDbus, WindowAsksBeforeTurningAutomaticTimeOff)
{
    const char* server = std::getenv("HORALINK_SNTP_ADDRESS");
    if (PrivateBus().isEmpty() || server == nullptr) {
        GTEST_SKIP() << "run by timedated.sh, which starts a private bus";
    }
    MockTimedated mock{QDBusConnection::connectToBus(PrivateBus(), "mock-driver")};
    const QString note = QString::fromStdString(SystemClockSetter::AutomaticTimeLine(false));
    for (const auto& [commandLine, yes] :
         {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
        SCOPED_TRACE(testing::Message() << commandLine << " " << yes);
        mock.Reset(true, false);
        FakeClock clock;
        TestWindow window;
        CSyncDlg& dlg = window.dlg;
        dlg.SetClockSetter(std::make_unique<SystemClockSetter>(
            SyncDlgProbe::Consent(dlg), ClockSetter::Prompt::Desktop, clock, false, PrivateBus()));
        if (commandLine) {
            dlg.SetCommandLine(CommandLine::Parse({server, "Y"}));
        }
        dlg.show();
        if (!commandLine) {
            SyncDlgProbe::LastReply(dlg).destination = CNtpTimestamp::Now();
            SyncDlgProbe::LastReply(dlg).clockOffset = 4.0;
            dlg.OnAdjust();
        }
        const QString question = AnswerQuestion(dlg, yes);
        EXPECT_TRUE(question.contains("Automatic time synchronisation keeps"))
            << question.toStdString();
        ASSERT_TRUE(WaitIdle(dlg));
        const QStringList lines = LogLines(dlg);
        EXPECT_EQ(lines.size(), commandLine ? 8 : 2);
        EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{note, SyncSteps::AdjustLine(yes)}));
        EXPECT_EQ(
            mock.Calls().join(", ").replace(QRegularExpression("SetTime -?[0-9]+"), "SetTime N"),
            yes ? "SetNTP false true, SetTime N true true" : "");
    }
}
