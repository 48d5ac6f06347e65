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
#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

constexpr const char* kMock = "org.freedesktop.DBus.Mock";

// The mock timedated, driven through its own interface.
class MockTimedated
{
public:
    explicit MockTimedated(const QString& bus)
        : m_bus(QDBusConnection::connectToBus(bus, QStringLiteral("mock-driver")))
    {
    }

    // Automatic time on or off, the clock reported synchronised or not; SetTime answers as the
    // template does; the call log is emptied.
    void Reset(bool ntp, bool synchronised)
    {
        QVariantMap properties{{"NTP", ntp}, {"NTPSynchronized", synchronised}};
        Call(kMock, "UpdateProperties", {QString(TimedatedRoute::kService), properties});
        RefuseSetTime(0);
        Call(kMock, "ClearCalls");
    }

    // The next `times` SetTime calls are refused as timedated does right after SetNTP(false).
    void RefuseSetTime(int times)
    {
        // A counter of this call's own on the mock object.
        const QString counter = QStringLiteral("refused_%1").arg(++m_serial);
        const QString code =
            QStringLiteral("n = getattr(self, '%1', 0)\n"
                           "if n < %2:\n"
                           "    setattr(self, '%1', n + 1)\n"
                           "    raise dbus.exceptions.DBusException('Automatic time "
                           "synchronization is enabled', name='org.freedesktop.timedate1."
                           "AutomaticTimeSyncEnabled')\n")
                .arg(counter)
                .arg(times);
        Call(kMock, "AddMethod",
             {QString(TimedatedRoute::kInterface), QStringLiteral("SetTime"), QStringLiteral("xbb"),
              QString(), code});
    }

    // "SetNTP false true", "SetTime 12345678 true true": the clock calls made, in order.
    QStringList Calls()
    {
        const QDBusMessage reply = Call(kMock, "GetCalls");
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

private:
    QDBusMessage Call(const char* interface, const char* method, const QVariantList& args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            TimedatedRoute::kService, TimedatedRoute::kPath, interface, method);
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

// With automatic time off: a target out of range asks nothing; "Adjust" pressed twice while its
// call is open asks once, for SetTime of the offset in microseconds, relative and interactive.
TEST(ClockSetterDbus, AdjustPressedTwiceAsksOnceAndATargetOutOfRangeNever)
{
    if (PrivateBus().isEmpty()) {
        GTEST_SKIP() << "run by timedated.sh, which starts a private bus";
    }
    MockTimedated mock(PrivateBus());
    mock.Reset(false, false);
    FakeClock clock;
    RecordingConsent consent(true, 0);
    SystemClockSetter outOfRange(consent, ClockSetter::Prompt::Desktop, clock, false, PrivateBus());
    EXPECT_FALSE(ClockSetter::SetAndWait(outOfRange, {-70.0 * 365 * 86400, true}));

    TestWindow window;
    CSyncDlg& dlg = window.dlg;
    dlg.SetClockSetter(std::make_unique<SystemClockSetter>(
        SyncDlgProbe::Consent(dlg), ClockSetter::Prompt::Desktop, clock, false, PrivateBus()));
    dlg.show();
    SyncDlgProbe::LastReply(dlg).destination = CNtpTimestamp::Now();
    SyncDlgProbe::LastReply(dlg).clockOffset = 12.3456784;
    dlg.OnAdjust();
    dlg.OnAdjust();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !LogLines(dlg).isEmpty() && SyncDlgProbe::IsLogIdle(dlg); }));
    EXPECT_EQ(LogLines(dlg), QStringList{SyncSteps::kAdjusted});
    EXPECT_EQ(mock.Calls(), QStringList{"SetTime 12345678 true true"});
    EXPECT_TRUE(clock.m_settings.empty());
}

