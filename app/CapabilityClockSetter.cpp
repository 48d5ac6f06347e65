#include "app/CapabilityClockSetter.h"

#include "platform/LastError.h"
#include "sntp/ClockAdjuster.h"
#include "sntp/ClockTarget.h"

#include <sys/capability.h>

#include <cstring>

void CapabilityClockSetter::SetByOffset(double offset, Done done)
{
    const bool set = m_clock.AdjustSystemClockByOffset(offset);
    m_failureReason = set ? std::string() : ReasonFor(GetLastError());
    done(set);
}

bool CapabilityClockSetter::Permitted()
{
    const cap_t caps = cap_get_proc();
    if (caps == nullptr) {
        return false;
    }
    cap_flag_value_t flag = CAP_CLEAR;
    const bool held =
        cap_get_flag(caps, CAP_SYS_TIME, CAP_PERMITTED, &flag) == 0 && flag == CAP_SET;
    cap_free(caps);
    return held;
}

std::string CapabilityClockSetter::ReasonFor(uint32_t error)
{
    switch (error) {
    case ERANGE:
        return kTargetOutOfRange;
    case EPERM:
        return "no permission to set the clock";
    default:
        return std::string("the clock was not set: ") + std::strerror(static_cast<int>(error));
    }
}
