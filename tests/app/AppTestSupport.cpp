#include "AppTestSupport.h"

#include "app/SyncDlg.h"
#include "tests/common/ChronyServer.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

const char* RunAddress(int host)
{
    static std::map<int, std::string> addresses;
    auto [entry, added] = addresses.try_emplace(host);
    if (added) {
        const unsigned pid = static_cast<unsigned>(::getpid());
        entry->second = "127." + std::to_string(1 + (pid >> 8) % 254) + "." +
                        std::to_string(pid % 256) + "." + std::to_string(host);
    }
    return entry->second.c_str();
}

std::string Port123Taken()
{
    for (const char* address : {kRefusingAddress, kSilentAddress}) {
        if (!IsUdpPortFree(123, address)) {
            return std::string("UDP port 123 is taken at ") + address +
                   " (a server listening on every address?)";
        }
    }
    return {};
}

bool FakeClock::SetSystemTime(const SYSTEMTIME& st)
{
    std::lock_guard lock(m_mutex);
    m_settings.push_back(st);
    return m_succeeds;
}

std::vector<SYSTEMTIME> FakeClock::Settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

int FakeSockets::Startup(uint16_t, WSADATA* data)
{
    ++started;
    data->wVersion = mode == Mode::WrongVersion ? MAKEWORD(2, 2) : MAKEWORD(1, 1);
    return mode == Mode::Fails ? 10091 : 0;
}

SilentServer::SilentServer()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(123);
    inet_pton(AF_INET, kSilentAddress, &address.sin_addr);
    fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = std::string("binding ") + kSilentAddress + ":123: " + std::strerror(errno);
    }
}

SilentServer::~SilentServer()
{
    ::close(fd);
}

void TempExeDir::WriteServerList(const QByteArray& content)
{
    QDir(Path()).mkpath(QStringLiteral("url"));
    QFile file(Path() + QStringLiteral("/url/time.txt"));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

bool WaitIdle(const CSyncDlg& dlg)
{
    return WaitUntil([&dlg] { return !dlg.IsBusy() && dlg.IsLogIdle(); });
}

QStringList LogLines(const CSyncDlg& dlg)
{
    QStringList lines = dlg.m_editLog->toPlainText().split(QLatin1Char('\n'));
    if (lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

bool HoldsClockCapability()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if ((line.starts_with("CapBnd:") || line.starts_with("CapEff:")) &&
            ((std::stoull(line.substr(7), nullptr, 16) >> 25) & 1)) {
            return true;
        }
    }
    return false;
}
