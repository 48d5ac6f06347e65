#pragma once

#include "platform/SystemClockApi.h"
#include "sntp/NtpTimestamp.h"
#include "sntp/SntpReply.h"

#include <cstdint>
#include <string>

// The time engine's one object: one SNTP exchange at a time, and setting the system clock.
// Failures leave their reason in the thread's last error (platform/LastError.h).
class CSntpClient
{
public:
    CSntpClient();
    // Sets the clock through the given operating-system calls instead of the default ones.
    explicit CSntpClient(SystemClockApi& clockApi);
    virtual ~CSntpClient();

    CSntpClient(const CSntpClient&) = delete;
    CSntpClient& operator=(const CSntpClient&) = delete;

    bool QueryServer(const std::string& server, SntpReply& reply, unsigned port);

    bool AdjustSystemClock(const CNtpTimestamp& newTime);
    bool EnableSystemTimePrivilege();
    bool DisableSystemTimePrivilege();

    void SetClockApi(SystemClockApi& clockApi) { m_clockApi = &clockApi; }
    uint32_t TimeoutMs() const { return m_timeoutMs; }

private:
    void CloseToken();

    uint32_t m_timeoutMs = 5000;
    TokenHandle m_token = kInvalidToken;
    TOKEN_PRIVILEGES m_privileges{};
    bool m_privilegeEnabled = false;
    SystemClockApi* m_clockApi;
};
