#pragma once

#include "platform/SystemClockApi.h"
#include "sntp/NtpTimestamp.h"

#include <cstdint>
#include <string>

// Sets the clock in this process: raises CAP_SYS_TIME into the effective set for the one call
// (the privilege steps of platform/SystemClockApi.h), sets the time and lowers it again. Works
// only where the process holds the capability; fails with "no permission to set the clock"
// elsewhere. Privileges are per thread: the steps and the setting run on the calling thread.
class CapabilityRoute
{
public:
    // api must outlive the route; tests give one that records instead of setting.
    explicit CapabilityRoute(SystemClockApi& api = SystemClockApi::Default()) : m_api(api) {}

    // Sets the clock to target, which the caller has checked. False with FailureReason().
    bool SetTo(const CNtpTimestamp& target);
    const std::string& FailureReason() const { return m_failureReason; }
    // The last failure's error number (EPERM: the capability is not held).
    uint32_t LastError() const { return m_error; }

    // Whether this process holds CAP_SYS_TIME in its permitted set.
    static bool Permitted();
    // The reason for a failed setting that left error as the thread's last error.
    static std::string ReasonFor(uint32_t error);

private:
    bool Enable(TokenHandle token, TOKEN_PRIVILEGES& privileges);

    SystemClockApi& m_api;
    std::string m_failureReason;
    uint32_t m_error = 0;
};
