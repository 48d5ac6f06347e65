#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// Debian's chronyd serving its own clock on a loopback address (127.0.0.1 unless told otherwise),
// for tests that want a real SNTP server.
// It runs with -x, so it never touches the machine's clock.
//
//     ChronyServer server({.port = 0, .stratum = 8}); // 0: a free unprivileged port
//     ASSERT_TRUE(server.Start()) << server.Error();
//     client.QueryServer("127.0.0.1", reply, server.Port());
//
// Start() returns once the server answers an SNTP request (or false, with the reason in Error()).
// The destructor stops it by its pid (SIGTERM, then waits) and removes its temporary folder.
// Port 123 works when the test runs as root. Not thread-safe; one object per server.
class ChronyServer
{
public:
    struct Options {
        uint16_t port = 0; // 0 picks a free unprivileged port
        int stratum = 8;   // the "local stratum" it reports
        // Any address of 127.0.0.0/8 serves, so that test runs sharing port 123 each take one.
        std::string address = "127.0.0.1";
    };

    ChronyServer() : ChronyServer(Options{}) {}
    explicit ChronyServer(Options options);
    ~ChronyServer();
    ChronyServer(const ChronyServer&) = delete;
    ChronyServer& operator=(const ChronyServer&) = delete;

    bool Start();
    void Stop();

    bool Running() const { return m_pid > 0; }
    uint16_t Port() const { return m_port; }
    const std::string& Address() const { return m_options.address; }
    int Stratum() const { return m_options.stratum; }
    pid_t Pid() const { return m_pid; }
    // Why Start() failed, with the server's own log when there is one.
    const std::string& Error() const { return m_error; }

    static constexpr const char* kBinary = "/usr/sbin/chronyd";

private:
    bool PrepareDirectory();
    bool WriteConfig();
    bool Spawn();
    bool WaitUntilAnswering();
    bool Fail(const std::string& reason);
    std::string Log() const;
    void RemoveDirectory();

    Options m_options;
    uint16_t m_port = 0;
    std::string m_dir;
    std::string m_error;
    pid_t m_pid = -1;
};

// Sends one SNTP client request to address:port and waits up to timeoutMs for any answer of
// at least 48 bytes. Independent of the engine, so that it can tell whether a server is up.
bool ProbeSntp(uint16_t port, int timeoutMs, const std::string& address = "127.0.0.1");

// Whether a UDP socket could be bound to address:port just now. Also false while another
// socket holds the port on every address (0.0.0.0).
bool IsUdpPortFree(uint16_t port, const std::string& address = "127.0.0.1");

// A UDP port on 127.0.0.1 that was free a moment ago (from 1024 up).
uint16_t FindFreeUdpPort();
