#pragma once

#include "platform/SystemClockApi.h"
#include "sntp/NtpTimestamp.h"

// Sets the system clock with CAP_SYS_TIME raised for the one call. Belongs to the thread that
// sets the clock; failures leave their errno code as the thread's last error.
class CClockAdjuster
{
public:
    CClockAdjuster();
    // Sets the clock through the given operating-system calls instead of the default ones.
    explicit CClockAdjuster(SystemClockApi& clockApi) : m_clockApi(&clockApi) {}
    ~CClockAdjuster();

    CClockAdjuster(const CClockAdjuster&) = delete;
    CClockAdjuster& operator=(const CClockAdjuster&) = delete;

    bool AdjustSystemClock(const CNtpTimestamp& newTime);
    // Sets the clock to now + offset (sntp/ClockTarget.h); refused with ERANGE before the build
    // date or past the calendar window.
    bool AdjustSystemClockByOffset(double offset);
    bool EnableSystemTimePrivilege();
    bool DisableSystemTimePrivilege();

    void SetClockApi(SystemClockApi& clockApi) { m_clockApi = &clockApi; }

private:
    void CloseToken();

    TokenHandle m_token = kInvalidToken;
    TOKEN_PRIVILEGES m_privileges{};
    bool m_privilegeEnabled = false;
    SystemClockApi* m_clockApi;
};
