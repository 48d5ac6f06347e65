#pragma once

#include "app/console/Agreement.h"
#include "app/console/ServerRow.h"

#include <string>
#include <vector>

// The answer of a monitoring plugin (Nagios, Icinga and their kin): one status line,
//     HORALINK OK - offset 0.000123 s from SERVER|offset=0.000123s;0.5;1 delay=0.000456s
//     stratum=2 error_bound=0.002741s
// and the exit code of its status. The thresholds hold for the offset's magnitude: beyond the
// warning one is WARNING, beyond the critical one CRITICAL.
class PluginOutput
{
public:
    static constexpr int kOk = 0;
    static constexpr int kWarning = 1;
    static constexpr int kCritical = 2;
    static constexpr int kUnknown = 3;

    struct Thresholds {
        double warning;
        double critical;
    };
    struct Status {
        int exitCode;
        std::string line; // without a line end
    };

    // One server: UNKNOWN when it gave nothing.
    static Status ForServer(const ServerRow& row, Thresholds thresholds);
    // --compare: the agreed member's offset; UNKNOWN when nobody answered, CRITICAL when no
    // majority agrees (no offset can be trusted).
    static Status ForComparison(const std::vector<ServerRow>& rows, const Agreement& agreement,
                                Thresholds thresholds);
    // A bad command line.
    static Status Usage(const std::string& error);

private:
    static Status Measured(const ServerRow& row, Thresholds thresholds, const std::string& more,
                           const std::string& morePerformance);
    static Status Line(int exitCode, const std::string& text, const std::string& performance);
};
