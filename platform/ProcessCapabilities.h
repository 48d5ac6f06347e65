#pragma once

#include <sys/capability.h>

#include <memory>
#include <type_traits>

// The calling thread's capability sets, read at construction and freed with the object. Changes
// go to this copy and take effect with Apply.
class ProcessCapabilities
{
public:
    ProcessCapabilities();

    // False when the sets could not be read (errno says why); every other call then fails.
    bool Valid() const;
    bool Has(cap_value_t value, cap_flag_t set) const;
    bool Set(cap_value_t value, cap_flag_t set, bool on);
    bool Apply() const;

private:
    std::unique_ptr<std::remove_pointer_t<cap_t>, decltype(&cap_free)> m_caps;
};
