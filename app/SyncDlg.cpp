#include "app/SyncDlg.h"

#include "app/LogWriter.h"
#include "app/ServerListFile.h"
#include "app/SyncSteps.h"
#include "app/WindowCrossing.h"
#include "app/WorkerHost.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include <cstring>
#include <system_error>
#include <thread>

char g_szServerArg[260] = {};

// What a worker is handed instead of the window: the window itself is reached only through the
// crossing, and everything else it uses stays alive as long as the worker holds it.
struct CSyncDlg::WorkerParam {
    CSyncDlg* pDlg; // dereferenced only inside calls run by the crossing
    std::shared_ptr<WindowCrossing> crossing;
    std::shared_ptr<CSntpClient> client;
    std::shared_ptr<SocketLibraryApi> sockets;
    std::string flag;
};

// A worker's view of the window: every access is a call run on the window's thread, which the
// worker waits for. Once the window has closed the crossing, the calls do nothing.
class CSyncDlg::WorkerLink : public WorkerHost
{
public:
    explicit WorkerLink(std::shared_ptr<WorkerParam> param) : m_param(std::move(param)) {}

    std::string ServerText() override
    {
        std::string text;
        m_param->crossing->Call([&text, pDlg = m_param->pDlg] {
            text = pDlg->m_comboServer->currentText().toStdString();
        });
        return text;
    }

    void AppendLog(const std::string& line) override
    {
        AppendLogThrough(*m_param->crossing, m_param->pDlg, QString::fromStdString(line));
    }

    void SetLogText(const std::string& text) override
    {
        m_param->crossing->Call([pDlg = m_param->pDlg, text = QString::fromStdString(text)] {
            pDlg->m_log->SetText(text);
        });
    }

    void StoreReply(const SntpReply& reply) override
    {
        m_param->crossing->Call([pDlg = m_param->pDlg, reply] { pDlg->m_lastReply = reply; });
    }

    // Runs on the window's thread, like "Adjust", so the two never use the engine's privilege
    // state at the same time.
    bool AdjustClock(double offset) override
    {
        bool adjusted = false;
        m_param->crossing->Call([&adjusted, pDlg = m_param->pDlg, offset] {
            adjusted = SyncSteps::SetClockByOffset(*pDlg->m_sntpClient, offset);
        });
        return adjusted;
    }

    void ClearBusyMarker()
    {
        m_param->crossing->Call([param = m_param] {
            if (param->pDlg->m_pWorker == param) {
                param->pDlg->m_pWorker.reset();
            }
        });
    }

private:
    std::shared_ptr<WorkerParam> m_param;
};

CSyncDlg::CSyncDlg(QWidget* parent)
    : QDialog(parent), m_sntpClient(std::make_shared<CSntpClient>()),
      m_crossing(WindowCrossing::Create(this)), m_sockets(std::make_shared<SocketLibraryApi>()),
      m_startThread(&CSyncDlg::StartDetachedThread)
{
    CreateControls();
    m_log = new LogWriter(m_editLog, this);
}

// Workers may still be running: they are released and refused from here on, and keep nothing
// of the window but their own shared pieces.
CSyncDlg::~CSyncDlg()
{
    m_crossing->Close();
}

void CSyncDlg::CreateControls()
{
    m_editLog = new QPlainTextEdit(this);
    m_editLog->setObjectName(QStringLiteral("IDC_EDIT_LOG"));
    m_editLog->setReadOnly(true);
    m_editLog->setUndoRedoEnabled(false);
    m_editLog->setFrameShape(QFrame::NoFrame);
    m_editLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_comboServer = new QComboBox(this);
    m_comboServer->setObjectName(QStringLiteral("IDC_COMBO_SERVER"));
    m_comboServer->setEditable(true);
    // The list is the file's: typed names are used, not added, and are not completed for now.
    m_comboServer->setInsertPolicy(QComboBox::NoInsert);
    m_comboServer->setCompleter(nullptr);

    m_btnOK = new QPushButton(QStringLiteral("OK"), this);
    m_btnOK->setObjectName(QStringLiteral("IDOK"));
    m_btnOK->setDefault(true);
    connect(m_btnOK, &QPushButton::clicked, this, [this] { OnOK(); });

    m_btnAdjust = new QPushButton(QStringLiteral("Adjust"), this);
    m_btnAdjust->setObjectName(QStringLiteral("IDC_BTN_ADJUST"));
    m_btnAdjust->setAutoDefault(false);
    connect(m_btnAdjust, &QPushButton::clicked, this, &CSyncDlg::OnAdjust);
}

