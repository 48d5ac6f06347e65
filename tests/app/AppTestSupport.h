#pragma once

#include "app/SocketLibraryApi.h"
#include "platform/SystemClockApi.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

class CSyncDlg;

// The program always asks port 123, so the tests tell servers apart by loopback address: each
// test process takes addresses of its own, 127.A.B.host with A.B from its pid, so that runs
// overlapping on one machine do not meet on the port.
const char* RunAddress(int host);
inline const char* const kChronyAddress = RunAddress(1);   // chronyd answers here
inline const char* const kRefusingAddress = RunAddress(2); // nothing listens: refused at once
inline const char* const kSilentAddress = RunAddress(3);   // SilentServer never answers
// Why this run's addresses cannot have port 123 to themselves (a server holding it on every
// address would answer them all); empty when they can.
std::string Port123Taken();

// Records the clock settings instead of making them; workers call it from their threads.
class FakeClock : public SystemClockApi
{
public:
    explicit FakeClock(bool succeeds = true) : m_succeeds(succeeds) {}
    bool OpenProcessToken(TokenHandle* token) override { return (*token = 1) != 0; }
    bool LookupPrivilegeValue(const char*, LUID*) override { return true; }
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES&) override { return true; }
    void CloseHandle(TokenHandle) override {}
    bool SetSystemTime(const SYSTEMTIME& st) override
    {
        const std::lock_guard lock(m_mutex);
        m_settings.push_back(st);
        return m_succeeds;
    }
    std::vector<SYSTEMTIME> Settings() const
    {
        const std::lock_guard lock(m_mutex);
        return m_settings;
    }

private:
    bool m_succeeds;
    mutable std::mutex m_mutex;
    std::vector<SYSTEMTIME> m_settings;
};

// A socket library that works, fails to start or grants another version; it counts its calls.
class FakeSockets : public SocketLibraryApi
{
public:
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
    SilentServer();
    ~SilentServer();
    int fd = -1;
    std::string error;
};

// A temporary folder standing in for the executable's; restores the current directory.
struct TempExeDir {
    ~TempExeDir() { QDir::setCurrent(previous); }
    QString Path() const { return dir.path(); }
    void WriteServerList(const QByteArray& content);

    QTemporaryDir dir;
    QString previous = QDir::currentPath();
};

// Runs the event loop until done() holds or the time is up; the result of done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
// Waits until no worker runs and the log has nothing left to type.
bool WaitIdle(const CSyncDlg& dlg);
QStringList LogLines(const CSyncDlg& dlg);

// Lets failed expectations print QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
