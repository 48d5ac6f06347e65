// The clock setters without a system bus: the once-only rule, the questions asked before a
// setting and the route taken where there is no timedated.
#include "AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/clock/CapabilityRoute.h"
#include "app/clock/OffsetApplier.h"
#include "tests/common/UdpResponder.h"

#include <QDateTime>

#include <cmath>
#include <ctime>
#include <optional>
#include <tuple>

static SntpReply Exchange(double offset, int second)
{
    SntpReply reply;
    reply.destination = CNtpTimestamp::Now().AddSeconds(second);
    reply.originate = reply.destination.AddSeconds(-0.01);
    reply.clockOffset = offset;
    return reply;
}

// "Adjust" pressed while a command-line run with Y types its report, then the run's own
// setting: whichever comes first sets the clock, the other joins it or learns it was done.
// A failed setting leaves the exchange for another try; nothing else is ever applied.
TEST(OffsetApplier, AppliesAnExchangeOnceWhoeverAsks)
{
    SntpReply stored = Exchange(2.5, 0);
    const SntpReply a = stored;
    OffsetApplier applier(stored);
    DeferredClockSetter setter;
    std::vector<std::string> answers;
    const auto record = [&answers](std::string who) {
        return [&answers, who](bool set) { answers.push_back(who + (set ? " set" : " not set")); };
    };

    applier.Apply(setter, a, record("adjust"));
    applier.Apply(setter, a, record("worker"));
    EXPECT_TRUE(applier.IsPending());
    EXPECT_EQ(setter.offsets, std::vector<double>{2.5});
    setter.Answer(false);
    EXPECT_EQ(answers, (std::vector<std::string>{"adjust not set", "worker not set"}));
    EXPECT_TRUE(OffsetApplier::SameExchange(stored, a));

    applier.Apply(setter, a, record("adjust"));
    applier.Apply(setter, Exchange(7.0, 1), record("other")); // never two settings at once
    setter.Answer(true);
    applier.Apply(setter, a, record("worker"));
    EXPECT_EQ(setter.offsets, (std::vector<double>{2.5, 2.5}));
    EXPECT_EQ(answers, (std::vector<std::string>{"adjust not set", "worker not set",
                                                 "other not set", "adjust set", "worker set"}));
    EXPECT_EQ(stored.destination.Value(), 0u);

    // A newer exchange stored while an older one is set stays; one no longer stored is refused.
    stored = Exchange(-1.0, 2);
    const SntpReply b = stored;
    applier.Apply(setter, b, record("adjust"));
    stored = Exchange(3.0, 3);
    setter.Answer(true);
    EXPECT_EQ(stored.clockOffset, 3.0);
    applier.Apply(setter, Exchange(9.0, 4), record("stale"));
    EXPECT_EQ(setter.offsets, (std::vector<double>{2.5, 2.5, -1.0}));
    EXPECT_EQ(answers.back(), "stale not set");
}

// The setter's checks before any route: a target outside the calendar window is refused unasked;
// an unauthenticated answer stepping the clock further than the limit needs a yes, which is asked
// with the target the clock would be set to; an authenticated one, a small step or no limit is
// set unasked. Without a system bus the capability route sets the clock (here the recording
// seam); where it may not, the reason says that timedated could not be reached.
TEST(SystemClockSetter, AsksBeforeABigUnauthenticatedStepOnly)
{
    constexpr double k2090 = 2019686400; // from 2026 to 2090
    const struct {
        double offset;
        bool authenticated;
        double maxStep;
        bool yes, asked, reached, refuses;
        const char* reason;
    } cases[] = {
        {k2090, false, 1000, false, true, false, false, "move the clock by 2019686400 s"},
        {k2090, false, 1000, true, true, true, false, ""},
        {k2090, false, 0, false, false, true, false, ""},
        {-1000.5, false, 1000, false, true, false, false, "the limit of 1000 s"},
        {999.5, false, 1000, false, false, true, false, ""},
        {5000, true, 1000, false, false, true, false, ""},
        {5000, false, 6000, false, false, true, false, ""},
        {-70.0 * 365 * 86400, true, 0, true, false, false, false, "target time out of range"},
        {10.25, false, 1000, false, false, true, true, SystemClockSetter::kNoTimedatedReason},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << (c.authenticated ? " NTS" : ""));
        FakeClock clock(!c.refuses);
        RecordingConsent consent(c.yes, c.maxStep);
        SystemClockSetter setter(consent, ClockSetter::Prompt::None, clock, false,
                                 "unix:path=/nonexistent/bus");
        const std::time_t now = std::time(nullptr);
        EXPECT_EQ(ClockSetter::SetAndWait(setter, {c.offset, c.authenticated}),
                  c.reached && !c.refuses);
        EXPECT_NE(setter.FailureReason().find(c.reason), std::string::npos)
            << setter.FailureReason();
        EXPECT_EQ(setter.FailureReason().empty(), c.reached && !c.refuses);
        EXPECT_EQ(consent.asked,
                  c.asked ? std::vector<std::string>{"step"} : std::vector<std::string>{});
        ASSERT_EQ(consent.targets.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_NEAR(static_cast<double>(consent.targets[0] - now), c.offset, 2.0);
        }
        ASSERT_EQ(clock.m_settings.size(), c.reached ? 1u : 0u);
        if (c.reached) {
            // The calendar of the setting from the C library, not from the engine's conversion.
            const SYSTEMTIME& set = clock.m_settings[0];
            std::tm utc{};
            std::tie(utc.tm_year, utc.tm_mon, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec) =
                std::tuple(set.wYear - 1900, set.wMonth - 1, set.wDay, set.wHour, set.wMinute,
                           set.wSecond);
            EXPECT_NEAR(static_cast<double>(timegm(&utc) - now), c.offset, 2.0);
        }
    }
}

