#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One IPv4 UDP socket for the length of one exchange; closed when destroyed.
class CUdpSocket
{
public:
    static constexpr int kInvalidSocket = -1;
    static constexpr int kSocketError = -1;

    CUdpSocket() = default;
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    bool Create();
    // A dotted IPv4 address is used as it stands; anything else is looked up, first IPv4 address.
    bool Connect(const std::string& host, unsigned port);
    bool Send(const void* data, size_t length);
    bool WaitReadable(uint32_t timeoutMs, bool& readable);
    // Bytes received, or kSocketError. A longer datagram is cut to size.
    int Receive(void* buffer, size_t size);
    void Close();

private:
    int m_socket = kInvalidSocket;
};
