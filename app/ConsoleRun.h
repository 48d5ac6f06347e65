#pragma once

#include "app/ClockSetter.h"
#include "app/CommandLine.h"
#include "app/WorkerHost.h"
#include "sntp/ClockAdjuster.h"
#include "sntp/Query.h"
#include "sntp/SntpPacket.h"

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

// The command-line run without a window: the lines the log pane would get are printed at once,
// one per line (or one JSON object with --json), the reason of a failure goes to the error
// stream, and the exit code says what happened.
class ConsoleRun : private WorkerHost
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

    // One of the exit codes above.
    int Run(const CommandLine& line);

    // A text with its control bytes written as \xNN, so that a name cannot steer the terminal.
    static std::string Escaped(const std::string& text);

private:
    struct Result {
        QueryResult query;
        std::string failure;     // why there is no reply, or why the clock was not set
        std::optional<bool> set; // null when the flag did not ask
    };

    std::string ServerText() override { return m_line.server; }
    void AppendLog(const std::string& line) override;
    void SetLogText(const std::string& text) override;
    void StoreReply(const SntpReply&) override {}
    bool AdjustClock(double offset) override;

    void Measure(Result& result);
    void Report(const Result& result);
    void PrintJson(const Result& result);
    static int ExitCode(const Result& result);

    std::ostream& m_out;
    std::ostream& m_err;
    CClockAdjuster m_clock;
    std::unique_ptr<ClockSetter> m_clockSetter; // chosen at the first setting unless given
    std::chrono::milliseconds m_sampleGap = kSampleGap;
    uint16_t m_port = kNtpPort;
    NtsFactory m_nts = nullptr;
    CommandLine m_line;
    std::string m_adjustFailure; // why the last AdjustClock did not set the clock
};
