// The workers that ask a time server for the window without blocking it, and the one way they
// reach it: calls through the window crossing, run on the window's thread and waited for.
#include "app/window/SyncDlg.h"

#include "app/SyncSteps.h"
#include "app/WorkerHost.h"
#include "app/clock/ClockSetter.h"
#include "app/clock/OffsetApplier.h"
#include "app/window/LogWriter.h"
#include "app/window/WindowCrossing.h"
#include "controls/IComboBox.h"

#include <system_error>
#include <thread>

// What a worker is handed instead of the window: the window itself is reached only through the
// crossing, and everything else it uses stays alive as long as the worker holds it.
struct CSyncDlg::WorkerParam {
    CSyncDlg* pDlg; // dereferenced only inside calls run by the crossing
    std::shared_ptr<WindowCrossing> crossing;
    QueryOptions options; // the worker's own copy
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
        m_param->crossing->Await(
            [pDlg = m_param->pDlg, text = QString::fromStdString(line)](
                const WindowCrossing::Done& done) { pDlg->m_log->Append(text, done); });
    }

    void SetLogText(const std::string& text) override
    {
        m_param->crossing->Call([pDlg = m_param->pDlg, text = QString::fromStdString(text)] {
            pDlg->m_log->SetText(text);
        });
    }

    void StoreReply(const SntpReply& reply) override
    {
        m_exchange = reply;
        m_param->crossing->Call([pDlg = m_param->pDlg, reply] { pDlg->m_lastReply = reply; });
    }

    // Applies the offset of the exchange this worker stored, through the window's thread like
    // "Adjust", so that it is applied once whoever gets there first. Waits for the answer.
    bool AdjustClock(const SntpReply&) override
    {
        auto adjusted = std::make_shared<bool>(false);
        m_param->crossing->Await([adjusted, pDlg = m_param->pDlg,
                                  exchange = m_exchange](const WindowCrossing::Done& done) {
            pDlg->m_offsetApplier->Apply(*pDlg->m_clockSetter, exchange,
                                         [adjusted, done](bool set) {
                                             *adjusted = set;
                                             done();
                                         });
        });
        return *adjusted;
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
    SntpReply m_exchange; // the last one this worker stored
};

// A worker that cannot be started leaves the marker clear, so the next command tries again.
bool CSyncDlg::StartWorker(WorkerRoutine routine)
{
    auto param = std::make_shared<WorkerParam>(
        WorkerParam{this, m_crossing, m_queryOptions, m_strAdjustFlag});
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
    const auto outcome = SyncSteps::Retrieve(link, param->options);
    link.ClearBusyMarker();
    return SyncSteps::ExitCode(outcome);
}

unsigned CSyncDlg::CommandLineWorker(std::shared_ptr<WorkerParam> param)
{
    const std::string server = g_szServerArg;
    WorkerLink link(param);
    const auto outcome = SyncSteps::CommandLine(link, param->options, server, param->flag);
    link.ClearBusyMarker();
    return SyncSteps::ExitCode(outcome);
}