// Automatic time on and the clock reported synchronised: the setter says so and asks; No makes
// no call; yes turns automatic time off and then sets the time, once more while timedated still
// refuses, and without asking anyone when nobody may be asked.
TEST(ClockSetterDbus, TurnsAutomaticTimeOffOnlyWhenAgreed)
{
    if (PrivateBus().isEmpty()) {
        GTEST_SKIP() << "run by timedated.sh, which starts a private bus";
    }
    MockTimedated mock(PrivateBus());
    const struct {
        bool yes;
        int refusals;
        bool set;
        QStringList calls;
    } cases[] = {
        {false, 0, false, {}},
        {true, 0, true, {"SetNTP false false", "SetTime 2500000 true false"}},
        {true,
         1,
         true,
         {"SetNTP false false", "SetTime 2500000 true false", "SetTime 2500000 true false"}},
        {true, SystemClockSetter::kSetTimeRetries + 1, false,
         QStringList{"SetNTP false false"} +
             QStringList(SystemClockSetter::kSetTimeRetries + 1, "SetTime 2500000 true false")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.yes << " " << c.refusals);
        mock.Reset(true, true);
        mock.RefuseSetTime(c.refusals);
        FakeClock clock;
        RecordingConsent consent(c.yes);
        SystemClockSetter setter(consent, ClockSetter::Prompt::None, clock, false, PrivateBus());
        EXPECT_EQ(ClockSetter::SetAndWait(setter, {2.5, false}), c.set);
        EXPECT_EQ(mock.Calls(), c.calls);
        EXPECT_EQ(consent.asked, std::vector<std::string>{"automatic, synchronised"});
        EXPECT_EQ(consent.notes,
                  std::vector<std::string>{SystemClockSetter::AutomaticTimeLine(true)});
        if (!c.yes) {
            EXPECT_EQ(setter.FailureReason(), SystemClockSetter::kAutomaticTimeReason);
        }
        if (!c.set && c.yes) {
            EXPECT_NE(setter.FailureReason().find("automatic time synchronisation is enabled"),
                      std::string::npos);
        }
        EXPECT_TRUE(clock.m_settings.empty());
    }
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
    MockTimedated mock(PrivateBus());
    const QString note = QString::fromStdString(SystemClockSetter::AutomaticTimeLine(false));
    for (const bool commandLine : {false, true}) {
        for (const bool yes : {false, true}) {
            SCOPED_TRACE(testing::Message() << commandLine << " " << yes);
            mock.Reset(true, false);
            FakeClock clock;
            TestWindow window;
            CSyncDlg& dlg = window.dlg;
            dlg.SetClockSetter(std::make_unique<SystemClockSetter>(SyncDlgProbe::Consent(dlg),
                                                                   ClockSetter::Prompt::Desktop,
                                                                   clock, false, PrivateBus()));
            if (commandLine) {
                dlg.SetCommandLine(CommandLine::Parse({server, "Y"}));
            } else {
                SyncDlgProbe::LastReply(dlg).destination = CNtpTimestamp::Now();
                SyncDlgProbe::LastReply(dlg).clockOffset = 4.0;
            }
            dlg.show();
            if (!commandLine) {
                dlg.OnAdjust();
            }
            const QString question = AnswerQuestion(dlg, yes);
            EXPECT_TRUE(question.contains("Automatic time synchronisation keeps"))
                << question.toStdString();
            ASSERT_TRUE(WaitIdle(dlg));
            const QStringList lines = LogLines(dlg);
            ASSERT_GE(lines.size(), 2);
            EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{note, SyncSteps::AdjustLine(yes)}));
            EXPECT_EQ(lines.size(), commandLine ? 8 : 2);
            const QStringList calls = mock.Calls();
            ASSERT_EQ(calls.size(), yes ? 2 : 0) << calls.join(", ").toStdString();
            if (yes) {
                EXPECT_EQ(calls[0], "SetNTP false true");
                EXPECT_TRUE(calls[1].startsWith("SetTime ") && calls[1].endsWith(" true true"));
            }
        }
    }
}
