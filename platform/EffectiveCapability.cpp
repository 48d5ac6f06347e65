#include "platform/EffectiveCapability.h"

#include "platform/ProcessCapabilities.h"

bool DropEffectiveCapability(int capability)
{
    const auto value = static_cast<cap_value_t>(capability);
    ProcessCapabilities caps;
    if (!caps.Valid()) {
        return false;
    }
    return !caps.Has(value, CAP_EFFECTIVE) ||
           (caps.Set(value, CAP_EFFECTIVE, false) && caps.Apply());
}

bool DropEffectiveSystemTimeCapability()
{
    return DropEffectiveCapability(CAP_SYS_TIME);
}

bool DropCapabilityForGood(int capability)
{
    const auto value = static_cast<cap_value_t>(capability);
    ProcessCapabilities caps;
    return caps.Set(value, CAP_EFFECTIVE, false) && caps.Set(value, CAP_PERMITTED, false) &&
           caps.Set(value, CAP_INHERITABLE, false) && caps.Apply();
}

bool DropSystemTimeCapabilityForGood()
{
    return DropCapabilityForGood(CAP_SYS_TIME);
}
