#pragma once

#include "app/CommandLine.h"
#include "app/WorkerHost.h"
#include "app/clock/ClockConsent.h"
#include "app/clock/ClockSetter.h"
#include "app/console/Agreement.h"
#include "app/console/ServerRow.h"
#include "platform/SystemClockApi.h"
#include "sntp/Query.h"
#include "sntp/SntpPacket.h"

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The command-line run without a window: the lines the log pane would get are printed at once,
// one per line (or one JSON object with --json), the reason of a failure goes to the error
// stream, and the exit code says what happened. Nobody is asked before the clock is set: the
// options answer (--disable-ntp, --max-step).
class ConsoleRun : private WorkerHost, private ClockConsent
{
public:
    static constexpr int kExitRetrieved = 0; // and set, when the flag asked for it
    static constexpr int kExitNotRetrieved = 1;
    static constexpr int kExitUsage = 2;
    static constexpr int kExitNotSet = 3; // retrieved, but the clock was not set
    // Between two exchanges of --samples.
    static constexpr std::chrono::milliseconds kSampleGap{1000};

    ConsoleRun(std::ostream& out, std::ostream& err);
    // Sets the clock through clockApi instead of the operating system (tests).
    ConsoleRun(std::ostream& out, std::ostream& err, SystemClockApi& clockApi);

    void SetSampleGap(std::chrono::milliseconds gap) { m_sampleGap = gap; }
    // The port asked instead of the SNTP port, so that tests can use scripted servers.
    void SetPort(uint16_t port) { m_port = port; }
    // How nts:// servers are asked instead of through the NTS module (tests).
    void SetNtsFactory(NtsFactory factory) { m_nts = factory; }
    // The program's folder, where --compare finds the server list (tests).
    void SetExeDir(std::string folder) { m_exeDir = std::move(folder); }

    // One of the exit codes above.
    int Run(const CommandLine& line);

    // A text with its control bytes written as \xNN, so that a name cannot steer the terminal.
    static std::string Escaped(const std::string& text);

private:
    struct Result {
        QueryResult query;       // its reply is the exchange with the lowest delay
        std::string failure;     // why there is no reply, or why the clock was not set
        std::optional<bool> set; // null when the flag did not ask
        double errorBound = 0.0; // of the reply, seconds
    };

    std::string ServerText() override { return m_line.server; }
    void AppendLog(const std::string& line) override;
    void SetLogText(const std::string& text) override;
    void StoreReply(const SntpReply&) override {}
    bool AdjustClock(const SntpReply& reply) override;

    void Note(const std::string&) override {}
    void TurnOffAutomaticTime(bool, Answer answer) override { answer(m_line.disableNtp); }
    void AcceptStep(int64_t, double, Answer answer) override { answer(false); }
    double MaxStep() const override { return m_line.maxStep; }

    void Measure(Result& result);
    void Report(const Result& result);
    void PrintJson(const Result& result);
    static int ExitCode(const Result& result);
    // The six lines of the window's log, not a format for machines.
    bool PrintsLog() const { return !m_line.json && !m_line.check && !m_line.openMetrics; }
    ServerRow RowOf(const Result& result) const;

    // The engine's options for this run's command line.
    QueryOptions Options() const;
    // --compare (ConsoleRunCompare.cpp).
    int RunCompare();
    std::vector<std::string> CompareServers() const;
    // With Y: the agreed member's step, and only when a majority agrees.
    std::optional<bool> SetAgreed(const std::vector<ServerRow>& rows, const Agreement& agreement,
                                  std::string& failure);
    int ReportComparison(const std::vector<ServerRow>& rows, const Agreement& agreement,
                         std::optional<bool> set, const std::string& failure);

    std::ostream& m_out;
    std::ostream& m_err;
    std::unique_ptr<ClockSetter> m_clockSetter; // chosen at the first setting unless given
    std::chrono::milliseconds m_sampleGap = kSampleGap;
    uint16_t m_port = kNtpPort;
    NtsFactory m_nts = nullptr;
    CommandLine m_line;
    std::string m_adjustFailure; // why the last AdjustClock did not set the clock
    std::string m_exeDir;        // this program's folder unless given
};
