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
#include <sys/socket.h>
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
        return ENXIO; // no such host, or none with an IPv4 address
    }
}

// The first IPv4 address of a host name, in network byte order.
bool LookUp(const std::string& host, in_addr_t& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        SetLastError(status != 0 ? LookupError(status) : ENXIO);
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

} // namespace

CUdpSocket::~CUdpSocket()
{
    Close();
}

bool CUdpSocket::Create()
{
    Close();
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket == kInvalidSocket) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CUdpSocket::Connect(const std::string& host, unsigned port)
{
    // A port that does not fit 16 bits would silently become another one.
    if (port > USHRT_MAX) {
        SetLastError(EINVAL);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    // inet_addr takes the dotted forms without a lookup; its failure value is also the
    // broadcast address, which is therefore looked up like a name.
    address.sin_addr.s_addr = inet_addr(host.c_str());
    if (address.sin_addr.s_addr == INADDR_NONE && !LookUp(host, address.sin_addr.s_addr))
        return false;
    if (connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
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

int CUdpSocket::Receive(void* buffer, size_t size)
{
    ssize_t received;
    do {
        // MSG_TRUNC makes Linux report a longer datagram's full length; only size bytes are kept.
        received = recv(m_socket, buffer, size, MSG_TRUNC);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        SetLastErrorFromErrno();
        return kSocketError;
    }
    return static_cast<int>(std::min(static_cast<size_t>(received), size));
}

void CUdpSocket::Close()
{
    if (m_socket == kInvalidSocket)
        return;
    close(m_socket);
    m_socket = kInvalidSocket;
}
