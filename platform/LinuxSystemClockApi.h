#pragma once

#include "platform/SystemClockApi.h"

// The system-time privilege as Linux has it: CAP_SYS_TIME. Held means in the permitted set,
// enabled means in the effective set. The token is only a marker for the calling process; every
// step reads and writes the capability sets afresh. Linux keeps them per thread, so enabling and
// setting the clock must happen on the same thread (AdjustSystemClock does both).
class LinuxSystemClockApi : public SystemClockApi
{
public:
    bool OpenProcessToken(TokenHandle* token) override;
    bool LookupPrivilegeValue(const char* name, LUID* luid) override;
    bool AdjustTokenPrivileges(TokenHandle token, const TOKEN_PRIVILEGES& privileges) override;
    void CloseHandle(TokenHandle token) override;
    bool SetSystemTime(const SYSTEMTIME& st) override;
};
