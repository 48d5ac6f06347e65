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

// Records the clock settings instead of making them.
class FakeClock : public SystemClockApi
{
public:
    explicit FakeClock(bool succeeds = true) : m_succeeds(succeeds) {}
    bool OpenProcessToken(TokenHandle* token) override { return (*token = 1) != 0; }
    bool LookupPrivilegeValue(const char*, LUID*) override { return true; }
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES&) override { return true; }
    void CloseHandle(TokenHandle) override {}
    bool SetSystemTime(const SYSTEMTIME& st) override;
    std::vector<SYSTEMTIME> Settings() const;

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
    int Startup(uint16_t versionRequested, WSADATA* data) override;
    int Cleanup() override { return ++cleanedUp, 0; }

    std::atomic<Mode> mode = Mode::Works;
    std::atomic<int> started = 0;
    std::atomic<int> cleanedUp = 0;
};

// A UDP socket on kSilentAddress port 123 that takes requests and never answers.
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    int fd = -1;
    std::string error;
};

// A temporary folder standing in for the executable's; restores the current directory.
class TempExeDir
{
public:
    ~TempExeDir() { QDir::setCurrent(m_previous); }
    void WriteServerList(const QByteArray& content);
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous = QDir::currentPath();
};

// Runs the event loop until done() holds or the time is up; the result of done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
// Waits until no worker runs and the log has nothing left to type.
bool WaitIdle(const CSyncDlg& dlg);
// The log pane's lines.
QStringList LogLines(const CSyncDlg& dlg);
// Whether this process could still set the clock (CAP_SYS_TIME bounding or effective).
bool HoldsClockCapability();
