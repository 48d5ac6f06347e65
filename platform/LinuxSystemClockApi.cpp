#include "platform/LinuxSystemClockApi.h"

#include "platform/LastError.h"

#include <cerrno>
#include <cstring>
#include <sys/capability.h>
#include <unistd.h>

namespace
{

// Owns one cap_t for the length of a call.
class Capabilities
{
public:
    Capabilities() : m_caps(cap_get_proc()) {}
    ~Capabilities()
    {
        if (m_caps) {
            cap_free(m_caps);
        }
    }
    Capabilities(const Capabilities&) = delete;
    Capabilities& operator=(const Capabilities&) = delete;

    cap_t Get() const { return m_caps; }
    bool Has(cap_value_t value, cap_flag_t set) const
    {
        cap_flag_value_t flag = CAP_CLEAR;
        return m_caps && cap_get_flag(m_caps, value, set, &flag) == 0 && flag == CAP_SET;
    }

private:
    cap_t m_caps;
};

} // namespace

bool LinuxSystemClockApi::OpenProcessToken(TokenHandle* token)
{
    // A kernel that does not know the capability has no per-process privileges at all.
    if (!CAP_IS_SUPPORTED(CAP_SYS_TIME)) {
        SetLastError(kErrorCallNotImplemented);
        return false;
    }
    *token = static_cast<TokenHandle>(getpid());
    return true;
}

bool LinuxSystemClockApi::LookupPrivilegeValue(const char* name, LUID* luid)
{
    if (!name || !luid || std::strcmp(name, SE_SYSTEMTIME_NAME) != 0) {
        SetLastError(EINVAL);
        return false;
    }
    *luid = LUID{static_cast<uint32_t>(CAP_SYS_TIME), 0};
    return true;
}

bool LinuxSystemClockApi::AdjustTokenPrivileges(TokenHandle token,
                                                const TOKEN_PRIVILEGES& privileges)
{
    if (token == kInvalidToken || privileges.PrivilegeCount != 1) {
        SetLastError(EINVAL);
        return false;
    }
    const cap_value_t value = static_cast<cap_value_t>(privileges.Privileges[0].Luid.LowPart);
    const bool enable = (privileges.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    Capabilities caps;
    if (!caps.Get()) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    // Enabling what is not held succeeds without effect; only the last error tells, and the
    // clock setter then fails on its own.
    if (enable && !caps.Has(value, CAP_PERMITTED)) {
        SetLastError(EPERM);
        return true;
    }
    if (caps.Has(value, CAP_EFFECTIVE) == enable) {
        SetLastError(0);
        return true;
    }
    if (cap_set_flag(caps.Get(), CAP_EFFECTIVE, 1, &value, enable ? CAP_SET : CAP_CLEAR) != 0 ||
        cap_set_proc(caps.Get()) != 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    SetLastError(0);
    return true;
}

void LinuxSystemClockApi::CloseHandle(TokenHandle /*token*/) {}

bool LinuxSystemClockApi::SetSystemTime(const SYSTEMTIME& st)
{
    return ::SetSystemTime(&st);
}
