#include "platform/EffectiveCapability.h"

#include <sys/capability.h>

bool DropEffectiveCapability(int capability)
{
    const auto value = static_cast<cap_value_t>(capability);
    cap_t caps = cap_get_proc();
    if (!caps) {
        return false;
    }
    cap_flag_value_t effective = CAP_CLEAR;
    bool dropped = cap_get_flag(caps, value, CAP_EFFECTIVE, &effective) == 0;
    if (dropped && effective == CAP_SET) {
        dropped =
            cap_set_flag(caps, CAP_EFFECTIVE, 1, &value, CAP_CLEAR) == 0 && cap_set_proc(caps) == 0;
    }
    cap_free(caps);
    return dropped;
}

bool DropEffectiveSystemTimeCapability()
{
    return DropEffectiveCapability(CAP_SYS_TIME);
}

bool DropCapabilityForGood(int capability)
{
    const auto value = static_cast<cap_value_t>(capability);
    cap_t caps = cap_get_proc();
    if (!caps) {
        return false;
    }
    const bool dropped = cap_set_flag(caps, CAP_EFFECTIVE, 1, &value, CAP_CLEAR) == 0 &&
                         cap_set_flag(caps, CAP_PERMITTED, 1, &value, CAP_CLEAR) == 0 &&
                         cap_set_flag(caps, CAP_INHERITABLE, 1, &value, CAP_CLEAR) == 0 &&
                         cap_set_proc(caps) == 0;
    cap_free(caps);
    return dropped;
}

bool DropSystemTimeCapabilityForGood()
{
    return DropCapabilityForGood(CAP_SYS_TIME);
}
