#pragma once

#include "platform/SystemClockApi.h"
#include "sntp/NtpTimestamp.h"
#include "sntp/NtsQuery.h"
#include "sntp/SntpReply.h"
#include "sntp/UdpSocket.h"

#include <cstdint>
#include <string>
#include <vector>

// How T1 and T4 are read: the window's whole milliseconds (Now), or the clock and the kernel's
// arrival time to the nanosecond (console and query tool).
enum class TimestampPrecision { Milliseconds, Nanoseconds };

struct QueryOptions {
    TimestampPrecision precision = TimestampPrecision::Milliseconds;
    AddressFamily family = AddressFamily::Any;
    uint32_t timeoutMs = 5000; // the one wait for a valid answer, shared by all addresses of a name
    std::string ntsCaFile{};   // one more trusted CA for nts:// servers
    // Certificate dates judged against the authenticated time rather than the local clock (also
    // chosen whenever the local clock lies before the build date).
    bool ntsBootstrap = false;
};

// The time engine's one object: one SNTP exchange at a time, and setting the system clock.
// Failures leave their reason in the thread's last error (platform/LastError.h) and, as one
// short English line, in FailureReason().
class CSntpClient
{
public:
    CSntpClient();
    // Sets the clock through the given operating-system calls instead of the default ones.
    explicit CSntpClient(SystemClockApi& clockApi);
    virtual ~CSntpClient();

    CSntpClient(const CSntpClient&) = delete;
    CSntpClient& operator=(const CSntpClient&) = delete;

    // One exchange with server (a name, an IPv4 or IPv6 address, brackets allowed) on port.
    // Each address of the name is tried in turn while the previous one fails at once (refused,
    // unreachable); answers that fail the checks are dropped and the wait goes on until the
    // timeout. A kiss-o'-death ends it at once (last error EPROTO, KissCode() set).
    bool QueryServer(const std::string& server, SntpReply& reply, unsigned port);
    // The same with the addresses already known.
    bool QueryAddresses(const std::vector<SocketAddress>& addresses, SntpReply& reply);

    bool AdjustSystemClock(const CNtpTimestamp& newTime);
    // Sets the clock to now + offset (sntp/ClockTarget.h); refused with ERANGE and "target time
    // out of range" before the build date or past the calendar window.
    bool AdjustSystemClockByOffset(double offset);
    bool EnableSystemTimePrivilege();
    bool DisableSystemTimePrivilege();

    void SetClockApi(SystemClockApi& clockApi) { m_clockApi = &clockApi; }
    void SetOptions(QueryOptions options) { m_options = std::move(options); }
    // How nts:// servers are asked: through the module (NtsModule::Query) unless given.
    void SetNtsQuery(NtsQuery query) { m_ntsQuery = query; }
    const QueryOptions& Options() const { return m_options; }

    // Why the last QueryServer / AdjustSystemClockByOffset failed; empty after a success.
    const std::string& FailureReason() const { return m_failureReason; }
    // The four-letter code of the last kiss-o'-death answer, empty when none.
    const std::string& KissCode() const { return m_kissCode; }

private:
    enum class Attempt { Answered, TryNext, Stop };
    Attempt QueryAddress(const SocketAddress& address, int64_t deadlineMs, SntpReply& reply);
    CNtpTimestamp TransmitTime() const;
    bool Fail(uint32_t error, std::string reason);
    void CloseToken();

    QueryOptions m_options;
    std::string m_failureReason;
    std::string m_kissCode;
    std::string m_rejection; // the last check an answer failed, while waiting on
    TokenHandle m_token = kInvalidToken;
    TOKEN_PRIVILEGES m_privileges{};
    bool m_privilegeEnabled = false;
    SystemClockApi* m_clockApi;
    NtsQuery m_ntsQuery;
};
