#include "tests/common/UdpResponder.h"

#include <arpa/inet.h>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr uint64_t kUnixToNtpSeconds = 2208988800u;
constexpr size_t kTransmitOffset = 40;
// Larger than any datagram a test sends, so that the recorded request is whole.
constexpr size_t kMaxDatagram = 65536;

void WriteTimestamp(std::vector<uint8_t>& packet, size_t offset, uint64_t value)
{
    for (size_t i = 0; i < 8; ++i)
        packet[offset + 7 - i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

UdpResponder::UdpResponder(Script script, const std::string& host) : m_script(std::move(script))
{
    sockaddr_storage address{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
    } else {
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    m_socket = socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    socklen_t length = sizeof address;
    if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_socket >= 0)
            close(m_socket);
        m_socket = -1;
        return;
    }
    m_port = ntohs(address.ss_family == AF_INET6 ? v6->sin6_port : v4->sin_port);
    m_wake = eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

UdpResponder::~UdpResponder()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_wake >= 0)
        close(m_wake);
    if (m_socket >= 0)
        close(m_socket);
}

void UdpResponder::Run()
{
    Bytes buffer(kMaxDatagram);
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
    while (poll(fds, 2, -1) >= 0 && !(fds[1].revents & POLLIN)) {
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const ssize_t n = recvfrom(m_socket, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (n < 0)
            continue;
        const Bytes request(buffer.begin(), buffer.begin() + n);
        Script script;
        std::vector<Bytes> prelude;
        {
            std::lock_guard lock(m_mutex);
            m_received.push_back(request);
            script = m_script;
            prelude = m_prelude;
        }
        const std::optional<Bytes> answer = script ? script(request) : std::nullopt;
        for (const Bytes& datagram : prelude)
            sendto(m_socket, datagram.data(), datagram.size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), peerLength);
        if (answer)
            sendto(m_socket, answer->data(), answer->size(), 0,
                   reinterpret_cast<const sockaddr*>(&peer), peerLength);
    }
}

void UdpResponder::SetScript(Script script)
{
    std::lock_guard lock(m_mutex);
    m_script = std::move(script);
}

void UdpResponder::SetPrelude(std::vector<Bytes> datagrams)
{
    std::lock_guard lock(m_mutex);
    m_prelude = std::move(datagrams);
}

std::vector<UdpResponder::Bytes> UdpResponder::Received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

UdpResponder::Script UdpResponder::Silent()
{
    return [](const Bytes&) { return std::nullopt; };
}

UdpResponder::Script UdpResponder::Fixed(Bytes answer)
{
    return [answer = std::move(answer)](const Bytes&) { return std::optional<Bytes>(answer); };
}

UdpResponder::Script UdpResponder::NtpServer(NtpAnswer answer)
{
    return [answer](const Bytes& request) {
        Bytes packet(48, 0);
        packet[0] = static_cast<uint8_t>((answer.leapIndicator & 3) << 6 |
                                         (answer.version & 7) << 3 | (answer.mode & 7));
        packet[1] = answer.stratum;
        for (size_t i = 0; i < 4; ++i)
            packet[12 + i] = static_cast<uint8_t>(answer.referenceId >> (24 - 8 * i));
        WriteTimestamp(packet, 24,
                       answer.originate.value_or(ReadTimestamp(request, kTransmitOffset)));
        WriteTimestamp(packet, 32, answer.receive.value_or(NtpNow()));
        WriteTimestamp(packet, 40, answer.transmit.value_or(NtpNow()));
        packet.resize(answer.length, 0);
        return std::optional<Bytes>(packet);
    };
}

uint64_t UdpResponder::NtpNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t seconds = static_cast<uint64_t>(now.tv_sec) + kUnixToNtpSeconds;
    const uint64_t fraction = (static_cast<uint64_t>(now.tv_nsec) << 32) / 1000000000u;
    return (seconds << 32) | fraction;
}

uint64_t UdpResponder::ReadTimestamp(const Bytes& packet, size_t offset)
{
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i)
        value = value << 8 | (offset + i < packet.size() ? packet[offset + i] : 0);
    return value;
}
