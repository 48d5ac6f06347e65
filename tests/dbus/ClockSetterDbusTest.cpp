// The clock set through timedated on a private system bus: python3-dbusmock's timedated records
// the calls of "Adjust" and of the console's Y; the real systemd-timedated, asked by an
// unprivileged caller, refuses as polkit and the NTP service say and, when allowed, fails in the
// kernel because the capability is dropped.
#include "tests/app/AppTestSupport.h"
#include "tests/common/UdpResponder.h"
#include "tests/dbus/PrivateSystemBus.h"

#include "app/CapabilityClockSetter.h"
#include "app/ConsoleRun.h"
#include "app/SyncSteps.h"
#include "app/TimedatedClockSetter.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace
{

const QString kMockInterface = "org.freedesktop.DBus.Mock";
const QString kSetTimeAction = "org.freedesktop.timedate1.set-time";

// The SetTime calls the mock recorded, as "USEC RELATIVE INTERACTIVE".
QStringList RecordedSetTimes(const PrivateSystemBus& bus)
{
    const QString calls = bus.Call({TimedatedClockSetter::kService, TimedatedClockSetter::kPath,
                                    kMockInterface + ".GetMethodCalls", "SetTime"})
                              .out;
    static const QRegularExpression call(R"(\[<(?:int64 )?(-?\d+)>, <(\w+)>, <(\w+)>\])");
    QStringList recorded;
    for (auto it = call.globalMatch(calls); it.hasNext();) {
        const auto match = it.next();
        recorded << match.captured(1) + ' ' + match.captured(2) + ' ' + match.captured(3);
    }
    return recorded;
}

// systemd's object path of a unit: bytes other than letters and digits as _XX.
QString UnitPath(const QString& unit)
{
    QString path = "/org/freedesktop/systemd1/unit/";
    for (const char c : unit.toLatin1()) {
        path += std::isalnum(static_cast<unsigned char>(c))
                    ? QString(QChar(c))
                    : QString("_%1").arg(static_cast<unsigned char>(c), 2, 16, QChar('0'));
    }
    return path;
}

// The units timedated counts as NTP services, from its lists.
QStringList NtpUnits()
{
    QStringList units;
    const QDir lists("/usr/lib/systemd/ntp-units.d");
    for (const QString& name : lists.entryList({"*.list"})) {
        QFile file(lists.filePath(name));
        file.open(QIODevice::ReadOnly);
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (!line.trimmed().isEmpty() && !line.startsWith('#')) {
                units << line.trimmed();
            }
        }
    }
    return units;
}

} // namespace

class ClockSetterDbus : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = PrivateSystemBus::Missing(); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        ASSERT_TRUE(m_bus.Start()) << m_bus.Error().toStdString();
    }

    // horalink --console SERVER Y against a server on port 123 of this run's address whose
    // clock is 10 s ahead: a relative change of zero would be no change, which timedated grants
    // without asking anyone.
    PrivateSystemBus::Output ConsoleY(bool unprivileged)
    {
        return m_bus.Run(HORALINK_PROGRAM,
                         {"--console", QString::fromStdString(kChronyAddress), "Y"}, unprivileged);
    }

    bool StartServer()
    {
        if (!IsUdpPortFree(123, kChronyAddress)) {
            return false;
        }
        m_server = std::make_unique<UdpResponder>(
            [](const UdpResponder::Bytes& request) {
                const uint64_t ahead = UdpResponder::NtpNow() + (uint64_t{10} << 32);
                return UdpResponder::NtpServer({.receive = ahead, .transmit = ahead})(request);
            },
            kChronyAddress, 123);
        return m_server->Port() == 123;
    }

    PrivateSystemBus m_bus;
    std::unique_ptr<UdpResponder> m_server;
    FakeClock m_clock;
    CSntpClient m_client{m_clock};
};

