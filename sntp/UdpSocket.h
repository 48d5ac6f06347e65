#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/socket.h>

// Which addresses of a server may be used.
enum class AddressFamily { Any, IPv4, IPv6 };
// The socket layer's family for it: AF_INET, AF_INET6 or AF_UNSPEC.
int SocketFamily(AddressFamily family);

// One IPv4 or IPv6 socket address with its port.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int Family() const { return storage.ss_family; }
    // The numeric address, without brackets ("127.0.0.1", "::1").
    std::string Text() const;
    unsigned Port() const;
};

// One UDP socket for the length of one exchange; closed when destroyed.
class CUdpSocket
{
public:
    static constexpr int kInvalidSocket = -1;
    static constexpr int kSocketError = -1;

    CUdpSocket() = default;
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    bool Create(int family);
    bool Connect(const SocketAddress& address);
    // Asks the kernel for the arrival time of each datagram (SO_TIMESTAMPNS).
    bool EnableArrivalTimes();
    bool Send(const void* data, size_t length);
    bool WaitReadable(uint32_t timeoutMs, bool& readable);
    // Bytes received, or kSocketError. A longer datagram is cut to size. arrival, when given,
    // gets the kernel's arrival time, or zero when it gave none.
    int Receive(void* buffer, size_t size, timespec* arrival = nullptr);
    void Close();

private:
    int m_socket = kInvalidSocket;
};
