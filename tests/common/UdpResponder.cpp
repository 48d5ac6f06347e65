#include "tests/common/UdpResponder.h"

#include <arpa/inet.h>
#include <ctime>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

int TestSocket(const std::string& host, uint16_t port, bool bind, bool stream)
{
    const int type = stream ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = type;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return -1;
    }
    int fd = socket(found->ai_family, type | SOCK_CLOEXEC, 0);
    if (fd >= 0 && (bind ? ::bind(fd, found->ai_addr, found->ai_addrlen)
                         : connect(fd, found->ai_addr, found->ai_addrlen)) != 0) {
        close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    return fd;
}

// chronyd keeps running when it cannot bind its port, and another server there would answer
// in its place: a taken port must be caught before the start.
bool IsUdpPortFree(uint16_t port, const std::string& address)
{
    const int fd = TestSocket(address, port, true);
    close(fd); // -1 when it failed: nothing to close
    return fd >= 0;
}

UdpResponder::UdpResponder(Script script, const std::string& host, uint16_t port)
    : m_socket(TestSocket(host, port, true)), m_script(std::move(script))
{
    sockaddr_in6 address{}; // the port lies at the same place in both families
    socklen_t length = sizeof address;
    if (m_socket >= 0 &&
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        m_port = ntohs(address.sin6_port);
        m_thread = std::thread([this] { Run(); });
    }
}

// Shutting the socket down wakes the thread's receive, which then returns 0 bytes.
UdpResponder::~UdpResponder()
{
    if (m_thread.joinable()) {
        shutdown(m_socket, SHUT_RDWR);
        m_thread.join();
    }
    close(m_socket);
}

void UdpResponder::Run()
{
    Bytes buffer(65536); // larger than any datagram a test sends
    for (;;) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const ssize_t n = recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (n <= 0) {
            return;
        }
        const Bytes request(buffer.begin(), buffer.begin() + n);
        Script script;
        {
            std::lock_guard lock(m_mutex);
            m_received.push_back(request);
            script = m_script;
        }
        for (const Bytes& datagram : script ? script(request) : std::vector<Bytes>{}) {
            sendto(m_socket, datagram.data(), datagram.size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), peerLength);
        }
    }
}

UdpResponder::Script UdpResponder::NtpServer(NtpAnswer answer)
{
    return [answer](const Bytes& request) {
        Bytes packet(48, 0);
        const auto write = [&packet](size_t offset, uint64_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) {
                packet[offset + bytes - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
            }
        };
        packet[0] = static_cast<uint8_t>((answer.leapIndicator & 3) << 6 |
                                         (answer.version & 7) << 3 | (answer.mode & 7));
        packet[1] = answer.stratum;
        packet[3] = static_cast<uint8_t>(answer.precision);
        write(4, answer.rootDelay, 4);
        write(8, answer.rootDispersion, 4);
        write(12, answer.referenceId, 4);
        write(24, answer.originate.value_or(ReadTimestamp(request, 40)), 8);
        write(32, answer.receive.value_or(NtpNow()), 8);
        write(40, answer.transmit.value_or(NtpNow()), 8);
        packet.resize(answer.length, 0);
        return std::vector<Bytes>{packet};
    };
}

uint64_t UdpResponder::NtpNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t seconds = static_cast<uint64_t>(now.tv_sec) + 2208988800u; // since 1900
    return seconds << 32 | (static_cast<uint64_t>(now.tv_nsec) << 32) / 1000000000u;
}

uint64_t UdpResponder::ReadTimestamp(const Bytes& packet, size_t offset)
{
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i) {
        value = value << 8 | (offset + i < packet.size() ? packet[offset + i] : 0);
    }
    return value;
}