// With the mock: a target out of range asks nothing; "Adjust" pressed twice while its call is open
// records one interactive relative SetTime of the offset in microseconds, and the console's Y (no
// terminal) one that may not ask.
TEST_F(ClockSetterDbus, MockTimedatedRecordsOneRelativeSetTimeForAdjustAndForConsoleY)
{
    ASSERT_TRUE(m_bus.StartMock("timedated", TimedatedClockSetter::kService, R"({"NTP": false})"))
        << m_bus.Error().toStdString();
    TimedatedClockSetter refused(std::make_unique<CapabilityClockSetter>(m_client),
                                 ClockSetter::Prompt::None, m_bus.Address());
    EXPECT_FALSE(ClockSetter::SetAndWait(refused, -70.0 * 365 * 86400));
    EXPECT_EQ(RecordedSetTimes(m_bus), QStringList());

    TestWindow window;
    CSyncDlg& dlg = window.dlg;
    dlg.SetClockSetter(
        std::make_unique<TimedatedClockSetter>(std::make_unique<CapabilityClockSetter>(m_client),
                                               ClockSetter::Prompt::Desktop, m_bus.Address()));
    dlg.show();
    SyncDlgProbe::LastReply(dlg).destination = CNtpTimestamp::Now();
    SyncDlgProbe::LastReply(dlg).clockOffset = 12.3456784;
    dlg.OnAdjust();
    dlg.OnAdjust();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !LogLines(dlg).isEmpty() && SyncDlgProbe::IsLogIdle(dlg); }));
    EXPECT_EQ(LogLines(dlg), QStringList{SyncSteps::kAdjusted});
    EXPECT_EQ(RecordedSetTimes(m_bus), QStringList{"12345678 true true"});
    EXPECT_EQ(m_clock.m_settings.size(), 0u);

    if (!StartServer()) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kChronyAddress;
    }
    const PrivateSystemBus::Output console = ConsoleY(false);
    ASSERT_EQ(console.exitCode, ConsoleRun::kExitRetrieved) << console.err.toStdString();
    const QStringList lines = console.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << console.out.toStdString();
    EXPECT_EQ(lines[6], SyncSteps::kAdjusted);
    const QStringList recorded = RecordedSetTimes(m_bus);
    ASSERT_EQ(recorded.size(), 2);
    const QStringList fields = recorded[1].split(' ');
    EXPECT_EQ(fields.mid(1), QStringList({"true", "false"}));
    const double printed = lines[5].mid(9).chopped(8).toDouble();
    EXPECT_LE(std::abs(fields[0].toLongLong() - std::llround(printed * 1e6)), 1);
}

// The real timedated and the console as the unprivileged user 65534: polkit says no; an NTP
// service runs; polkit says yes and the kernel refuses, the capability being dropped. Each time
// the clock is not set, the console says so and gives the reason.
TEST_F(ClockSetterDbus, RealTimedatedRefusesUntilAllowedAndThenFailsInTheKernel)
{
    ASSERT_TRUE(m_bus.StartMock("polkitd", "org.freedesktop.PolicyKit1"))
        << m_bus.Error().toStdString();
    ASSERT_TRUE(m_bus.StartMock("systemd", "org.freedesktop.systemd1"))
        << m_bus.Error().toStdString();
    const QStringList units = NtpUnits();
    for (const QString& unit : units) {
        m_bus.Call({"org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                    kMockInterface + ".AddObject", UnitPath(unit), "org.freedesktop.systemd1.Unit",
                    QString("{'Id': <'%1'>, 'LoadState': <'loaded'>, 'ActiveState': <'inactive'>, "
                            "'UnitFileState': <'disabled'>}")
                        .arg(unit),
                    "[]"});
    }
    ASSERT_TRUE(m_bus.StartTimedated()) << m_bus.Error().toStdString();
    if (!StartServer()) {
        GTEST_SKIP() << "UDP port 123 is taken at " << kChronyAddress;
    }

    const auto setNtp = [&](const char* state) {
        for (const QString& unit : units) {
            m_bus.Call({"org.freedesktop.systemd1", UnitPath(unit),
                        kMockInterface + ".UpdateProperties", "org.freedesktop.systemd1.Unit",
                        QString("{'ActiveState': <'%1'>}").arg(state)});
        }
    };
    const auto allow = [&](bool allowed) {
        m_bus.Call({"org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
                    kMockInterface + ".SetAllowed",
                    allowed ? "['" + kSetTimeAction + "']" : QString("@as []")});
    };
    const std::tuple<bool, const char*, const char*> cases[] = {
        {false, "inactive", "systemd-timedated: Permission denied"},
        {true, "active", "automatic time synchronisation is enabled"},
        {true, "inactive", "Operation not permitted"},
    };
    for (const auto& [allowed, ntp, reason] : cases) {
        allow(allowed);
        setNtp(ntp);
        const PrivateSystemBus::Output console = ConsoleY(true);
        EXPECT_EQ(console.exitCode, ConsoleRun::kExitNotSet) << reason;
        EXPECT_TRUE(console.out.endsWith(QString(SyncSteps::kAdjustFailed) + '\n'))
            << console.out.toStdString();
        EXPECT_TRUE(console.err.contains(reason)) << console.err.toStdString();
    }
}
