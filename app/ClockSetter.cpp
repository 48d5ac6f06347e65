#include "app/ClockSetter.h"

#include "app/CapabilityClockSetter.h"
#include "app/TimedatedClockSetter.h"

#include <QEventLoop>

#include <optional>

std::unique_ptr<ClockSetter> ClockSetter::ForThisProcess(CClockAdjuster& clock, Prompt prompt)
{
    auto capability = std::make_unique<CapabilityClockSetter>(clock);
    if (CapabilityClockSetter::Permitted()) {
        return capability;
    }
    return std::make_unique<TimedatedClockSetter>(std::move(capability), prompt);
}

bool ClockSetter::SetAndWait(ClockSetter& setter, double offset)
{
    // Shared: the loop may be left by a quit from elsewhere before the answer comes. The loop is
    // made only for an answer that comes later: a route that answers at once needs no Qt.
    auto answer = std::make_shared<std::optional<bool>>();
    auto loop = std::make_shared<QEventLoop*>(nullptr);
    setter.SetByOffset(offset, [answer, loop](bool set) {
        *answer = set;
        if (*loop != nullptr) {
            (*loop)->quit();
        }
    });
    if (!answer->has_value()) {
        QEventLoop waiting;
        *loop = &waiting;
        waiting.exec();
        *loop = nullptr;
    }
    return answer->value_or(false);
}
