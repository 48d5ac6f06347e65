// The clock setters without a system bus: the once-only rule, the questions asked before a
// setting and the route taken where there is no timedated.
#include "AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/clock/CapabilityRoute.h"
#include "app/clock/OffsetApplier.h"
#include "app/clock/TimedatedRoute.h"

#include <ctime>
#include <sched.h>
#include <sys/wait.h>

// Records the offsets it is asked to set and answers only when the test says so, as
// timedated does while polkit asks for a password.
struct DeferredClockSetter : ClockSetter {
    void SetByOffset(const ClockStep& step, Done done) override
    {
        offsets.push_back(step.offset);
        pending.push_back(std::move(done));
    }
    std::string FailureReason() const override { return {}; }

    // Answers the oldest setting that waits.
    void Answer(bool set)
    {
        const Done done = std::move(pending.front());
        pending.erase(pending.begin());
        done(set);
    }

    std::vector<double> offsets;
    std::vector<Done> pending;
};

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
    setter.Answer(false);

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
    const struct {
        double offset;
        bool authenticated;
        double maxStep;
        bool yes, asked, reached, refuses;
        const char* reason;
    } cases[] = {
        {k2090, false, 1000, false, true, false, false, "move the clock by 2019686400 s"},
        {k2090, false, 1000, true, true, true, false, ""},
        {-1000.5, false, 1000, false, true, false, false, "the limit of 1000 s"},
        {1000, false, 1000, false, false, true, false, ""},
        {5000, true, 1000, false, false, true, false, ""},
        {0.75, false, 0.5, false, true, false, false, "more than the limit"},
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
        const bool setsIt = c.reached && !c.refuses;
        EXPECT_EQ(ClockSetter::SetAndWait(setter, {c.offset, c.authenticated}), setsIt);
        const std::string reason = setter.FailureReason();
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.empty(), setsIt);
        EXPECT_EQ(consent.asked, std::vector<std::string>(c.asked, "step"));
        for (const int64_t target : consent.targets) { // one for each question
            EXPECT_NEAR(static_cast<double>(target - now), c.offset, 2.0);
        }
        EXPECT_EQ(clock.m_settings.size(), c.reached ? 1u : 0u);
        for (const SYSTEMTIME& set : clock.m_settings) {
            EXPECT_NEAR(FromNow(set), c.offset, 2.0);
        }
    }
}

// The capability is raised for the one setting and lowered again whatever happened; the clock
// is never set unless raising it worked, and a failure reports its own error (the step named
// fails with it).
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
        FakeClock steps;
        steps.failAt = row.failAt;
        steps.error = row.error;
        CapabilityRoute route(steps);
        EXPECT_EQ(route.SetTo(CNtpTimestamp::Now()), *row.reason == '\0');
        EXPECT_EQ(steps.calls, " " + std::string(row.calls));
        EXPECT_EQ(route.FailureReason(), row.reason);
    }
}

// Only a process that holds CAP_SYS_TIME in its permitted set sets the clock itself, without
// timedated: here a child in a user namespace of its own (where the kernel still refuses to set
// the machine's clock), not this test.
TEST(CapabilityRoute, PermittedOnlyToAHolderOfTheCapability)
{
    EXPECT_FALSE(CapabilityRoute::Permitted());
    const pid_t child = fork();
    if (child == 0) {
        _exit(unshare(CLONE_NEWUSER) != 0 ? 2 : CapabilityRoute::Permitted() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "no user namespaces here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Where nothing names the system bus, as on most desktops, or its name is empty, timedated is
// asked on the system bus's own socket.
TEST(TimedatedRoute, AsksOnTheSystemBusWhereNothingNamesAnother)
{
    const bool named = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS");
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    for (const bool empty : {false, true}) {
        empty ? qputenv("DBUS_SYSTEM_BUS_ADDRESS", "") : qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        EXPECT_EQ(TimedatedRoute::SystemBusAddress(), "unix:path=/run/dbus/system_bus_socket");
    }
    named ? qputenv("DBUS_SYSTEM_BUS_ADDRESS", address) : qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}
