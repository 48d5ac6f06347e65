#include "sntp/SntpClient.h"

#include "platform/LastError.h"
#include "sntp/ClockTarget.h"
#include "sntp/NtsModule.h"
#include "sntp/SntpPacket.h"
#include "sntp/UdpSocket.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>

namespace
{

// Fewer than half a millisecond of fraction units (2^21 < 2^32 / 2000), so that the reading
// still rounds to the millisecond Now gave.
constexpr uint64_t kBelowHalfMillisecondMask = (1u << 21) - 1;
// A nanosecond is about 4.3 fraction units.
constexpr uint64_t kBelowNanosecondMask = 3;

int64_t SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A failure of this kind comes back at once; the next address of the name may do better.
bool FailsAtOnce(uint32_t error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH;
}

std::string ErrorText(uint32_t error, uint32_t timeoutMs)
{
    switch (error) {
    case kErrorTimedOut: {
        char text[64];
        std::snprintf(text, sizeof text, "no answer within %g s", timeoutMs / 1000.0);
        return text;
    }
    case ECONNREFUSED:
        return "connection refused";
    case ENXIO:
        return "unknown host";
    case ENETUNREACH:
        return "network unreachable";
    case EHOSTUNREACH:
        return "host unreachable";
    default:
        break;
    }
    std::string text = std::strerror(static_cast<int>(error));
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

} // namespace

CSntpClient::CSntpClient() : CSntpClient(SystemClockApi::Default()) {}

CSntpClient::CSntpClient(SystemClockApi& clockApi)
    : m_clockApi(&clockApi), m_ntsQuery(&NtsModule::Query)
{
}

CSntpClient::~CSntpClient()
{
    CloseToken();
}

bool CSntpClient::QueryServer(const std::string& server, SntpReply& reply, unsigned port)
{
    // nts://HOST[:PORT] names a key-exchange server; the time exchange's port comes from it.
    if (IsNtsServer(server)) {
        const NtsOutcome outcome = m_ntsQuery(m_options, server, reply);
        m_failureReason = outcome.failureReason;
        m_kissCode = outcome.kissCode;
        if (!outcome.answered) {
            SetLastError(outcome.error);
        }
        return outcome.answered;
    }
    m_kissCode.clear();
    std::vector<SocketAddress> addresses;
    if (!CUdpSocket::LookUp(server, port, m_options.family, addresses)) {
        return Fail(GetLastError(), ErrorText(GetLastError(), m_options.timeoutMs));
    }
    return QueryAddresses(addresses, reply);
}

bool CSntpClient::QueryAddresses(const std::vector<SocketAddress>& addresses, SntpReply& reply)
{
    m_kissCode.clear();
    m_rejection.clear();
    SetLastError(ENXIO); // no address at all: as a name without one
    const int64_t deadline = SteadyMilliseconds() + m_options.timeoutMs;
    for (const SocketAddress& address : addresses) {
        const Attempt attempt = QueryAddress(address, deadline, reply);
        if (attempt == Attempt::Answered) {
            m_failureReason.clear();
            return true;
        }
        if (attempt == Attempt::Stop) {
            break;
        }
    }
    const uint32_t error = GetLastError();
    if (!m_kissCode.empty()) {
        return Fail(EPROTO, VerdictText(AnswerVerdict::KissOfDeath, m_kissCode));
    }
    // Answers came, but none that passed: say which check the last one failed.
    if (error == kErrorTimedOut && !m_rejection.empty()) {
        return Fail(EPROTO, m_rejection);
    }
    return Fail(error, ErrorText(error, m_options.timeoutMs));
}

CSntpClient::Attempt CSntpClient::QueryAddress(const SocketAddress& address, int64_t deadline,
                                               SntpReply& reply)
{
    // Every return closes the socket through the wrapper's destructor; closing never touches
    // the last error.
    CUdpSocket socket;
    if (!socket.Create(address.Family()) || !socket.Connect(address)) {
        return Attempt::TryNext;
    }
    const bool precise = m_options.precision == TimestampPrecision::Nanoseconds;
    // Without the kernel's arrival times the reading after the wait stands in.
    const bool arrivalTimes = precise && socket.EnableArrivalTimes();

    uint8_t request[kSntpRequestSize];
    const CNtpTimestamp sent = TransmitTime();
    BuildSntpRequest(sent, request);
    if (!socket.Send(request, sizeof request)) {
        return Attempt::TryNext;
    }
    while (true) {
        const int64_t left = deadline - SteadyMilliseconds();
        bool readable = false;
        if (left <= 0 || !socket.WaitReadable(static_cast<uint32_t>(left), readable) || !readable) {
            SetLastError(kErrorTimedOut);
            return Attempt::Stop;
        }
        // T4 is read as soon as the answer is there, before it is taken and parsed.
        const CNtpTimestamp readAfterWait =
            precise ? CNtpTimestamp::NowPrecise() : CNtpTimestamp::Now();
        uint8_t answer[kSntpAnswerSize] = {};
        timespec arrival{};
        const int received =
            socket.Receive(answer, sizeof answer, arrivalTimes ? &arrival : nullptr);
        if (received == CUdpSocket::kSocketError) {
            return FailsAtOnce(GetLastError()) ? Attempt::TryNext : Attempt::Stop;
        }
        const CNtpTimestamp destination =
            arrival.tv_sec != 0 ? CNtpTimestamp::FromUnixTime(
                                      arrival.tv_sec, static_cast<uint32_t>(arrival.tv_nsec))
                                : readAfterWait;
        std::string kissCode;
        const AnswerVerdict verdict = ParseSntpAnswer(answer, static_cast<size_t>(received), sent,
                                                      destination, reply, &kissCode);
        if (verdict == AnswerVerdict::Accepted) {
            reply.address = address.Text();
            reply.port = address.Port();
            reply.nts = false;
            return Attempt::Answered;
        }
        if (verdict == AnswerVerdict::KissOfDeath) {
            m_kissCode = kissCode;
            return Attempt::Stop;
        }
        m_rejection = VerdictText(verdict, kissCode);
    }
}

CNtpTimestamp CSntpClient::TransmitTime() const
{
    // Random bits below the reading's resolution make the transmit time, which the answer must
    // echo, hard to guess for anyone who did not see the request.
    std::random_device random;
    if (m_options.precision == TimestampPrecision::Nanoseconds) {
        const CNtpTimestamp now = CNtpTimestamp::NowPrecise();
        return CNtpTimestamp(now.Value() ^ (random() & kBelowNanosecondMask));
    }
    return CNtpTimestamp(CNtpTimestamp::Now().Value() + (random() & kBelowHalfMillisecondMask));
}

bool CSntpClient::AdjustSystemClockByOffset(double offset)
{
    const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(offset);
    if (!target) {
        return Fail(ERANGE, "target time out of range");
    }
    if (!AdjustSystemClock(*target)) {
        const uint32_t error = GetLastError();
        return Fail(error, error == EPERM ? "no permission to set the clock"
                                          : "the clock was not set: " + ErrorText(error, 0));
    }
    m_failureReason.clear();
    return true;
}

bool CSntpClient::Fail(uint32_t error, std::string reason)
{
    m_failureReason = std::move(reason);
    SetLastError(error);
    return false;
}

bool CSntpClient::AdjustSystemClock(const CNtpTimestamp& newTime)
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

bool CSntpClient::EnableSystemTimePrivilege()
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

bool CSntpClient::DisableSystemTimePrivilege()
{
    if (!m_privilegeEnabled) {
        return false;
    }
    m_privileges.Privileges[0].Attributes &= ~SE_PRIVILEGE_ENABLED;
    return m_clockApi->AdjustTokenPrivileges(m_token, m_privileges);
}

void CSntpClient::CloseToken()
{
    if (m_token == kInvalidToken) {
        return;
    }
    m_clockApi->CloseHandle(m_token);
    m_token = kInvalidToken;
}
