#include "AppTestSupport.h"

#include "app/SyncDlg.h"

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
#include <string>

bool FakeClock::OpenProcessToken(TokenHandle* token)
{
    *token = 1;
    return true;
}

bool FakeClock::LookupPrivilegeValue(const char*, LUID* luid)
{
    *luid = LUID{};
    return true;
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
    ++m_started;
    switch (m_mode.load()) {
    case Mode::Fails:
        return 10091; // the library's "not ready" code; any non-zero value fails
    case Mode::WrongVersion:
        data->wVersion = MAKEWORD(2, 2);
        return 0;
    case Mode::Works:
        break;
    }
    data->wVersion = MAKEWORD(1, 1);
    return 0;
}

int FakeSockets::Cleanup()
{
    ++m_cleanedUp;
    return 0;
}

SilentServer::SilentServer()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(123);
    inet_pton(AF_INET, kSilentAddress, &address.sin_addr);
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        m_error = std::string("binding ") + kSilentAddress + ":123: " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
    }
}

SilentServer::~SilentServer()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

TempExeDir::TempExeDir()
{
    QDir(m_dir.path()).mkdir(QStringLiteral("url"));
}

TempExeDir::~TempExeDir()
{
    QDir::setCurrent(m_previous);
}

void TempExeDir::WriteServerList(const QByteArray& content)
{
    QFile file(m_dir.filePath(QStringLiteral("url/time.txt")));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

QStringList LogLines(const CSyncDlg& dlg)
{
    QStringList lines = dlg.m_editLog->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

bool WaitIdle(const CSyncDlg& dlg, std::chrono::milliseconds limit)
{
    return WaitUntil([&dlg] { return !dlg.IsBusy() && dlg.IsLogIdle(); }, limit);
}

bool HoldsClockCapability()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("CapBnd:") || line.starts_with("CapEff:")) {
            const unsigned long long caps = std::stoull(line.substr(7), nullptr, 16);
            if ((caps >> 25) & 1) {
                return true;
            }
        }
    }
    return false;
}
