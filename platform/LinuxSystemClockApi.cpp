#include "platform/LinuxSystemClockApi.h"

#include "platform/LastError.h"
#include "platform/ProcessCapabilities.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

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
    ProcessCapabilities caps;
    if (!caps.Valid()) {
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
    if (!caps.Set(value, CAP_EFFECTIVE, enable) || !caps.Apply()) {
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
