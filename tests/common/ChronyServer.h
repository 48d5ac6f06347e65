#pragma once

#include "tests/common/TestCertificate.h"
#include "tests/common/UdpResponder.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

// Debian's chronyd serving its own clock on 127.0.0.1, for tests that want a real SNTP
// server. It runs with -x, so it never touches the machine's clock.
//
//     ChronyServer server({.port = 0, .stratum = 8}); // 0: a free unprivileged port
//     ASSERT_TRUE(server.Start()) << server.Error();
//     client.QueryServer("127.0.0.1", reply, server.Port());
//
// Start() returns once the server answers an SNTP request (or false, with the reason and the
// server's log in Error()). The destructor stops it by its pid and removes its temporary folder.
// Port 123 works when the test runs as root. One object per server.
class ChronyServer
{
public:
    struct Options {
        uint16_t port = 0; // 0 picks a free unprivileged port
        int stratum = 8;   // the "local stratum" it reports
        // Also serves the NTS key exchange on NtsPort(), with a certificate for 127.0.0.1 made
        // at the start (CertificateFile(), to be trusted by the client).
        bool nts = false;
    };

    explicit ChronyServer(Options options) : m_options(std::move(options)) {}
    ~ChronyServer() { Stop(); }
    ChronyServer(const ChronyServer&) = delete;
    ChronyServer& operator=(const ChronyServer&) = delete;

    bool Start();
    uint16_t Port() const { return m_port; }
    uint16_t NtsPort() const { return m_ntsPort; }
    std::string CertificateFile() const { return m_dir + "/cert.pem"; }
    const std::string& Error() const { return m_error; }

private:
    bool Launch();
    void Stop();
    bool Fail(const std::string& reason);

    Options m_options;
    uint16_t m_port = 0;
    uint16_t m_ntsPort = 0;
    std::string m_dir, m_error;
    pid_t m_pid = -1;
};
