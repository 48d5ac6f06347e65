#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A scriptable UDP server on 127.0.0.1 (or ::1) for tests, answering from its own thread: it
// records every datagram and sends back what its script returns for it, in order (garbage and
// forgeries ahead of an answer), or nothing (an empty script: for time-outs). SetScript may swap
// the script at any time. Independent of the engine and of Qt.
//
//     UdpResponder server(UdpResponder::NtpServer({.stratum = 2}));   // ephemeral port
//     client.QueryServer("127.0.0.1", reply, server.Port());
class UdpResponder
{
public:
    using Bytes = std::vector<uint8_t>;
    using Script = std::function<std::vector<Bytes>(const Bytes& request)>;

    // Fields of an SNTP answer. Timestamps are NTP values (seconds << 32 | fraction); unset,
    // originate echoes the request's transmit time and receive and transmit read the clock. A
    // length other than 48 cuts or pads the answer with zeros.
    struct NtpAnswer {
        uint8_t leapIndicator = 0;
        uint8_t version = 3;
        uint8_t mode = 4;
        uint8_t stratum = 1;
        std::optional<uint64_t> originate = std::nullopt;
        std::optional<uint64_t> receive = std::nullopt;
        std::optional<uint64_t> transmit = std::nullopt;
        size_t length = 48;
        uint32_t referenceId = 0;    // a kiss code at stratum 0, such as 0x52415445 ("RATE")
        int8_t precision = 0;        // log2 seconds
        uint32_t rootDelay = 0;      // 16.16 fixed-point seconds
        uint32_t rootDispersion = 0; // 16.16 fixed-point seconds
    };

    // host: an IPv4 or IPv6 address; port 0 picks a free one.
    explicit UdpResponder(Script script = {}, const std::string& host = "127.0.0.1",
                          uint16_t port = 0);
    ~UdpResponder();

    // 0 when the socket could not be bound. A responder made and dropped at once names a port
    // that was free a moment ago.
    uint16_t Port() const { return m_port; }
    void SetScript(Script script)
    {
        std::lock_guard lock(m_mutex);
        m_script = std::move(script);
    }
    std::vector<Bytes> Received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    static Script NtpServer(NtpAnswer answer);
    static uint64_t NtpNow(); // to the nanosecond
    // The big-endian 64-bit value at offset; bytes past the end read as zero.
    static uint64_t ReadTimestamp(const Bytes& packet, size_t offset);

private:
    void Run();

    int m_socket = -1;
    uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    Script m_script;
    std::vector<Bytes> m_received;
    std::thread m_thread;
};

// A UDP (or, with stream, TCP) socket bound to host:port, or connected to it, or -1.
int TestSocket(const std::string& host, uint16_t port, bool bind, bool stream = false);

// Whether a UDP socket could be bound to address:port just now (also false while another
// socket holds the port on every address).
bool IsUdpPortFree(uint16_t port, const std::string& address);
