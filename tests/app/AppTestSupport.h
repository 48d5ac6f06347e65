#pragma once

#include "app/SocketLibraryApi.h"
#include "platform/SystemClockApi.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CSyncDlg;

// Loopback addresses the application's tests use; it always asks port 123.
inline constexpr const char* kChronyAddress = "127.0.0.1";   // chronyd answers here
inline constexpr const char* kRefusingAddress = "127.0.0.2"; // nothing listens: refused at once
inline constexpr const char* kSilentAddress = "127.0.0.3";   // SilentServer reads and never answers

// Records the clock settings instead of making them.
class FakeClock : public SystemClockApi
{
public:
    explicit FakeClock(bool succeeds = true) : m_succeeds(succeeds) {}

    bool OpenProcessToken(TokenHandle* token) override;
    bool LookupPrivilegeValue(const char*, LUID* luid) override;
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES&) override { return true; }
    void CloseHandle(TokenHandle) override {}
    bool SetSystemTime(const SYSTEMTIME& st) override;

    std::vector<SYSTEMTIME> Settings() const;

private:
    bool m_succeeds;
    mutable std::mutex m_mutex;
    std::vector<SYSTEMTIME> m_settings;
};

// A socket library that fails to start, grants another version, or works and counts.
class FakeSockets : public SocketLibraryApi
{
public:
    enum class Mode { Works, Fails, WrongVersion };
    explicit FakeSockets(Mode mode = Mode::Works) : m_mode(mode) {}

    int Startup(uint16_t versionRequested, WSADATA* data) override;
    int Cleanup() override;

    void SetMode(Mode mode) { m_mode = mode; }
    int Started() const { return m_started; }
    int CleanedUp() const { return m_cleanedUp; }

private:
    std::atomic<Mode> m_mode;
    std::atomic<int> m_started = 0;
    std::atomic<int> m_cleanedUp = 0;
};

// A UDP socket on SilentAddress port 123 that takes requests and never answers.
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    bool IsOpen() const { return m_fd >= 0; }
    // Why it could not open, for the test's message.
    const std::string& Error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

// A temporary folder standing in for the executable's, with url/time.txt when content is given.
class TempExeDir
{
public:
    TempExeDir();
    ~TempExeDir();
    void WriteServerList(const QByteArray& content);
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous = QDir::currentPath();
};

// Runs the event loop until done() holds or the time is up; the result of done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// The log pane's lines (its text split at line ends, without the empty piece after the last).
QStringList LogLines(const CSyncDlg& dlg);
// Waits until no worker runs and the log has nothing left to type.
bool WaitIdle(const CSyncDlg& dlg, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Whether this process could still set the clock (CAP_SYS_TIME bounding or effective).
bool HoldsClockCapability();
