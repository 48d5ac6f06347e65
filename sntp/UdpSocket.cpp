#include "sntp/UdpSocket.h"

#include "platform/LastError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace
{

void SetLastErrorFromErrno()
{
    SetLastError(static_cast<uint32_t>(errno));
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

// "[::1]" names the same host as "::1"; the brackets only keep a port apart elsewhere.
std::string WithoutBrackets(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

} // namespace

int SocketFamily(AddressFamily family)
{
    switch (family) {
    case AddressFamily::IPv4:
        return AF_INET;
    case AddressFamily::IPv6:
        return AF_INET6;
    case AddressFamily::Any:
        break;
    }
    return AF_UNSPEC;
}

std::string SocketAddress::Text() const
{
    char text[INET6_ADDRSTRLEN] = "";
    if (Family() == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
                  sizeof text);
    } else if (Family() == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

unsigned SocketAddress::Port() const
{
    if (Family() == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    }
    if (Family() == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    }
    return 0;
}

bool CUdpSocket::LookUp(const std::string& host, unsigned port, AddressFamily family,
                        std::vector<SocketAddress>& addresses)
{
    // A port that does not fit 16 bits would silently become another one.
    if (port > USHRT_MAX) {
        SetLastError(EINVAL);
        return false;
    }
    // The dotted forms inet_aton reads ("127.1", a trailing blank) name an address without a
    // lookup, as they always have; getaddrinfo is stricter about them.
    in_addr dotted{};
    if (family != AddressFamily::IPv6 && inet_aton(host.c_str(), &dotted) != 0) {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(static_cast<uint16_t>(port));
        ipv4.sin_addr = dotted;
        SocketAddress address;
        std::copy_n(reinterpret_cast<const uint8_t*>(&ipv4), sizeof ipv4,
                    reinterpret_cast<uint8_t*>(&address.storage));
        address.length = sizeof ipv4;
        addresses.assign(1, address);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = SocketFamily(family);
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int status = getaddrinfo(WithoutBrackets(host).c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        SetLastError(LookupError(status));
        return false;
    }
    addresses.clear();
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
            a->ai_addrlen <= sizeof(sockaddr_storage)) {
            SocketAddress address;
            std::copy_n(reinterpret_cast<const uint8_t*>(a->ai_addr), a->ai_addrlen,
                        reinterpret_cast<uint8_t*>(&address.storage));
            address.length = a->ai_addrlen;
            addresses.push_back(address);
        }
    }
    freeaddrinfo(found);
    if (addresses.empty()) {
        SetLastError(ENXIO);
        return false;
    }
    return true;
}

CUdpSocket::~CUdpSocket()
{
    Close();
}

bool CUdpSocket::Create(int family)
{
    Close();
    m_socket = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket == kInvalidSocket) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CUdpSocket::Connect(const SocketAddress& address)
{
    if (connect(m_socket, reinterpret_cast<const sockaddr*>(&address.storage), address.length) !=
        0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CUdpSocket::EnableArrivalTimes()
{
    const int on = 1;
    if (setsockopt(m_socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CUdpSocket::Send(const void* data, size_t length)
{
    if (send(m_socket, data, length, 0) < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CUdpSocket::WaitReadable(uint32_t timeoutMs, bool& readable)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd request{m_socket, POLLIN, 0};
    while (true) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready =
            poll(&request, 1, static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX)));
        if (ready >= 0) {
            // A pending error (such as a refused port) counts as readable: the receive reports it.
            readable = ready > 0;
            return true;
        }
        // A signal is no reason to give up waiting.
        if (errno != EINTR) {
            SetLastErrorFromErrno();
            return false;
        }
    }
}

int CUdpSocket::Receive(void* buffer, size_t size, timespec* arrival)
{
    iovec data{buffer, size};
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t received;
    do {
        // MSG_TRUNC makes Linux report a longer datagram's full length; only size bytes are kept.
        received = recvmsg(m_socket, &message, MSG_TRUNC);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        SetLastErrorFromErrno();
        return kSocketError;
    }
    if (arrival) {
        *arrival = timespec{};
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                std::copy_n(CMSG_DATA(c), sizeof(timespec), reinterpret_cast<uint8_t*>(arrival));
            }
        }
    }
    return static_cast<int>(std::min(static_cast<size_t>(received), size));
}

void CUdpSocket::Close()
{
    if (m_socket == kInvalidSocket) {
        return;
    }
    close(m_socket);
    m_socket = kInvalidSocket;
}
