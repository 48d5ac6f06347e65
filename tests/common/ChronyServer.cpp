#include "tests/common/ChronyServer.h"

#include "tests/common/TestCertificate.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

// The chronyd to run: HORALINK_CHRONYD (the test set-up unpacks one without installing the
// service), else Debian's.
const char* Binary()
{
    const char* binary = std::getenv("HORALINK_CHRONYD");
    return binary && *binary ? binary : "/usr/sbin/chronyd";
}

// Whether one SNTP client request to host:port gets an answer of 48 bytes or more in time.
bool ProbeSntp(uint16_t port, const std::string& host, int timeoutMs)
{
    const int fd = UdpSocket(host, port, false);
    const uint8_t request[48] = {0x1B};
    uint8_t answer[68];
    pollfd p{fd, POLLIN, 0};
    const bool answered = fd >= 0 && send(fd, request, sizeof request, 0) == sizeof request &&
                          poll(&p, 1, timeoutMs) == 1 && recv(fd, answer, sizeof answer, 0) >= 48;
    close(fd); // -1 when it failed: nothing to close
    return answered;
}

// Whether a TCP connection to 127.0.0.1:port is accepted.
bool AcceptsTcp(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool accepted =
        fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return accepted;
}

} // namespace

bool ChronyServer::Start()
{
    // A fixed port that is taken stays taken; a picked one may have been lost to a race.
    for (int attempt = 0; attempt < (m_options.port != 0 ? 1 : 3); ++attempt) {
        m_port = m_options.port != 0 ? m_options.port : FindFreeUdpPort();
        if (!IsUdpPortFree(m_port, m_options.address))
            Fail(m_options.address + ":" + std::to_string(m_port) + " is in use");
        else if (Launch())
            return true;
        Stop();
    }
    return false;
}

bool ChronyServer::Launch()
{
    char pattern[] = "/tmp/horalink-chrony.XXXXXX";
    if (!mkdtemp(pattern))
        return Fail("cannot make a folder in /tmp");
    m_dir = pattern;
    const std::string config = m_dir + "/chrony.conf", log = m_dir + "/chronyd.log";
    // Requests to any loopback address come from 127.0.0.1 (or ::1).
    const bool v6 = m_options.address.find(':') != std::string::npos;
    std::ofstream(config) << "port " << m_port << "\nbindaddress " << m_options.address
                          << (v6 ? "\nallow ::1" : "\nallow 127.0.0.0/8") << "\nlocal stratum "
                          << m_options.stratum << "\ncmdport 0\nbindcmdaddress " << m_dir
                          << "/chronyd.sock\npidfile " << m_dir << "/chronyd.pid\n";
    std::string nts;
    if (m_options.nts && !PrepareNts(nts))
        return false;
    std::ofstream(config, std::ios::app) << nts;
    // -4 / -6 keep it off the other family, which it would otherwise bind on every address.
    const char* argv[] = {"chronyd", v6 ? "-6" : "-4", "-x", "-d",           "-u",   "root",
                          "-l",      log.c_str(),      "-f", config.c_str(), nullptr};
    if (posix_spawn(&m_pid, Binary(), nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        m_pid = -1;
        return Fail(std::string("cannot run ") + Binary());
    }
    for (const auto deadline = Clock::now() + std::chrono::seconds(5); Clock::now() < deadline;) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return Fail("chronyd exited at start");
        }
        // The key exchange is served by a helper process of its own, which may come later.
        if (ProbeSntp(m_port, m_options.address, 50) && (!m_options.nts || AcceptsTcp(m_ntsPort)))
            return Settled();
    }
    return Fail("chronyd did not answer on " + m_options.address + ":" + std::to_string(m_port));
}

bool ChronyServer::PrepareNts(std::string& config)
{
    std::string error;
    if (!MakeTestCertificate(m_dir, error))
        return Fail(error);
    const std::string key = m_dir + "/key.pem";
    m_ntsPort = FindFreeUdpPort(); // and most likely free for TCP too
    config = "ntsserverkey " + key + "\nntsservercert " + CertificateFile() + "\nntsport " +
             std::to_string(m_ntsPort) + "\n";
    return true;
}

// Answers once more a moment later: a server that answered its first request only while it was
// still setting up would turn the test's first query away.
bool ChronyServer::Settled()
{
    usleep(20000);
    return ProbeSntp(m_port, m_options.address, 500) ||
           Fail("chronyd answered once on " + m_options.address + ", then no more");
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
