#pragma once

#include "platform/SystemTime.h"

#include <cstdint>

// The privilege steps and the clock setter that CClockAdjuster::AdjustSystemClock goes through.
// On Linux the system-time privilege is CAP_SYS_TIME: in the permitted set it is held, in the
// effective set it is enabled. Tests inject their own implementation to reach the success path
// without touching the machine's clock.
using TokenHandle = intptr_t;
constexpr TokenHandle kInvalidToken = -1;

struct LUID {
    uint32_t LowPart = 0;
    int32_t HighPart = 0;
};

constexpr uint32_t SE_PRIVILEGE_ENABLED = 0x2;
constexpr const char* SE_SYSTEMTIME_NAME = "SeSystemtimePrivilege";

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    uint32_t Attributes = 0;
};

struct TOKEN_PRIVILEGES {
    uint32_t PrivilegeCount = 0;
    LUID_AND_ATTRIBUTES Privileges[1];
};

class SystemClockApi
{
public:
    virtual ~SystemClockApi() = default;

    // Opens the process's privilege state. False with the last error set; kErrorCallNotImplemented
    // where the system has no per-process privileges.
    virtual bool OpenProcessToken(TokenHandle* token) = 0;
    virtual bool LookupPrivilegeValue(const char* name, LUID* luid) = 0;
    // Enables or disables the privileges named in the record (by their SE_PRIVILEGE_ENABLED bit).
    // Reports success even when the privilege is not held, as the design expects.
    virtual bool AdjustTokenPrivileges(TokenHandle token, const TOKEN_PRIVILEGES& privileges) = 0;
    virtual void CloseHandle(TokenHandle token) = 0;
    virtual bool SetSystemTime(const SYSTEMTIME& st) = 0;

    // The operating system's implementation, shared by every client that is given no other.
    static SystemClockApi& Default();
};
