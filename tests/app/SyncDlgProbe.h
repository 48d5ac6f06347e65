#pragma once

#include "app/LogWriter.h"
#include "app/SyncDlg.h"

// What the tests read of the window beyond its controls, which they find by object name.
struct SyncDlgProbe {
    static CSntpClient& Client(CSyncDlg& dlg) { return *dlg.m_sntpClient; }
    static SntpReply& LastReply(CSyncDlg& dlg) { return dlg.m_lastReply; }
    // A worker runs.
    static bool IsBusy(const CSyncDlg& dlg) { return dlg.m_pWorker != nullptr; }
    // The log pane has nothing left to type.
    static bool IsLogIdle(const CSyncDlg& dlg) { return dlg.m_log->IsIdle(); }
};
