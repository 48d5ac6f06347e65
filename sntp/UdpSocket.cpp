#include "sntp/UdpSocket.h"

#include "platform/LastError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace
{

void SetLastErrorFromErrno()
{
    SetLastError(static_cast<uint32_t>(errno));
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

CUdpSocket::~CUdpSocket()
{
    Close();
}

bool CUdpSocket::Create(int family)
{
    Close();
    m_socket = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
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
    return setsockopt(m_socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
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
    } while (received == -1 && errno == EINTR);
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
