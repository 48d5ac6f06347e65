#pragma once

#include "app/clock/ClockConsent.h"
#include "app/clock/SystemClockSetter.h"
#include "app/window/ClockQuestionDlg.h"
#include "app/window/LogWriter.h"
#include "app/window/SyncDlg.h"
#include "app/window/WindowClockConsent.h"
#include "controls/IComboBox.h"
#include "platform/LastError.h"
#include "platform/SystemClockApi.h"
#include "sntp/NtpTimestamp.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <vector>

// What the tests read of the window beyond its controls, which they find by object name.
struct SyncDlgProbe {
    static QueryOptions& Options(CSyncDlg& dlg) { return dlg.m_queryOptions; }
    static SntpReply& LastReply(CSyncDlg& dlg) { return dlg.m_lastReply; }
    // Who answers the window's questions before the clock is set.
    static ClockConsent& Consent(CSyncDlg& dlg) { return *dlg.m_consent; }
    // No worker runs and the log pane has nothing left to type.
    static bool IsIdle(const CSyncDlg& dlg) { return !dlg.m_pWorker && dlg.m_log->IsIdle(); }
    static LogWriter& Log(CSyncDlg& dlg) { return *dlg.m_log; }
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
inline const std::string kRefusingAddress = RunAddress(2); // nothing listens: refused at once

constexpr double k2090 = 2019686400; // seconds from 2026 to 2090, a plain answer's step

// Records the privilege steps and the clock settings instead of making them; the step named in
// failAt fails with error, as the kernel refuses setting the clock to a process without the
// capability. Lowering the capability always leaves EINVAL behind, as a real call may. The clock
// is only ever set on the window's thread, the test's.
struct FakeClock : SystemClockApi {
    explicit FakeClock(bool succeeds = true) : failAt(succeeds ? "" : "set") {}
    bool OpenProcessToken(TokenHandle* token) override { return (*token = 7) && Step("open"); }
    bool LookupPrivilegeValue(const char*, LUID*) override { return Step("lookup"); }
    bool AdjustTokenPrivileges(TokenHandle, const TOKEN_PRIVILEGES& privileges) override
    {
        return Step(privileges.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED ? "raise" : "lower");
    }
    void CloseHandle(TokenHandle) override { calls += " close"; }
    bool SetSystemTime(const SYSTEMTIME& st) override
    {
        m_settings.push_back(st);
        return Step("set");
    }
    bool Step(const std::string& name)
    {
        calls += " " + name;
        SetLastError(name == failAt ? error : name == "lower" ? EINVAL : 0);
        return name != failAt;
    }

    std::string failAt;
    uint32_t error = EPERM;
    std::string calls; // each step after a blank
    std::vector<SYSTEMTIME> m_settings;
};

// Answers every question with a fixed yes or no and records what it was asked and told.
struct RecordingConsent : ClockConsent {
    explicit RecordingConsent(bool yes = false, double maxStep = CommandLine::kDefaultMaxStep)
        : m_yes(yes), m_maxStep(maxStep)
    {
    }
    void Note(const std::string& line) override { notes.push_back(line); }
    void TurnOffAutomaticTime(bool synchronised, Answer answer) override
    {
        asked.push_back(synchronised ? "automatic, synchronised" : "automatic");
        answer(m_yes);
    }
    void AcceptStep(int64_t targetSeconds, double, Answer answer) override
    {
        asked.push_back("step");
        targets.push_back(targetSeconds);
        answer(m_yes);
    }
    double MaxStep() const override { return m_maxStep; }

    bool m_yes;
    double m_maxStep;
    std::vector<std::string> notes, asked;
    std::vector<int64_t> targets;
};

// Waits for the window's question box, answers it (no with Enter, the box's default) and returns
// its text; empty when none came.
inline QString AnswerQuestion(const CSyncDlg& dlg, bool yes)
{
    ClockQuestionDlg* box = nullptr;
    const auto shown = [&] { // an answered box may linger, hidden, until it is deleted
        for (ClockQuestionDlg* each : dlg.findChildren<ClockQuestionDlg*>()) {
            box = each->isVisible() ? each : box;
        }
        return box != nullptr;
    };
    if (!QTest::qWaitFor(shown, 10000)) {
        return {};
    }
    const QString text = box->findChild<QLabel*>(QStringLiteral("labelQuestion"))->text();
    if (yes) {
        box->findChild<QPushButton*>(QStringLiteral("btnYes"))->click();
    } else {
        QTest::keyClick(box, Qt::Key_Return);
    }
    return text;
}

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
    return QTest::qWaitFor([&dlg] { return SyncDlgProbe::IsIdle(dlg); }, 10000);
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
    return Control<QTextEdit>(dlg, "editLog")->toPlainText().split('\n', Qt::SkipEmptyParts);
}
