#include "app/clock/CapabilityRoute.h"

#include "platform/LastError.h"
#include "platform/ProcessCapabilities.h"

#include <cstring>

bool CapabilityRoute::SetTo(const CNtpTimestamp& target)
{
    TokenHandle token = kInvalidToken;
    TOKEN_PRIVILEGES privileges{};
    bool set = false;
    if (!m_api.OpenProcessToken(&token)) {
        // No per-process privileges on this system: the clock may be set as things are.
        set = GetLastError() == kErrorCallNotImplemented &&
              m_api.SetSystemTime(target.ToSystemTime());
        token = kInvalidToken;
    } else if (Enable(token, privileges)) {
        set = m_api.SetSystemTime(target.ToSystemTime());
    }
    // The failure's own error, not the undoing's.
    const uint32_t error = set ? 0 : GetLastError();
    if (token != kInvalidToken) {
        if (privileges.PrivilegeCount == 1) {
            privileges.Privileges[0].Attributes &= ~SE_PRIVILEGE_ENABLED;
            m_api.AdjustTokenPrivileges(token, privileges);
        }
        m_api.CloseHandle(token);
    }
    m_error = error;
    m_failureReason = set ? std::string() : ReasonFor(error);
    return set;
}

bool CapabilityRoute::Enable(TokenHandle token, TOKEN_PRIVILEGES& privileges)
{
    if (!m_api.LookupPrivilegeValue(SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid)) {
        return false;
    }
    privileges.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    privileges.PrivilegeCount = 1;
    return m_api.AdjustTokenPrivileges(token, privileges);
}

bool CapabilityRoute::Permitted()
{
    return ProcessCapabilities().Has(CAP_SYS_TIME, CAP_PERMITTED);
}

std::string CapabilityRoute::ReasonFor(uint32_t error)
{
    switch (error) {
    case ERANGE:
        return "target time out of range";
    case EPERM:
        return "no permission to set the clock";
    default:
        return std::string("the clock was not set: ") + std::strerror(static_cast<int>(error));
    }
}
