#include "tests/common/ChronyServer.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// Whether one SNTP client request to 127.0.0.1:port gets an answer of 48 bytes or more in time,
// or, with tcp, whether the port takes a connection.
bool Answers(uint16_t port, int timeoutMs, bool tcp = false)
{
    const int fd = TestSocket("127.0.0.1", port, false, tcp);
    const uint8_t request[48] = {0x1B};
    uint8_t answer[68];
    pollfd p{fd, POLLIN, 0};
    const bool answered = fd >= 0 && (tcp || (send(fd, request, sizeof request, 0) == 48 &&
                                              poll(&p, 1, timeoutMs) == 1 &&
                                              recv(fd, answer, sizeof answer, 0) >= 48));
    close(fd); // -1 when it failed: nothing to close
    return answered;
}

} // namespace

bool ChronyServer::Start()
{
    // A fixed port that is taken stays taken; a picked one may have been lost to a race.
    for (int attempt = 0; attempt < (m_options.port != 0 ? 1 : 3); ++attempt) {
        m_port = m_options.port != 0 ? m_options.port : UdpResponder().Port();
        if (!IsUdpPortFree(m_port, "127.0.0.1")) {
            Fail("port " + std::to_string(m_port) + " is in use");
        } else if (Launch()) {
            return true;
        }
        Stop();
    }
    return false;
}

bool ChronyServer::Launch()
{
    char pattern[] = "/tmp/horalink-chrony.XXXXXX";
    if (!mkdtemp(pattern)) {
        return Fail("cannot make a folder in /tmp");
    }
    m_dir = pattern;
    const std::string config = m_dir + "/chrony.conf", log = m_dir + "/chronyd.log";
    std::ofstream(config) << "port " << m_port
                          << "\nbindaddress 127.0.0.1\nallow 127.0.0.0/8\nlocal stratum "
                          << m_options.stratum << "\ncmdport 0\nbindcmdaddress " << m_dir
                          << "/chronyd.sock\npidfile " << m_dir << "/chronyd.pid\n";
    if (m_options.nts) {
        if (const std::string error = MakeTestCertificate(m_dir); !error.empty()) {
            return Fail(error);
        }
        m_ntsPort = UdpResponder().Port(); // and most likely free for TCP too
        std::ofstream(config, std::ios::app)
            << "ntsserverkey " << m_dir << "/key.pem\nntsservercert " << CertificateFile()
            << "\nntsport " << m_ntsPort << "\n";
    }
    // HORALINK_CHRONYD: the test set-up unpacks one without installing the service.
    const char* binary = std::getenv("HORALINK_CHRONYD");
    binary = binary && *binary ? binary : "/usr/sbin/chronyd";
    // -4 keeps it off IPv6, where it would otherwise bind on every address.
    // setpriv (in place of the shell) ends it with the test process, even one that crashed; its
    // output goes to its log, never to the pipe a test runner reads to the end.
    const std::string command = "exec setpriv --pdeathsig TERM '" + std::string(binary) +
                                "' -4 -x -d -u root -l '" + log + "' -f '" + config +
                                "' </dev/null >>'" + log + "' 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&m_pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        m_pid = -1;
        return Fail(std::string("cannot run ") + binary);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return Fail("chronyd exited at start");
        }
        // The key exchange is served by a helper process of its own, which may come later.
        if (Answers(m_port, 50) && (!m_options.nts || Answers(m_ntsPort, 0, true))) {
            // Once more a moment later: a server that answered its first request only while it
            // was still setting up would turn the test's first query away.
            usleep(20000);
            return Answers(m_port, 500) || Fail("chronyd answered once, then no more");
        }
    }
    return Fail("chronyd did not answer on port " + std::to_string(m_port));
}

void ChronyServer::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored); // none yet: nothing removed
    m_dir.clear();
}

bool ChronyServer::Fail(const std::string& reason)
{
    std::ifstream file(m_dir.empty() ? "" : m_dir + "/chronyd.log");
    const std::string log{std::istreambuf_iterator<char>(file), {}};
    m_error = reason + (log.empty() ? "" : "; chronyd said:\n" + log);
    return false;
}
