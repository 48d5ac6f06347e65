#include "app/clock/ClockSetter.h"

#include "app/clock/CapabilityClockSetter.h"
#include "app/clock/TimedatedClockSetter.h"

#include <QEventLoop>

#include <optional>

std::unique_ptr<ClockSetter> ClockSetter::ForThisProcess(CSntpClient& client, Prompt prompt)
{
    auto capability = std::make_unique<CapabilityClockSetter>(client);
    if (CapabilityClockSetter::Permitted()) {
        return capability;
    }
    return std::make_unique<TimedatedClockSetter>(std::move(capability), prompt);
}

bool ClockSetter::SetAndWait(ClockSetter& setter, double offset)
{
    QEventLoop loop;
    // Shared: the loop may be left by a quit from elsewhere before the answer comes.
    auto answer = std::make_shared<std::optional<bool>>();
    setter.SetByOffset(offset, [answer, &loop](bool set) {
        *answer = set;
        loop.quit();
    });
    if (!answer->has_value()) {
        loop.exec();
    }
    return answer->value_or(false);
}
