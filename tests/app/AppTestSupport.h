#pragma once

#include "app/ClockSetter.h"
#include "app/LogWriter.h"
#include "app/SyncDlg.h"
#include "controls/IComboBox.h"
#include "platform/LastError.h"
#include "platform/SystemClockApi.h"
#include "sntp/NtpTimestamp.h"
#include "tests/common/ChronyServer.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <ostream>
#include <vector>

// What the tests read of the window beyond its controls, which they find by object name.
struct SyncDlgProbe {
    static CClockAdjuster& Clock(CSyncDlg& dlg) { return *dlg.m_clockAdjuster; }
    static QueryOptions& Options(CSyncDlg& dlg) { return dlg.m_queryOptions; }
    static SntpReply& LastReply(CSyncDlg& dlg) { return dlg.m_lastReply; }
    // A worker runs.
    static bool IsBusy(const CSyncDlg& dlg) { return dlg.m_pWorker != nullptr; }
    // The log pane has nothing left to type.
    static bool IsLogIdle(const CSyncDlg& dlg) { return dlg.m_log->IsIdle(); }
};

// The program always asks port 123, so the tests tell servers apart by loopback address: each
// test process takes addresses of its own, 127.A.B.host with A.B from its pid, so that runs
// overlapping on one machine do not meet on the port.
inline std::string RunAddress(int host)
{
    const unsigned pid = static_cast<unsigned>(::getpid());
    return "127." + std::to_string(1 + (pid >> 8) % 254) + "." + std::to_string(pid % 256) + "." +
           std::to_string(host);
}
inline const std::string kChronyAddress = RunAddress(1);   // chronyd answers here
inline const std::string kRefusingAddress = RunAddress(2); // nothing listens: refused at once

// Records the clock settings instead of making them; a refused one fails as the kernel refuses a
// process without the capability. The clock is only ever set on the window's thread, the test's.
struct FakeClock : SystemClockApi {
    explicit FakeClock(bool succeeds = true) : m_succeeds(succeeds) {}
    bool OpenProcessToken(TokenHandle* token) override { return (*token = 1) != 0; }
    bool LookupPrivilegeValue(const char*, LUID*) override { return true; }
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES&) override { return true; }
    void CloseHandle(TokenHandle) override {}
    bool SetSystemTime(const SYSTEMTIME& st) override
    {
        m_settings.push_back(st);
        SetLastError(m_succeeds ? 0 : EPERM);
        return m_succeeds;
    }

    bool m_succeeds;
    std::vector<SYSTEMTIME> m_settings;
};

// Records the offsets it is asked to set and answers only when the test says so, as
// timedated does while polkit asks for a password.
struct DeferredClockSetter : ClockSetter {
    void SetByOffset(double offset, Done done) override
    {
        offsets.push_back(offset);
        pending.push_back(std::move(done));
    }
    std::string FailureReason() const override { return {}; }

    // Answers the oldest setting that waits.
    void Answer(bool set)
    {
        const Done done = std::move(pending.front());
        pending.erase(pending.begin());
        done(set);
    }

    std::vector<double> offsets;
    std::vector<Done> pending;
};

// A window run from a temporary folder standing in for the executable's, which types its log at
// 1 ms a character; the current directory is restored when it goes.
struct TestWindow {
    TestWindow()
    {
        dlg.SetExeDir(folder.path());
        dlg.SetLogPace(std::chrono::milliseconds(1));
    }
    ~TestWindow() { QDir::setCurrent(previous); }
    const QString previous = QDir::currentPath();
    QTemporaryDir folder;
    CSyncDlg dlg;
};

// How far a recorded clock setting lies from now, in seconds.
inline double FromNow(const SYSTEMTIME& setting)
{
    return CNtpTimestamp::FromSystemTime(setting).Difference(CNtpTimestamp::Now());
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Waits until no worker runs and the log has nothing left to type.
inline bool WaitIdle(const CSyncDlg& dlg)
{
    return QTest::qWaitFor(
        [&dlg] { return !SyncDlgProbe::IsBusy(dlg) && SyncDlgProbe::IsLogIdle(dlg); }, 10000);
}

// A control of the window by its object name (res/SyncDlg.ui).
template <typename Widget> Widget* Control(const QWidget& window, const char* name)
{
    return window.findChild<Widget*>(QString::fromLatin1(name));
}

// The server selector's entries, in their order.
inline QStringList ServerEntries(const CSyncDlg& dlg)
{
    const auto* selector = Control<CIComboBox>(dlg, "comboServer");
    QStringList shown;
    for (int i = 0; i < selector->count(); ++i) {
        shown.append(selector->itemText(i));
    }
    return shown;
}

inline QStringList LogLines(const CSyncDlg& dlg)
{
    return Control<QPlainTextEdit>(dlg, "editLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
}

// Lets failed expectations print QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
