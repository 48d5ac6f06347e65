#pragma once

#include "app/CommandLine.h"
#include "app/SocketLibraryApi.h"
#include "sntp/SntpClient.h"
#include "sntp/SntpReply.h"

#include <QDialog>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class LogWriter;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class WindowCrossing;

// The server name given on the command line; the command-line worker reads it.
extern char g_szServerArg[260];

// The main window: the server selector, the log pane, "OK" (retrieve) and "Adjust", and the
// workers that ask a time server without blocking the window.
class CSyncDlg : public QDialog
{
    Q_OBJECT

public:
    struct WorkerParam;
    using ThreadStarter = std::function<bool(std::function<void()>)>;

    explicit CSyncDlg(QWidget* parent = nullptr);
    ~CSyncDlg() override;

    // The window's set-up. Runs once, at the latest when the window is first shown.
    virtual bool OnInitDialog();
    void setVisible(bool visible) override;

    // Retrieve: clears the log, writes the look-up line and starts the retrieve worker unless
    // one runs already. Does not close the window.
    virtual void OnOK();
    // Sets the clock by the offset of the last retrieve, or retrieves when there is none.
    void OnAdjust();
    // Appends one line to the log pane. On the window's thread the line is queued and the call
    // returns at once; from any other thread it returns once the line is written.
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
    void SetSocketLibrary(std::shared_ptr<SocketLibraryApi> sockets);
    // Starts a worker's body on a thread of its own; false when no thread could be created.
    void SetThreadStarter(ThreadStarter starter) { m_startThread = std::move(starter); }
    void SetLogPace(std::chrono::milliseconds pace);

    // A worker runs.
    bool IsBusy() const { return m_pWorker != nullptr; }
    // The log pane has nothing left to type.
    bool IsLogIdle() const;

    // Controls, named after their ids.
    QPlainTextEdit* m_editLog;
    QComboBox* m_comboServer;
    QPushButton* m_btnOK;
    QPushButton* m_btnAdjust;

    // Shared with the workers, which may outlive the window.
    std::shared_ptr<CSntpClient> m_sntpClient;
    // The last successful exchange; a zero destination means there is none to adjust by.
    SntpReply m_lastReply;
    // The busy marker: set by whoever starts a worker, cleared on the worker's behalf as its
    // last act. Only the window's thread touches it.
    std::shared_ptr<WorkerParam> m_pWorker;
    // The command line's flag, upper-cased; "N" when it gives a server but no flag.
    std::string m_strAdjustFlag;

private:
    class WorkerLink;
    using WorkerRoutine = unsigned (*)(std::shared_ptr<WorkerParam>);

    static unsigned RetrieveWorker(std::shared_ptr<WorkerParam> param);
    static unsigned CommandLineWorker(std::shared_ptr<WorkerParam> param);
    static void AppendLogThrough(WindowCrossing& crossing, CSyncDlg* pDlg, const QString& text);
    static bool StartDetachedThread(std::function<void()> body);

    void CreateControls();
    void PlaceControls();
    void StartCommandLine();
    bool StartWorker(WorkerRoutine routine);
    void ClearLog();

    std::shared_ptr<WindowCrossing> m_crossing;
    LogWriter* m_log;
    std::shared_ptr<SocketLibraryApi> m_sockets;
    ThreadStarter m_startThread;
    CommandLine m_commandLine;
    QString m_exeDir;
    bool m_initialised = false;
};
