#pragma once

#include "app/CommandLine.h"
#include "app/servers/InstallLayout.h"
#include "sntp/Query.h"
#include "sntp/SntpReply.h"

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

class CAnalogClock;
class ClockSetter;
class WindowClockConsent;
class CHoverButton;
class CIComboBox;
class LogWriter;
class OffsetApplier;
class QFocusEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QTextEdit;
class WindowCrossing;

// The server name given on the command line; the command-line worker reads it.
extern char g_szServerArg[CommandLine::kServerBufferSize];

// The main window: a frameless skin with rounded corners carrying a digital and an analogue
// clock, the server selector, the log pane, "OK" (retrieve) and "Adjust". The window's set-up
// and handlers are in SyncDlg.cpp, its commands in SyncDlgCommands.cpp and the workers that ask
// a time server without blocking it in SyncDlgWorkers.cpp. Its controls come from form 102.
class CSyncDlg : public QDialog
{
    Q_OBJECT

public:
    using ThreadStarter = std::function<bool(std::function<void()>)>;

    // Timer 1, the digital clock's: the analogue clock's wake-ups.
    static constexpr int kClockTimer = 1;

    explicit CSyncDlg(QWidget* parent = nullptr);
    ~CSyncDlg() override;

    // The window's set-up. Runs once, at the latest when the window is first shown.
    virtual bool OnInitDialog();
    void setVisible(bool visible) override;
    // The dialog's OK command runs "OK" and never closes the window; only reject() ends it.
    void accept() override;
    void done(int result) override;

    // Answers the window menu: IDM_ABOUTBOX opens the About box.
    void OnSysCommand(unsigned nID, long lParam);
    void OnMinimize();
    void OnAbout();
    // Timer 1 (the clocks' wake-up) shows the local time in the digital clock; other ids are
    // ignored.
    void OnTimer(int nIDEvent);

    // Retrieve: clears the log, writes the look-up line and starts the retrieve worker unless
    // one runs already. Does not close the window.
    virtual void OnOK();
    // Sets the clock by the offset of the last retrieve, or retrieves when there is none.
    void OnAdjust();
    // Queues one line for the log pane; called on the window's thread.
    void AppendLog(QString text);

    // Makes the executable's folder the current directory; a failure is ignored.
    void SetExeDirCurrent();
    // Fills the server selector from the server list file, or with the built-in servers.
    void LoadServerList();
    // The one place entries go into the server selector: at their sorted position.
    void AddServer(const QString& server);

    // Seams; each has the production behaviour until it is set. The first four are read by the
    // set-up, so set them before the window is shown.
    void SetCommandLine(CommandLine commandLine) { m_commandLine = std::move(commandLine); }
    // The folder SetExeDirCurrent uses instead of the executable's.
    void SetExeDir(QString folder) { m_exeDir = std::move(folder); }
    // Starts a worker's body on a thread of its own; false when no thread could be created.
    void SetThreadStarter(ThreadStarter starter) { m_startThread = std::move(starter); }
    void SetLogPace(std::chrono::milliseconds pace);
    // Sets the clock for "Adjust" and the command line's Y instead of the route chosen for
    // this process.
    void SetClockSetter(std::unique_ptr<ClockSetter> setter);

private:
    struct WorkerParam;
    class WorkerLink;
    using WorkerRoutine = unsigned (*)(std::shared_ptr<WorkerParam>);
    // Reads what the tests must see and cannot reach through the controls.
    friend struct SyncDlgProbe;

    // The window (SyncDlg.cpp).
    void DoDataExchange();
    void InitFrame();
    void InitContent();
    void SetIcon();
    void AddWindowMenu();
    void CreateFonts();
    void SetLogLines();
    void SetSkin();
    void OnScreenChanged();
    void PlaceControls();
    void SetColours();
    void FitDropList();
    void ShowTime();
    void OnCtlColor(QWidget* control);
    void OnSetFocusTime();
    void ShowLogFocus(const QFocusEvent& event);
    void OnDestroy();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void StartClocks();

    // The commands (SyncDlgCommands.cpp).
    void StartCommandLine();
    // Empties the log and repaints it at once; first, when given, is its first line.
    void ClearLog(const QStringList& first = {});

    // The workers (SyncDlgWorkers.cpp).
    bool StartWorker(WorkerRoutine routine);
    static unsigned RetrieveWorker(std::shared_ptr<WorkerParam> param);
    static unsigned CommandLineWorker(std::shared_ptr<WorkerParam> param);
    static bool StartDetachedThread(std::function<void()> body);

    // Controls, named after their ids.
    QFrame* m_staticFrame = nullptr;
    CHoverButton* m_btnClose = nullptr;
    CHoverButton* m_btnAbout = nullptr;
    CHoverButton* m_btnMinimize = nullptr;
    CHoverButton* m_btnAdjust = nullptr;
    CHoverButton* m_btnOK = nullptr;
    CAnalogClock* m_clock = nullptr;
    QLineEdit* m_editTime = nullptr;
    QLabel* m_staticSkin = nullptr;
    CIComboBox* m_comboServer = nullptr;
    QTextEdit* m_editLog = nullptr;
    QIcon m_hIcon;

    // Copied into each worker, which asks with a query of its own.
    QueryOptions m_queryOptions;
    // The last successful exchange; a zero destination means there is none to adjust by.
    SntpReply m_lastReply;
    // The busy marker: set by whoever starts a worker, cleared on the worker's behalf as its
    // last act. Only the window's thread touches it.
    std::shared_ptr<WorkerParam> m_pWorker;
    // The command line's flag, upper-cased; "N" when it gives a server but no flag.
    std::string m_strAdjustFlag;

    // The digital clock's text and the time it shows.
    QString m_strTime;
    std::time_t m_timeNow = 0;
    QFont m_fontNormal; // the server selector
    QFont m_fontBold;   // the log pane
    QFont m_fontClock;  // the digital clock
    int m_nSkinWidth = 0;
    int m_nSkinHeight = 0;

    std::shared_ptr<WindowCrossing> m_crossing;
    LogWriter* m_log;
    // Declared before the setter, which goes first and so never answers them after they have gone.
    std::unique_ptr<WindowClockConsent> m_consent;
    std::unique_ptr<OffsetApplier> m_offsetApplier;
    std::unique_ptr<ClockSetter> m_clockSetter;
    ThreadStarter m_startThread;
    CommandLine m_commandLine;
    QString m_exeDir;
    // Found by SetExeDirCurrent; the fonts and the server list follow it.
    InstallLayout m_layout;
    bool m_initialised = false;
    // The log pane's frame marks the focus the keyboard brought.
    bool m_bLogFocusCue = false;
};
