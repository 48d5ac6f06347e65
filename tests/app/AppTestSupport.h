#pragma once

#include "app/SocketLibraryApi.h"
#include "app/SyncDlg.h"
#include "platform/SystemClockApi.h"
#include "tests/common/ChronyServer.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <ostream>
#include <vector>

// The program always asks port 123, so the tests tell servers apart by loopback address: each
// test process takes addresses of its own, 127.A.B.host with A.B from its pid, so that runs
// overlapping on one machine do not meet on the port.
inline const char* RunAddress(int host)
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
inline const char* const kChronyAddress = RunAddress(1);   // chronyd answers here
inline const char* const kRefusingAddress = RunAddress(2); // nothing listens: refused at once
inline const char* const kSilentAddress = RunAddress(3);   // SilentServer never answers

// Why this run's addresses cannot have port 123 to themselves (a server holding it on every
// address would answer them all); empty when they can.
inline std::string Port123Taken()
{
    for (const char* address : {kRefusingAddress, kSilentAddress}) {
        if (!IsUdpPortFree(123, address)) {
            return std::string("UDP port 123 is taken at ") + address + " (on every address?)";
        }
    }
    return {};
}

// Records the clock settings instead of making them. The clock is only ever set on the
// window's thread, which is the test's.
struct FakeClock : SystemClockApi {
    explicit FakeClock(bool succeeds = true) : m_succeeds(succeeds) {}
    bool OpenProcessToken(TokenHandle* token) override { return (*token = 1) != 0; }
    bool LookupPrivilegeValue(const char*, LUID*) override { return true; }
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES&) override { return true; }
    void CloseHandle(TokenHandle) override {}
    bool SetSystemTime(const SYSTEMTIME& st) override
    {
        return m_settings.push_back(st), m_succeeds;
    }
    const std::vector<SYSTEMTIME>& Settings() const { return m_settings; }

    bool m_succeeds;
    std::vector<SYSTEMTIME> m_settings;
};

// A socket library that works, fails to start or grants another version; it counts its calls.
struct FakeSockets : SocketLibraryApi {
    enum class Mode { Works, Fails, WrongVersion };
    int Startup(uint16_t, WSADATA* data) override
    {
        ++started;
        data->wVersion = mode == Mode::WrongVersion ? MAKEWORD(2, 2) : MAKEWORD(1, 1);
        return mode == Mode::Fails ? 10091 : 0;
    }
    int Cleanup() override { return ++cleanedUp, 0; }

    std::atomic<Mode> mode = Mode::Works;
    std::atomic<int> started = 0;
    std::atomic<int> cleanedUp = 0;
};

// A UDP socket on kSilentAddress port 123 that takes requests and never answers.
struct SilentServer {
    SilentServer()
    {
        sockaddr_in address{AF_INET, htons(123), {}, {}};
        inet_pton(AF_INET, kSilentAddress, &address.sin_addr);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SilentServer() { ::close(fd); }
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    bool bound = false;
};

// A temporary folder standing in for the executable's; restores the current directory.
struct TempExeDir {
    ~TempExeDir() { QDir::setCurrent(previous); }
    QString Path() const { return dir.path(); }
    void WriteServerList(const QByteArray& content)
    {
        QDir(Path()).mkpath("url");
        QFile file(Path() + "/url/time.txt");
        if (file.open(QIODevice::WriteOnly)) {
            file.write(content);
        }
    }

    QTemporaryDir dir;
    QString previous = QDir::currentPath();
};

inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

// Waits until no worker runs and the log has nothing left to type.
inline bool WaitIdle(const CSyncDlg& dlg)
{
    return WaitUntil([&dlg] { return !dlg.IsBusy() && dlg.IsLogIdle(); });
}

inline QStringList LogLines(const CSyncDlg& dlg)
{
    return dlg.m_editLog->toPlainText().split('\n', Qt::SkipEmptyParts);
}

// Lets failed expectations print QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