// "Adjust" after a plain answer 64 years ahead shows the date the clock would be set to and
// that the answer is not authenticated; No sets nothing and the log says so, Yes sets it. An NTS
// answer 5000 s ahead is set without a question. The window's command line (horalink SERVER Y)
// asks the same after its report.
TEST(SystemClockSetter, WindowAsksBeforeABigStepAndTakesAnNtsAnswer)
{
    constexpr double k2090 = 2019686400;
    TestWindow window;
    CSyncDlg& dlg = window.dlg;
    FakeClock clock;
    SetInProcess(dlg, clock);
    // The command line's server, when port 123 is free at this run's own address.
    const std::string address = RunAddress(3);
    std::optional<UdpResponder> server;
    if (IsUdpPortFree(123, address)) {
        server.emplace(
            [](const UdpResponder::Bytes& request) {
                const uint64_t ahead = UdpResponder::NtpNow() + (uint64_t{2019686400} << 32);
                return UdpResponder::NtpServer({.receive = ahead, .transmit = ahead})(request);
            },
            address, 123);
        dlg.SetCommandLine(CommandLine::Parse({address, "Y"}));
    }
    dlg.show();
    if (server) {
        const QString question = AnswerQuestion(dlg, false);
        EXPECT_TRUE(question.contains("not authenticated")) << question.toStdString();
        ASSERT_TRUE(WaitIdle(dlg));
        const QStringList lines = LogLines(dlg);
        EXPECT_EQ(lines.size(), 7);
        EXPECT_EQ(lines.back(), SyncSteps::kAdjustFailed);
        EXPECT_TRUE(clock.m_settings.empty());
    }
    const auto adjust = [&](double offset, bool nts, std::optional<bool> yes) {
        SntpReply& last = SyncDlgProbe::LastReply(dlg);
        last.destination = CNtpTimestamp::Now();
        last.clockOffset = offset;
        last.nts = nts;
        const QDateTime target = QDateTime::currentDateTime().addSecs(std::llround(offset));
        dlg.OnAdjust();
        const QString question = yes ? AnswerQuestion(dlg, *yes) : AnswerQuestion(dlg, false, 300);
        EXPECT_EQ(question.isEmpty(), !yes.has_value()) << question.toStdString();
        if (yes) {
            EXPECT_TRUE(question.contains("not authenticated")) << question.toStdString();
            EXPECT_TRUE(question.contains(target.toString("dd/MM/yyyy"))) << question.toStdString();
        }
        EXPECT_TRUE(WaitIdle(dlg));
        return LogLines(dlg);
    };
    EXPECT_EQ(adjust(k2090, false, false), QStringList{SyncSteps::kAdjustFailed});
    EXPECT_TRUE(clock.m_settings.empty());
    EXPECT_EQ(adjust(k2090, false, true), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(clock.m_settings.size(), 1u);
    EXPECT_NEAR(clock.m_settings[0].wYear, QDateTime::currentDateTimeUtc().date().year() + 64, 1);
    EXPECT_EQ(adjust(5000, true, std::nullopt), QStringList{SyncSteps::kAdjusted});
    ASSERT_EQ(clock.m_settings.size(), 2u);
    EXPECT_NEAR(FromNow(clock.m_settings[1]), 5000, 1.0);
}

// The privilege steps as the route makes them, in order; the step named in failAt fails with
// its error. Lowering the capability always leaves EINVAL behind, as a real call may.
struct PrivilegeSteps : SystemClockApi {
    std::string failAt;
    uint32_t error = EPERM;
    std::string calls;

    void Call(const std::string& name) { calls += (calls.empty() ? "" : " ") + name; }
    bool Step(const std::string& name)
    {
        Call(name);
        SetLastError(name == "lower" ? EINVAL : 0);
        if (name == failAt) {
            SetLastError(error);
        }
        return name != failAt;
    }
    bool OpenProcessToken(TokenHandle* token) override { return (*token = 7) && Step("open"); }
    bool LookupPrivilegeValue(const char*, LUID*) override { return Step("lookup"); }
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES& privileges) override
    {
        return Step(privileges.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED ? "raise" : "lower");
    }
    void CloseHandle(TokenHandle) override { Call("close"); }
    bool SetSystemTime(const SYSTEMTIME&) override { return Step("set"); }
};

// The capability is raised for the one setting and lowered again whatever happened; the clock
// is never set unless raising it worked, and a failure reports its own error.
TEST(CapabilityRoute, RaisesTheCapabilityForTheOneSettingOnly)
{
    const struct {
        const char* failAt;
        uint32_t error;
        const char* calls;
        const char* reason;
    } rows[] = {
        {"", 0, "open lookup raise set lower close", ""},
        {"set", EPERM, "open lookup raise set lower close", "no permission to set the clock"},
        {"set", ERANGE, "open lookup raise set lower close", "target time out of range"},
        {"raise", EPERM, "open lookup raise lower close", "no permission to set the clock"},
        {"lookup", ENOENT, "open lookup close", "the clock was not set: No such file or directory"},
        {"open", kErrorCallNotImplemented, "open set", ""},
        {"open", EPERM, "open", "no permission to set the clock"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.failAt) + " " + std::to_string(row.error));
        PrivilegeSteps steps;
        steps.failAt = row.failAt;
        steps.error = row.error;
        CapabilityRoute route(steps);
        EXPECT_EQ(route.SetTo(CNtpTimestamp::Now()), *row.reason == '\0');
        EXPECT_EQ(steps.calls, row.calls);
        EXPECT_EQ(route.FailureReason(), row.reason);
    }
}
