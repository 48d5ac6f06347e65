#include "sntp/TimeQuery.h"

#include "platform/LastError.h"
#include "sntp/NameLookup.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

// Fewer than half a millisecond of fraction units (2^21 < 2^32 / 2000), so that the reading
// still rounds to the millisecond Now gave.
constexpr uint64_t kBelowHalfMillisecondMask = (1u << 21) - 1;
// A nanosecond is about 4.3 fraction units.
constexpr uint64_t kBelowNanosecondMask = 3;
// The window reads its clock in whole milliseconds (seconds).
constexpr double kMillisecondResolution = 0.001;

// A failure of this kind comes back at once; the next address of the name may do better.
bool FailsAtOnce(uint32_t error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH;
}

QueryFailure NetworkFailure(uint32_t error)
{
    return {FailureKind::Network, error, ErrorText(error)};
}

QueryFailure NoAnswer(uint32_t timeoutMs)
{
    char text[64];
    std::snprintf(text, sizeof text, "no answer within %g s", timeoutMs / 1000.0);
    return {FailureKind::NoAnswer, kErrorTimedOut, text};
}

} // namespace

QueryResult CTimeQuery::Run()
{
    QueryResult result;
    for (int i = 0; i < std::max(m_options.samples, 1); ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_options.sampleGapMs));
        }
        SntpReply reply;
        QueryFailure failure;
        if (Sample(Clock::now() + std::chrono::milliseconds(m_options.timeoutMs), reply, failure)) {
            if (!result.reply || reply.roundTripDelay < result.reply->roundTripDelay) {
                result.reply = reply;
            }
            result.samples.push_back(reply);
            continue;
        }
        result.failure = failure;
        // The server asked to be left alone.
        if (failure.kind == FailureKind::Kiss) {
            break;
        }
    }
    if (result.reply) {
        result.failure = {};
        result.authenticated = result.reply->nts;
    }
    return result;
}

bool CTimeQuery::Sample(Deadline deadline, SntpReply& reply, QueryFailure& failure)
{
    CAuthentication::Target target;
    if (!m_authentication->Prepare(deadline, target, failure)) {
        return false;
    }
    if (m_addresses.empty() || target.host != m_looked.host || target.port != m_looked.port) {
        if (!LookUpAddresses(target.host, target.port, SocketFamily(m_options.family), deadline,
                             m_addresses, failure)) {
            return false;
        }
        m_looked = target;
    }
    for (const SocketAddress& address : m_addresses) {
        const Attempt attempt = Ask(address, deadline, reply, failure);
        if (attempt == Attempt::Answered) {
            return true;
        }
        if (attempt == Attempt::Stop) {
            break;
        }
    }
    return false;
}

CTimeQuery::Attempt CTimeQuery::Ask(const SocketAddress& address, Deadline deadline,
                                    SntpReply& reply, QueryFailure& failure)
{
    // Every return closes the socket through the wrapper's destructor.
    CUdpSocket socket;
    if (!socket.Create(address.Family()) || !socket.Connect(address)) {
        failure = NetworkFailure(GetLastError());
        return Attempt::TryNext;
    }
    const bool precise = m_options.precision == TimestampPrecision::Nanoseconds;
    // Without the kernel's arrival times the reading after the wait stands in.
    const bool arrivalTimes = precise && socket.EnableArrivalTimes();
    const CNtpTimestamp sent = TransmitTime();
    const std::vector<uint8_t> request = m_authentication->Request(sent);
    if (request.empty()) {
        failure = {FailureKind::KeyExchange, EPROTO, "cannot seal the request"};
        return Attempt::Stop;
    }
    if (!socket.Send(request.data(), request.size())) {
        failure = NetworkFailure(GetLastError());
        return Attempt::TryNext;
    }
    std::vector<uint8_t> answer(m_authentication->MaxAnswerSize());
    bool dropped = false; // failure then says why the last answer was dropped
    while (true) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        bool readable = false;
        if (left <= 0 || !socket.WaitReadable(static_cast<uint32_t>(left), readable) || !readable) {
            if (!dropped) {
                failure = NoAnswer(m_options.timeoutMs);
            }
            return Attempt::Stop;
        }
        // T4 is read as soon as the answer is there, before it is taken and parsed.
        const CNtpTimestamp readAfterWait =
            precise ? CNtpTimestamp::NowPrecise() : CNtpTimestamp::Now();
        timespec arrival{};
        const int received =
            socket.Receive(answer.data(), answer.size(), arrivalTimes ? &arrival : nullptr);
        if (received == CUdpSocket::kSocketError) {
            failure = NetworkFailure(GetLastError());
            return FailsAtOnce(failure.error) ? Attempt::TryNext : Attempt::Stop;
        }
        const CNtpTimestamp destination =
            arrival.tv_sec != 0 ? CNtpTimestamp::FromUnixTime(
                                      arrival.tv_sec, static_cast<uint32_t>(arrival.tv_nsec))
                                : readAfterWait;
        SntpReply candidate;
        std::string kissCode;
        const AnswerVerdict header =
            ParseSntpAnswer(answer.data(), static_cast<size_t>(received), sent, destination,
                            candidate, &kissCode, LocalResolution());
        switch (m_authentication->Judge(answer.data(), static_cast<size_t>(received), header,
                                        kissCode, failure)) {
        case CAuthentication::Verdict::Accepted:
            candidate.address = address.Text();
            candidate.port = address.Port();
            candidate.nts = m_authentication->Authenticated();
            reply = std::move(candidate);
            failure = {};
            return Attempt::Answered;
        case CAuthentication::Verdict::Ends:
            return Attempt::Stop;
        case CAuthentication::Verdict::Dropped:
            dropped = true;
            break;
        }
    }
}

CNtpTimestamp CTimeQuery::TransmitTime() const
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

double CTimeQuery::LocalResolution() const
{
    if (m_options.precision == TimestampPrecision::Milliseconds) {
        return kMillisecondResolution;
    }
    timespec resolution{};
    clock_getres(CLOCK_REALTIME, &resolution);
    // And the random bits below a nanosecond in T1.
    return static_cast<double>(resolution.tv_sec) + resolution.tv_nsec * 1e-9 + 1e-9;
}
