#include "app/console/ConsoleRun.h"

#include "app/SyncSteps.h"
#include "app/console/CompareReport.h"
#include "app/console/CompareRun.h"
#include "app/console/OpenMetricsWriter.h"
#include "app/console/PluginOutput.h"
#include "app/servers/InstallLayout.h"
#include "app/servers/ServerListFile.h"
#include "platform/SocketLibrary.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

int ConsoleRun::RunCompare()
{
    std::vector<std::string> servers = CompareServers();
    if (!SyncSteps::StartSockets(*this)) {
        servers.clear();
    }
    QueryOptions options = Options();
    options.samples = 1;
    std::vector<ServerRow> rows = CompareRun::AskAll(servers, options);
    if (!servers.empty()) {
        WSACleanup();
    }
    const Agreement agreement = Agreement::Of(rows);
    std::string failure;
    const std::optional<bool> set = SetAgreed(rows, agreement, failure);
    return ReportComparison(rows, agreement, set, failure);
}

// The servers given, else those of the list the window would show, else the built-in ones;
// each once, so that no server counts twice towards a majority.
std::vector<std::string> ConsoleRun::CompareServers() const
{
    std::vector<std::string> named = m_line.servers;
    if (named.empty()) {
        QString folder = QString::fromStdString(m_exeDir);
        if (folder.isEmpty()) {
            folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
            folder = QFileInfo(folder).absolutePath();
        }
        QStringList list =
            ServerListFile::Read(ServerListFile::Locate(InstallLayout::Detect(folder)));
        list.removeAll(QString());
        for (const QString& server : list.isEmpty() ? ServerListFile::BuiltIns() : list) {
            named.push_back(server.toStdString());
        }
    }
    std::vector<std::string> servers;
    for (std::string& server : named) {
        if (std::find(servers.begin(), servers.end(), server) == servers.end()) {
            servers.push_back(std::move(server));
        }
    }
    return servers;
}

std::optional<bool> ConsoleRun::SetAgreed(const std::vector<ServerRow>& rows,
                                          const Agreement& agreement, std::string& failure)
{
    const bool asked = CommandLine::FlagSetsClock(m_line.flag);
    if (!asked || !agreement.Chosen()) {
        failure = agreement.Chosen() ? "" : "no server answered";
        return asked ? std::optional(false) : std::nullopt;
    }
    if (!agreement.Majority()) {
        failure = CompareReport::Verdict(rows, agreement) + "; the clock was not set";
        return false;
    }
    // The chosen member is authenticated exactly when the group has an authenticated member, so
    // its answer stands for the group wherever the clock's step rules ask.
    const bool set = AdjustClock(*rows[*agreement.Chosen()].reply);
    failure = set ? "" : m_adjustFailure;
    return set;
}

int ConsoleRun::ReportComparison(const std::vector<ServerRow>& rows, const Agreement& agreement,
                                 std::optional<bool> set, const std::string& failure)
{
    if (m_line.check) {
        const PluginOutput::Status status =
            PluginOutput::ForComparison(rows, agreement, {m_line.warning, m_line.critical});
        m_out << status.line << '\n' << std::flush;
        return status.exitCode;
    }
    if (m_line.openMetrics) {
        m_out << OpenMetricsWriter::Text(rows, true) << std::flush;
        return kExitRetrieved;
    }
    if (m_line.json) {
        m_out << CompareReport::Json(rows, agreement, set, failure) << '\n';
    } else {
        for (const std::string& line : CompareReport::Lines(rows, agreement)) {
            m_out << line << '\n';
        }
        // The clock was only tried with a majority; otherwise the reason says why not.
        if (set && agreement.Majority()) {
            m_out << SyncSteps::AdjustLine(*set) << '\n';
        }
    }
    m_out << std::flush;
    if (!failure.empty()) {
        m_err << "horalink: " << Escaped(failure) << '\n' << std::flush;
    }
    if (!agreement.Chosen()) {
        return kExitNotRetrieved;
    }
    return set.value_or(true) ? kExitRetrieved : kExitNotSet;
}
