#include "sntp/NameLookup.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>

namespace
{

// One asynchronous lookup: the request and everything it points to, kept together, since glibc
// reads them on its own thread until the lookup ends.
struct Lookup {
    std::string name;
    std::string service;
    addrinfo hints{};
    gaicb request{};
};

// Lookups left at their deadline still run inside glibc, which cannot cancel a running one:
// they are kept here until they end, and freed by a later lookup.
class AbandonedLookups
{
public:
    void Add(std::unique_ptr<Lookup> lookup)
    {
        std::lock_guard lock(m_mutex);
        m_lookups.push_back(std::move(lookup));
    }
    void FreeFinished()
    {
        std::lock_guard lock(m_mutex);
        m_lookups.remove_if([](const std::unique_ptr<Lookup>& lookup) {
            if (gai_error(&lookup->request) == EAI_INPROGRESS) {
                return false;
            }
            freeaddrinfo(lookup->request.ar_result);
            return true;
        });
    }

private:
    std::mutex m_mutex;
    std::list<std::unique_ptr<Lookup>> m_lookups;
};

AbandonedLookups& Abandoned()
{
    static AbandonedLookups lookups;
    return lookups;
}

// The errno code that stands for a failed name lookup.
uint32_t LookupError(int status)
{
    switch (status) {
    case EAI_SYSTEM:
        return static_cast<uint32_t>(errno);
    case EAI_AGAIN:
        return EAGAIN;
    case EAI_MEMORY:
        return ENOMEM;
    default:
        return ENXIO; // no such host, or none in the family asked for
    }
}

bool Fail(QueryFailure& failure, uint32_t error)
{
    failure = {FailureKind::Lookup, error, error == ETIMEDOUT ? kLookupTimedOut : ErrorText(error)};
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
// as they always have; getaddrinfo is stricter about them.
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

// Waits for the lookup until deadline: 0, or the lookup's EAI_ code, or EAI_AGAIN at the
// deadline (a signal does not end the wait).
int WaitFor(Lookup& lookup, Deadline deadline)
{
    const gaicb* list[] = {&lookup.request};
    for (;;) {
        const int status = gai_error(&lookup.request);
        if (status != EAI_INPROGRESS) {
            return status;
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return EAI_INPROGRESS;
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec wait{static_cast<time_t>(seconds.count()),
                            static_cast<long>((left - seconds) / std::chrono::nanoseconds(1))};
        gai_suspend(list, 1, &wait);
    }
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
    Abandoned().FreeFinished();
    auto lookup = std::make_unique<Lookup>();
    lookup->name = host;
    lookup->service = std::to_string(port);
    lookup->hints.ai_family = family;
    lookup->hints.ai_socktype = SOCK_DGRAM; // one entry per address; TCP connects to it as well
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->name.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    const int started = getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr);
    if (started != 0) {
        return Fail(failure, LookupError(started));
    }
    const int status = WaitFor(*lookup, deadline);
    if (status == EAI_INPROGRESS) {
        if (gai_cancel(&lookup->request) != EAI_CANCELED) {
            Abandoned().Add(std::move(lookup));
        }
        return Fail(failure, ETIMEDOUT);
    }
    if (status != 0) {
        return Fail(failure, LookupError(status));
    }
    addrinfo* found = lookup->request.ar_result;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
            a->ai_addrlen <= sizeof(sockaddr_storage)) {
            addresses.push_back(FromSockaddr(a->ai_addr, a->ai_addrlen));
        }
    }
    freeaddrinfo(found);
    return !addresses.empty() || Fail(failure, ENXIO);
}
