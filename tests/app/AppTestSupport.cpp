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
#include <map>

const char* RunAddress(int host)
{
    static std::map<int, std::string> addresses;
    const unsigned pid = static_cast<unsigned>(::getpid());
    auto [entry, added] = addresses.try_emplace(host);
    if (added) {
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
    return dlg.m_editLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
