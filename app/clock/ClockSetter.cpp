#include "app/clock/ClockSetter.h"

#include "app/clock/CapabilityRoute.h"
#include "app/clock/SystemClockSetter.h"

#include <QEventLoop>

#include <optional>

std::unique_ptr<ClockSetter> ClockSetter::ForThisProcess(ClockConsent& consent, Prompt prompt)
{
    return std::make_unique<SystemClockSetter>(consent, prompt, SystemClockApi::Default(),
                                               CapabilityRoute::Permitted());
}

bool ClockSetter::SetAndWait(ClockSetter& setter, const ClockStep& step)
{
    struct Wait {
        std::optional<bool> answer;
        QEventLoop* loop = nullptr;
    };
    // Shared: the loop may be left by a quit from elsewhere before the answer comes. The loop is
    // made only for an answer that does not come at once: without an application object (the
    // console setting the clock in process) it would complain on stderr.
    auto wait = std::make_shared<Wait>();
    setter.SetByOffset(step, [wait](bool set) {
        wait->answer = set;
        if (wait->loop != nullptr) {
            wait->loop->quit();
        }
    });
    if (!wait->answer.has_value()) {
        QEventLoop loop;
        wait->loop = &loop;
        loop.exec();
        wait->loop = nullptr;
    }
    return wait->answer.value_or(false);
}
