#include "sntp/NameLookup.h"

#include <algorithm>
#include <ares.h>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <span>
#include <sys/time.h>

namespace
{

// One lookup on a channel of its own, run on the calling thread: the resolver's sockets are
// polled here until the answer comes or the deadline passes. No thread is left behind.
class AresLookup
{
public:
    AresLookup()
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { ares_library_init(ARES_LIB_INIT_ALL); });
        m_ready = ares_init(&m_channel) == ARES_SUCCESS;
    }
    ~AresLookup()
    {
        if (m_ready) {
            ares_destroy(m_channel); // ends a pending lookup through its callback
        }
        if (m_result != nullptr) {
            ares_freeaddrinfo(m_result);
        }
    }
    AresLookup(const AresLookup&) = delete;
    AresLookup& operator=(const AresLookup&) = delete;

    // ARES_SUCCESS with Result() set, a resolver's ARES_ code, or ARES_ETIMEOUT at the deadline.
    int Run(const std::string& host, const std::string& service, int family, Deadline deadline)
    {
        if (!m_ready) {
            return ARES_ENOMEM;
        }
        ares_addrinfo_hints hints{};
        hints.ai_family = family;
        hints.ai_socktype = SOCK_DGRAM; // one entry per address; TCP connects to it as well
        hints.ai_flags = ARES_AI_NUMERICSERV;
        ares_getaddrinfo(m_channel, host.c_str(), service.c_str(), &hints, &AresLookup::Done, this);
        while (!m_done) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return ARES_ETIMEOUT;
            }
            Wait(static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
        }
        return m_status;
    }

    const ares_addrinfo* Result() const { return m_result; }

private:
    static void Done(void* self, int status, int /*timeouts*/, ares_addrinfo* result)
    {
        auto* lookup = static_cast<AresLookup*>(self);
        lookup->m_done = true;
        lookup->m_status = status;
        lookup->m_result = result;
    }

    // Polls the resolver's sockets for at most maxMs and lets it handle what is ready and what
    // has timed out.
    void Wait(int maxMs)
    {
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int mask = ares_getsock(m_channel, sockets, ARES_GETSOCK_MAXNUM);
        pollfd fds[ARES_GETSOCK_MAXNUM];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            const short events = static_cast<short>((ARES_GETSOCK_READABLE(mask, i) ? POLLIN : 0) |
                                                    (ARES_GETSOCK_WRITABLE(mask, i) ? POLLOUT : 0));
            if (events != 0) {
                fds[count++] = {sockets[i], events, 0};
            }
        }
        timeval longest{maxMs / 1000, (maxMs % 1000) * 1000};
        timeval buffer{};
        const timeval* next = ares_timeout(m_channel, &longest, &buffer);
        timespec wait{};
        TIMEVAL_TO_TIMESPEC(next, &wait); // to the microsecond, no rounding
        const int ready = ppoll(fds, count, &wait, nullptr);
        if (ready <= 0) {
            ares_process_fd(m_channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD); // its own time-outs
            return;
        }
        for (const pollfd& fd : std::span(fds, count)) {
            if (m_done) {
                break;
            }
            const bool error = (fd.revents & (POLLERR | POLLHUP)) != 0;
            ares_process_fd(m_channel, (fd.revents & POLLIN) || error ? fd.fd : ARES_SOCKET_BAD,
                            (fd.revents & POLLOUT) ? fd.fd : ARES_SOCKET_BAD);
        }
    }

    ares_channel m_channel{};
    bool m_ready = false;
    bool m_done = false;
    int m_status = ARES_ETIMEOUT;
    ares_addrinfo* m_result = nullptr;
};

bool Fail(QueryFailure& failure, uint32_t error, std::string reason = {})
{
    if (reason.empty()) {
        reason = error == ETIMEDOUT ? kLookupTimedOut : ErrorText(error);
    }
    failure = {FailureKind::Lookup, error, std::move(reason), {}};
    return false;
}

SocketAddress FromSockaddr(const void* address, socklen_t length)
{
    SocketAddress result;
    std::copy_n(static_cast<const uint8_t*>(address), length,
                reinterpret_cast<uint8_t*>(&result.storage));
    result.length = length;
    return result;
}

// The dotted forms inet_aton reads ("127.1", a trailing blank) name an address without a lookup,
// as they always have; a resolver is stricter about them.
bool DottedAddress(const std::string& host, uint16_t port, int family, SocketAddress& address)
{
    in_addr dotted{};
    if (family == AF_INET6 || inet_aton(host.c_str(), &dotted) == 0) {
        return false;
    }
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr = dotted;
    address = FromSockaddr(&ipv4, sizeof ipv4);
    return true;
}

} // namespace

std::string ErrorText(uint32_t error)
{
    switch (error) {
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

bool LookUpAddresses(const std::string& host, uint16_t port, int family, Deadline deadline,
                     std::vector<SocketAddress>& addresses, QueryFailure& failure)
{
    addresses.clear();
    SocketAddress dotted;
    if (DottedAddress(host, port, family, dotted)) {
        addresses.push_back(dotted);
        return true;
    }
    AresLookup lookup;
    switch (const int status = lookup.Run(host, std::to_string(port), family, deadline)) {
    case ARES_SUCCESS:
        break;
    case ARES_ENOTFOUND:
    case ARES_ENODATA:
    case ARES_EBADNAME:
        return Fail(failure, ENXIO);
    case ARES_ETIMEOUT:
        return Fail(failure, ETIMEDOUT);
    case ARES_ENOMEM:
        return Fail(failure, ENOMEM);
    default:
        return Fail(failure, EAGAIN, std::string("name lookup failed: ") + ares_strerror(status));
    }
    for (const ares_addrinfo_node* a = lookup.Result()->nodes; a; a = a->ai_next) {
        // The length is the family's, not the resolver's word for it.
        if (a->ai_family == AF_INET) {
            addresses.push_back(FromSockaddr(a->ai_addr, sizeof(sockaddr_in)));
        } else if (a->ai_family == AF_INET6) {
            addresses.push_back(FromSockaddr(a->ai_addr, sizeof(sockaddr_in6)));
        }
    }
    return !addresses.empty() || Fail(failure, ENXIO);
}
