#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A scriptable UDP server on 127.0.0.1 (or ::1) for tests, answering from its own thread.
// For every datagram it receives it records the bytes and asks its script what to send back:
// datagrams in order (garbage and forgeries ahead of an answer), or none. Independent of the
// engine and of Qt.
//
//     UdpResponder server(UdpResponder::NtpServer({.stratum = 2}));   // ephemeral port
//     client.QueryServer("127.0.0.1", reply, server.Port());
//     EXPECT_EQ(server.Received().size(), 1u);
//
//     UdpResponder silent;                 // answers nothing: for time-outs
//
// The script runs on the responder's thread; SetScript may swap it at any time. An empty script
// answers nothing.
class UdpResponder
{
public:
    using Bytes = std::vector<uint8_t>;
    using Script = std::function<std::vector<Bytes>(const Bytes& request)>;

    // Fields of an SNTP answer. Timestamps are NTP values (seconds << 32 | fraction); those left
    // unset are filled per request: originate echoes the request's transmit timestamp, receive
    // and transmit read the clock. A length other than 48 cuts or pads the answer with zeros.
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
        int8_t precision = 0;        // log2 seconds: a second, as coarse as the scripted times are
        uint32_t rootDelay = 0;      // 16.16 fixed-point seconds
        uint32_t rootDispersion = 0; // 16.16 fixed-point seconds
    };

    // host: 127.0.0.1 (any other IPv4 text too) or an IPv6 address such as ::1; port 0 picks a
    // free one.
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
    // Every datagram received so far, in order.
    std::vector<Bytes> Received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    static Script NtpServer(NtpAnswer answer);

    // The current time as an NTP value, to the nanosecond.
    static uint64_t NtpNow();
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

// A UDP (or, with stream, TCP) socket bound to host:port (an IPv4 or IPv6 address), or
// connected to it, or -1.
int TestSocket(const std::string& host, uint16_t port, bool bind, bool stream = false);

// Whether a UDP socket could be bound to address:port just now. Also false while another
// socket holds the port on every address (0.0.0.0).
bool IsUdpPortFree(uint16_t port, const std::string& address);
