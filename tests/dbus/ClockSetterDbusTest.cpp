// Setting the clock through timedated on the private system bus that timedated.sh starts with
// python3-dbusmock's timedated: the calls the mock records for the setter and the window's
// "Adjust", and the setter's answers while automatic time keeps the clock.
#include "tests/app/AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/clock/TimedatedRoute.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QRegularExpression>

#include <cstdlib>
#include <tuple>

// Never the machine's own bus: only the script names one.
static const QString kBus = QString::fromLocal8Bit(std::getenv("HORALINK_PRIVATE_BUS"));

// The mock timedated, driven through its own interface.
struct MockTimedated {
    // Automatic time on or off, the clock reported synchronised or not; the first `refusals`
    // SetTime calls are refused with `error` (by default as timedated does right after
    // SetNTP(false)); the call log is emptied.
    void Reset(bool ntp, bool synchronised, int refusals = 0, QString error = {})
    {
        error = error.isEmpty() ? "org.freedesktop.timedate1.AutomaticTimeSyncEnabled" : error;
        mock.call("UpdateProperties", QString(TimedatedRoute::kService),
                  QVariantMap{{"NTP", ntp}, {"NTPSynchronized", synchronised}});
        const QString code =
            QStringLiteral("if [call[1] for call in self.call_log].count('SetTime') <= %1:\n"
                           "    raise dbus.exceptions.DBusException('Automatic time sync is "
                           "enabled', name='%2')\n");
        mock.call("AddMethod", QString(TimedatedRoute::kInterface), QStringLiteral("SetTime"),
                  QStringLiteral("xbb"), QString(), code.arg(refusals).arg(error));
        mock.call("ClearCalls");
    }

    // "SetNTP false true", "SetTime 12345678 true true": the clock calls made, in order.
    QStringList Calls()
    {
        QStringList calls;
        const auto log = mock.call("GetCalls").arguments().value(0).value<QDBusArgument>();
        log.beginArray();
        while (!log.atEnd()) {
            qulonglong time = 0;
            QString call;
            QVariantList args;
            log.beginStructure();
            log >> time >> call >> args;
            log.endStructure();
            for (const QVariant& arg : args) {
                call += ' ' + arg.toString();
            }
            if (call.startsWith("Set")) {
                calls.append(call); // SetTime and SetNTP, not the properties read
            }
        }
        log.endArray();
        return calls;
    }

    QDBusInterface mock{TimedatedRoute::kService, TimedatedRoute::kPath,
                        QStringLiteral("org.freedesktop.DBus.Mock"),
                        QDBusConnection::connectToBus(kBus, "mock-driver")};
};

// With automatic time off the setter calls SetTime of the offset in microseconds, relative and
// interactive where someone may be asked. With automatic time on and the clock reported
// synchronised the setter says so and asks; yes turns automatic time off and then sets the
// time, once more while timedated still refuses; read off, a refusal is not retried. (A no, and a
// target out of range, make no call: timedated.sh's console Y and
// app.SystemClockSetter.AsksBeforeABigUnauthenticatedStepOnly.) timedated gone between the
// automatic time's reading and SetTime: the capability route, whose refusal says that timedated
// could not be reached.
TEST(ClockSetterDbus, TurnsAutomaticTimeOffOnlyWhenAgreed)
{
    if (kBus.isEmpty()) {
        GTEST_SKIP() << "run by timedated.sh, which starts a private bus";
    }
    MockTimedated mock;
    constexpr int kRetries = SystemClockSetter::kSetTimeRetries;
    const std::string gone = SystemClockSetter::kNoTimedatedReason;
    const QString off = "SetNTP false false", setTime = "SetTime 2500000 true false";
    using enum ClockSetter::Prompt;
    using Calls = QStringList;
    for (const auto& [on, offset, prompt, yes, refusals, error, calls, reason] : {
             // clang-format off
             std::tuple(false, 12.3456784, Desktop, false, 0, QString(), Calls{"SetTime 12345678 true true"}, std::string()),
             {true, 2.5, None, true, 0, QString(), {off, setTime}, ""},
             {true, 2.5, None, true, 1, QString(), {off, setTime, setTime}, ""},
             {true, 2.5, None, true, kRetries + 1, QString(), Calls{off} + Calls(kRetries + 1, setTime), "automatic time synchronisation is enabled"},
             {false, 2.5, None, false, 1, QString(), {setTime}, "automatic time synchronisation is enabled"},
             {false, 2.5, None, false, 1, "org.freedesktop.DBus.Error.ServiceUnknown", {setTime}, gone},
             // clang-format on
         }) {
        SCOPED_TRACE(testing::Message() << offset << " " << yes << " " << refusals);
        mock.Reset(on, on, refusals, error);
        FakeClock clock(error.isEmpty()); // the capability route, taken without timedated, fails
        RecordingConsent consent(yes, 0);
        SystemClockSetter setter(consent, prompt, clock, false, kBus);
        EXPECT_EQ(ClockSetter::SetAndWait(setter, {offset, false}), reason.empty());
        EXPECT_EQ(mock.Calls(), calls);
        EXPECT_NE(setter.FailureReason().find(reason), std::string::npos) << setter.FailureReason();
        const std::vector<std::string> none, asked{"automatic, synchronised"},
            noted{SystemClockSetter::AutomaticTimeLine(true)};
        EXPECT_EQ(std::pair(consent.asked, consent.notes),
                  on ? std::pair(asked, noted) : std::pair(none, none));
        EXPECT_EQ(clock.m_settings.size(), error.isEmpty() ? 0u : 1u);
    }

    // The window's question after "Adjust", answered in its own box: Cancel leaves automatic time
    // on and the log ends in failure; the yes turns it off and sets the clock.
    const QString note = QString::fromStdString(SystemClockSetter::AutomaticTimeLine(false));
    for (const bool yes : {false, true}) {
        mock.Reset(true, false);
        FakeClock clock;
        TestWindow window;
        window.dlg.SetClockSetter(std::make_unique<SystemClockSetter>(
            SyncDlgProbe::Consent(window.dlg), ClockSetter::Prompt::Desktop, clock, false, kBus));
        window.dlg.show();
        SyncDlgProbe::LastReply(window.dlg).destination = CNtpTimestamp::Now();
        SyncDlgProbe::LastReply(window.dlg).clockOffset = 4.0;
        window.dlg.OnAdjust();
        AnswerQuestion(window.dlg, yes);
        ASSERT_TRUE(WaitIdle(window.dlg));
        EXPECT_EQ(LogLines(window.dlg), (QStringList{note, SyncSteps::AdjustLine(yes)}));
        EXPECT_EQ(
            mock.Calls().join(", ").replace(QRegularExpression("SetTime -?[0-9]+"), "SetTime N"),
            yes ? "SetNTP false true, SetTime N true true" : "");
    }
}