void CSyncDlg::setVisible(bool visible)
{
    if (visible && !m_initialised) {
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

bool CSyncDlg::OnInitDialog()
{
    if (m_initialised) {
        return true;
    }
    m_initialised = true;
    SetExeDirCurrent();
    m_pWorker.reset();
    // May start the command-line worker before the rest of the set-up, whose steps run
    // whether or not it could start.
    StartCommandLine();
    PlaceControls();
    LoadServerList();
    return true;
}

void CSyncDlg::PlaceControls()
{
    setFixedSize(270, 240);
    m_comboServer->setGeometry(17, 200, 141, m_comboServer->sizeHint().height());
    m_editLog->setGeometry(23, 91, 221, 94);
    m_btnOK->setGeometry(165, 200, 40, 22);
    m_btnAdjust->setGeometry(210, 200, 40, 22);
}

// The folder is taken as it is: on this system a folder name may end in blanks.
void CSyncDlg::SetExeDirCurrent()
{
    const QString folder = m_exeDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_exeDir;
    QDir::setCurrent(folder);
}

void CSyncDlg::LoadServerList()
{
    for (const QString& server : ServerListFile::Read(QString::fromLatin1(ServerListFile::kPath))) {
        AddServer(server);
    }
    if (m_comboServer->count() == 0) {
        for (const QString& server : ServerListFile::BuiltIns()) {
            AddServer(server);
        }
    }
    m_comboServer->setCurrentIndex(0);
}

void CSyncDlg::AddServer(const QString& server)
{
    const qsizetype position = ServerListFile::SortedPosition(
        m_comboServer->count(), [this](qsizetype i) { return m_comboServer->itemText(int(i)); },
        server);
    m_comboServer->insertItem(int(position), server);
}

void CSyncDlg::SetSocketLibrary(std::shared_ptr<SocketLibraryApi> sockets)
{
    m_sockets = std::move(sockets);
}

void CSyncDlg::SetLogPace(std::chrono::milliseconds pace)
{
    m_log->SetPace(pace);
}

bool CSyncDlg::IsLogIdle() const
{
    return m_log->IsIdle();
}

void CSyncDlg::ClearLog()
{
    m_log->Clear();
    m_editLog->repaint();
}

void CSyncDlg::OnOK()
{
    const QString server = m_comboServer->currentText();
    ClearLog();
    if (server.isEmpty()) {
        return;
    }
    AppendLog(QString::fromStdString(SyncSteps::LookupLine(server.toStdString())));
    if (!m_pWorker) {
        StartWorker(&CSyncDlg::RetrieveWorker);
    }
}

void CSyncDlg::OnAdjust()
{
    if (m_lastReply.destination.Value() == 0) {
        OnOK();
        return;
    }
    ClearLog();
    const bool adjusted = SyncSteps::SetClockByOffset(*m_sntpClient, m_lastReply.clockOffset);
    if (adjusted) {
        // A measured offset is applied once: the next "Adjust" measures again.
        m_lastReply = SntpReply{};
    }
    AppendLog(QString::fromLatin1(SyncSteps::AdjustLine(adjusted)));
}

void CSyncDlg::AppendLog(QString text)
{
    if (QThread::currentThread() == thread()) {
        m_log->Append(text);
        return;
    }
    AppendLogThrough(*m_crossing, this, text);
}

void CSyncDlg::AppendLogThrough(WindowCrossing& crossing, CSyncDlg* pDlg, const QString& text)
{
    crossing.Await(
        [pDlg, text](const WindowCrossing::Done& done) { pDlg->m_log->Append(text, done); });
}

void CSyncDlg::StartCommandLine()
{
    const std::string& server = m_commandLine.server;
    if (m_commandLine.mode != CommandLine::Mode::Window || server.size() >= sizeof(g_szServerArg)) {
        return;
    }
    std::memcpy(g_szServerArg, server.c_str(), server.size() + 1);
    m_strAdjustFlag = m_commandLine.flag;
    if (!server.empty()) {
        StartWorker(&CSyncDlg::CommandLineWorker);
    }
}

// A worker that cannot be started leaves the marker clear, so the next command tries again.
bool CSyncDlg::StartWorker(WorkerRoutine routine)
{
    auto param = std::make_shared<WorkerParam>(
        WorkerParam{this, m_crossing, m_sntpClient, m_sockets, m_strAdjustFlag});
    m_pWorker = param;
    if (!m_startThread([routine, param] { routine(param); })) {
        m_pWorker.reset();
        return false;
    }
    return true;
}

bool CSyncDlg::StartDetachedThread(std::function<void()> body)
{
    try {
        // Detached: closing the window never waits for a worker still asking a server.
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

unsigned CSyncDlg::RetrieveWorker(std::shared_ptr<WorkerParam> param)
{
    WorkerLink link(param);
    const auto outcome = SyncSteps::Retrieve(link, *param->client, *param->sockets);
    link.ClearBusyMarker();
    return SyncSteps::ExitCode(outcome);
}

unsigned CSyncDlg::CommandLineWorker(std::shared_ptr<WorkerParam> param)
{
    const std::string server = g_szServerArg;
    WorkerLink link(param);
    const auto outcome =
        SyncSteps::CommandLine(link, *param->client, *param->sockets, server, param->flag);
    link.ClearBusyMarker();
    return SyncSteps::ExitCode(outcome);
}
