// The clock setters without a system bus: the once-only rule and the route taken where there is
// no timedated.
#include "AppTestSupport.h"

#include "app/CapabilityClockSetter.h"
#include "app/OffsetApplier.h"
#include "app/TimedatedClockSetter.h"

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

// Without a system bus the engine's route sets the clock (here the recording seam) and says
// why it could not.
TEST(ClockSetter, WithoutABusTheCapabilityRouteSetsTheClock)
{
    FakeClock clock, denied(false);
    for (FakeClock* api : {&clock, &denied}) {
        CClockAdjuster adjuster(*api);
        TimedatedClockSetter setter(std::make_unique<CapabilityClockSetter>(adjuster),
                                    ClockSetter::Prompt::None, "unix:path=/nonexistent/bus");
        EXPECT_EQ(ClockSetter::SetAndWait(setter, 10.25), api == &clock);
        EXPECT_EQ(setter.FailureReason(), api == &clock ? "" : "no permission to set the clock");
        ASSERT_EQ(api->m_settings.size(), 1u);
        EXPECT_NEAR(FromNow(api->m_settings[0]), 10.25, 0.5);
    }
}
