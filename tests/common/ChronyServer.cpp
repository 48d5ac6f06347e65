#include "tests/common/ChronyServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr int kStartAttempts = 3;

sockaddr_in Loopback(uint16_t port, const std::string& host = "127.0.0.1")
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Waits for the child to end, up to a deadline; true once it has been reaped.
bool Reap(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

bool ProbeSntp(uint16_t port, int timeoutMs, const std::string& host)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = Loopback(port, host);
    uint8_t request[48] = {0x1B};
    bool answered = false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request, sizeof request, 0) == static_cast<ssize_t>(sizeof request)) {
        pollfd p{fd, POLLIN, 0};
        uint8_t answer[68];
        answered = poll(&p, 1, timeoutMs) == 1 && recv(fd, answer, sizeof answer, 0) >= 48;
    }
    close(fd);
    return answered;
}

// chronyd keeps running when it cannot bind its port, and another server there would answer
// the probe in its place: a taken port must be caught before the start.
bool IsUdpPortFree(uint16_t port, const std::string& host)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const sockaddr_in address = Loopback(port, host);
    const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

uint16_t FindFreeUdpPort()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return 0;
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        uint16_t port = 0;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        close(fd);
        if (port >= 1024)
            return port;
    }
    return 0;
}

ChronyServer::ChronyServer(Options options) : m_options(options) {}

ChronyServer::~ChronyServer()
{
    Stop();
}

bool ChronyServer::Start()
{
    if (Running())
        return true;
    if (access(kBinary, X_OK) != 0)
        return Fail(std::string(kBinary) + " is not installed");
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        m_error.clear();
        m_port = m_options.port != 0 ? m_options.port : FindFreeUdpPort();
        if (m_port == 0)
            return Fail("no free UDP port on 127.0.0.1");
        const bool started =
            IsUdpPortFree(m_port, Address())
                ? PrepareDirectory() && WriteConfig() && Spawn() && WaitUntilAnswering()
                : Fail(Address() + ":" + std::to_string(m_port) + " is in use");
        if (started)
            return true;
        Stop();
        // A fixed port that is taken stays taken; a picked one may have been lost to a race.
        if (m_options.port != 0)
            break;
    }
    return false;
}

void ChronyServer::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        if (!Reap(m_pid, kStopTimeout)) {
            kill(m_pid, SIGKILL);
            Reap(m_pid, kStopTimeout);
        }
        m_pid = -1;
    }
    RemoveDirectory();
}

bool ChronyServer::PrepareDirectory()
{
    char pattern[] = "/tmp/horalink-chrony.XXXXXX";
    if (!mkdtemp(pattern))
        return Fail(std::string("mkdtemp: ") + std::strerror(errno));
    m_dir = pattern;
    // chronyd drops to _chrony; it must own the folder of its pid file and command socket.
    if (const passwd* user = getpwnam("_chrony"))
        if (chown(m_dir.c_str(), user->pw_uid, user->pw_gid) != 0)
            return Fail(std::string("chown _chrony: ") + std::strerror(errno));
    return true;
}

bool ChronyServer::WriteConfig()
{
    std::ofstream config(m_dir + "/chrony.conf");
    config << "port " << m_port << "\n"
           << "bindaddress " << Address()
           << "\n"
           // Requests to any loopback address come from 127.0.0.1.
           << "allow 127.0.0.0/8\n"
           << "local stratum " << m_options.stratum << "\n"
           << "cmdport 0\n"
           << "bindcmdaddress " << m_dir << "/chronyd.sock\n"
           << "pidfile " << m_dir << "/chronyd.pid\n";
    config.close();
    return config ? true : Fail("cannot write " + m_dir + "/chrony.conf");
}

bool ChronyServer::Spawn()
{
    // Everything the child needs is made before fork: a threaded parent's child may only exec.
    const std::string config = m_dir + "/chrony.conf";
    const std::string log = m_dir + "/chronyd.log";
    std::vector<char*> argv = {const_cast<char*>("chronyd"),      const_cast<char*>("-x"),
                               const_cast<char*>("-d"),           const_cast<char*>("-f"),
                               const_cast<char*>(config.c_str()), nullptr};
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0)
        return Fail("cannot create " + log);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        setpgid(0, 0);
        execv(kBinary, argv.data());
        _exit(127);
    }
    close(logFd);
    if (pid < 0)
        return Fail(std::string("fork: ") + std::strerror(errno));
    m_pid = pid;
    return true;
}

bool ChronyServer::WaitUntilAnswering()
{
    const auto deadline = Clock::now() + kStartTimeout;
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return Fail("chronyd exited at start");
        }
        if (ProbeSntp(m_port, 50, Address()))
            return true;
    }
    return Fail("chronyd did not answer on " + Address() + ":" + std::to_string(m_port));
}

bool ChronyServer::Fail(const std::string& reason)
{
    m_error = reason;
    const std::string log = Log();
    if (!log.empty())
        m_error += "; chronyd said:\n" + log;
    return false;
}

std::string ChronyServer::Log() const
{
    if (m_dir.empty())
        return {};
    std::ifstream file(m_dir + "/chronyd.log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void ChronyServer::RemoveDirectory()
{
    if (m_dir.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
    m_dir.clear();
}
