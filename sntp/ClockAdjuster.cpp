#include "sntp/ClockAdjuster.h"

#include "platform/LastError.h"
#include "sntp/ClockTarget.h"

#include <optional>

CClockAdjuster::CClockAdjuster() : CClockAdjuster(SystemClockApi::Default()) {}

CClockAdjuster::~CClockAdjuster()
{
    CloseToken();
}

bool CClockAdjuster::AdjustSystemClockByOffset(double offset)
{
    const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(offset);
    if (!target) {
        SetLastError(ERANGE);
        return false;
    }
    return AdjustSystemClock(*target);
}

bool CClockAdjuster::AdjustSystemClock(const CNtpTimestamp& newTime)
{
    bool result = false;
    if (EnableSystemTimePrivilege()) {
        result = m_clockApi->SetSystemTime(newTime.ToSystemTime());
    }
    // The last error of a failure is the one it left, not the undoing's.
    const uint32_t error = GetLastError();
    DisableSystemTimePrivilege();
    CloseToken();
    SetLastError(error);
    return result;
}

bool CClockAdjuster::EnableSystemTimePrivilege()
{
    CloseToken();
    const bool opened = m_clockApi->OpenProcessToken(&m_token);
    m_privilegeEnabled = false;
    if (!opened) {
        m_token = kInvalidToken;
        // No per-process privileges on this system: the clock may be set as things are.
        if (GetLastError() == kErrorCallNotImplemented) {
            SetLastError(0);
            return true;
        }
        return false;
    }

    m_privileges = TOKEN_PRIVILEGES{};
    if (!m_clockApi->LookupPrivilegeValue(SE_SYSTEMTIME_NAME, &m_privileges.Privileges[0].Luid)) {
        return false;
    }
    m_privileges.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    m_privileges.PrivilegeCount = 1;
    m_privilegeEnabled = true;
    return m_clockApi->AdjustTokenPrivileges(m_token, m_privileges);
}

bool CClockAdjuster::DisableSystemTimePrivilege()
{
    if (!m_privilegeEnabled) {
        return false;
    }
    m_privileges.Privileges[0].Attributes &= ~SE_PRIVILEGE_ENABLED;
    return m_clockApi->AdjustTokenPrivileges(m_token, m_privileges);
}

void CClockAdjuster::CloseToken()
{
    if (m_token == kInvalidToken) {
        return;
    }
    m_clockApi->CloseHandle(m_token);
    m_token = kInvalidToken;
}
