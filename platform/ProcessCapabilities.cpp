#include "platform/ProcessCapabilities.h"

ProcessCapabilities::ProcessCapabilities() : m_caps(cap_get_proc(), &cap_free) {}

bool ProcessCapabilities::Valid() const
{
    return m_caps != nullptr;
}

bool ProcessCapabilities::Has(cap_value_t value, cap_flag_t set) const
{
    cap_flag_value_t flag = CAP_CLEAR;
    return m_caps && cap_get_flag(m_caps.get(), value, set, &flag) == 0 && flag == CAP_SET;
}

bool ProcessCapabilities::Set(cap_value_t value, cap_flag_t set, bool on)
{
    return m_caps && cap_set_flag(m_caps.get(), set, 1, &value, on ? CAP_SET : CAP_CLEAR) == 0;
}

bool ProcessCapabilities::Apply() const
{
    return m_caps && cap_set_proc(m_caps.get()) == 0;
}
