// The window's commands: "OK", "Adjust", the command line's run and the log they write.
#include "app/window/SyncDlg.h"

#include "app/SyncSteps.h"
#include "app/clock/OffsetApplier.h"
#include "app/window/LogWriter.h"
#include "controls/IComboBox.h"

#include <QTextEdit>

#include <cstring>

char g_szServerArg[CommandLine::kServerBufferSize] = {};

void CSyncDlg::ClearLog(const QStringList& first)
{
    m_log->Clear(first);
    m_editLog->repaint();
}

void CSyncDlg::OnOK()
{
    const QString server = m_comboServer->currentText();
    if (server.isEmpty()) {
        ClearLog();
        return;
    }
    // Ahead of a running worker's waiting line: that worker's lines follow the look-up line.
    ClearLog({QString::fromStdString(SyncSteps::LookupLine(server.toStdString()))});
    if (!m_pWorker) {
        StartWorker(&CSyncDlg::RetrieveWorker);
    }
}

// The offset is applied once (OffsetApplier); the result line is typed when the answer comes,
// which may take as long as someone needs to type a password.
void CSyncDlg::OnAdjust()
{
    if (m_offsetApplier->IsPending()) {
        return;
    }
    if (m_lastReply.destination.Value() == 0) {
        OnOK();
        return;
    }
    auto waited = std::make_shared<bool>(false);
    m_offsetApplier->Apply(*m_clockSetter, m_lastReply, [this, waited](bool set) {
        const QString line = QString::fromLatin1(SyncSteps::AdjustLine(set));
        if (*waited) {
            m_log->Append(line);
        } else {
            ClearLog({line});
        }
    });
    if (m_offsetApplier->IsPending()) {
        *waited = true;
        ClearLog();
    }
}

void CSyncDlg::AppendLog(QString text)
{
    m_log->Append(text);
}

void CSyncDlg::StartCommandLine()
{
    const std::string& server = m_commandLine.server;
    if (m_commandLine.mode != CommandLine::Mode::Window || server.size() >= sizeof(g_szServerArg)) {
        return;
    }
    std::memcpy(g_szServerArg, server.c_str(), server.size() + 1);
    m_strAdjustFlag = m_commandLine.flag;
    // Every later query trusts the extra authority too.
    m_queryOptions.ntsCaFile = m_commandLine.ntsCaFile;
    if (!server.empty()) {
        StartWorker(&CSyncDlg::CommandLineWorker);
    }
}
