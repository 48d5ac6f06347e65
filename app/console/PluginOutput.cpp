#include "app/console/PluginOutput.h"

#include "app/console/ConsoleRun.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace
{

constexpr const char* kStatusWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// Seconds to the microsecond, as the console measures them.
std::string Micro(double seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

// The threshold as the user wrote it, in its shortest form (0.5, 1).
std::string Shortest(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// A name in the status text: no control byte reaches the monitoring system, and no "|" starts
// the performance data early.
std::string Plain(const std::string& name)
{
    std::string text = ConsoleRun::Escaped(name);
    for (char& c : text) {
        if (c == '|') {
            c = '/';
        }
    }
    return text;
}

} // namespace

PluginOutput::Status PluginOutput::ForServer(const ServerRow& row, Thresholds thresholds)
{
    if (!row.reply) {
        return Line(kUnknown, row.failure.empty() ? "nothing retrieved" : Plain(row.failure), "");
    }
    return Measured(row, thresholds, "", "");
}

PluginOutput::Status PluginOutput::ForComparison(const std::vector<ServerRow>& rows,
                                                 const Agreement& agreement, Thresholds thresholds)
{
    if (!agreement.Chosen()) {
        return Line(kUnknown, "no server answered", "");
    }
    const std::string count = std::to_string(agreement.Agreeing()) + " of " +
                              std::to_string(agreement.Answered()) + " servers agree";
    const std::string performance = " agreeing=" + std::to_string(agreement.Agreeing());
    Status status = Measured(rows[*agreement.Chosen()], thresholds, ", " + count, performance);
    if (!agreement.Majority()) {
        const size_t bar = status.line.find('|');
        status = Line(kCritical, "no majority: " + count, status.line.substr(bar + 1));
    }
    return status;
}

PluginOutput::Status PluginOutput::Usage(const std::string& error)
{
    return Line(kUnknown, "usage: " + Plain(error), "");
}

PluginOutput::Status PluginOutput::Measured(const ServerRow& row, Thresholds thresholds,
                                            const std::string& more,
                                            const std::string& morePerformance)
{
    const double offset = row.reply->clockOffset;
    const int exitCode = std::fabs(offset) > thresholds.critical  ? kCritical
                         : std::fabs(offset) > thresholds.warning ? kWarning
                                                                  : kOk;
    const std::string text = "offset " + Micro(offset) + " s from " + Plain(row.server) + more;
    const std::string performance =
        "offset=" + Micro(offset) + "s;" + Shortest(thresholds.warning) + ";" +
        Shortest(thresholds.critical) + " delay=" + Micro(row.reply->roundTripDelay) +
        "s stratum=" + std::to_string(row.reply->stratum) +
        " error_bound=" + Micro(row.errorBound) + "s" + morePerformance;
    return Line(exitCode, text, performance);
}

PluginOutput::Status PluginOutput::Line(int exitCode, const std::string& text,
                                        const std::string& performance)
{
    std::string line = std::string("HORALINK ") + kStatusWords[exitCode] + " - " + text;
    if (!performance.empty()) {
        line += "|" + performance;
    }
    return {exitCode, line};
}
