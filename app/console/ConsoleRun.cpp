#include "app/console/ConsoleRun.h"

#include "app/clock/SystemClockSetter.h"

#include "app/SyncSteps.h"
#include "app/console/JsonObject.h"
#include "app/console/OpenMetricsWriter.h"
#include "app/console/PluginOutput.h"
#include "platform/SocketLibrary.h"
#include "sntp/ErrorBound.h"
#include "sntp/TimestampText.h"

#include <unistd.h>

namespace
{

AddressFamily FamilyOf(CommandLine::Family family)
{
    switch (family) {
    case CommandLine::Family::IPv4:
        return AddressFamily::IPv4;
    case CommandLine::Family::IPv6:
        return AddressFamily::IPv6;
    case CommandLine::Family::Any:
        break;
    }
    return AddressFamily::Any;
}

} // namespace

// The clock setter is chosen when the clock is to be set: a run that only reports needs no bus.
ConsoleRun::ConsoleRun(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

ConsoleRun::ConsoleRun(std::ostream& out, std::ostream& err, SystemClockApi& clockApi)
    : m_out(out), m_err(err)
{
    ClockConsent& consent = *this;
    m_clockSetter =
        std::make_unique<SystemClockSetter>(consent, ClockSetter::Prompt::None, clockApi, true);
}

int ConsoleRun::Run(const CommandLine& line)
{
    m_line = line;
    if (m_line.compare) {
        return RunCompare();
    }

    if (PrintsLog()) {
        AppendLog(SyncSteps::LookupLine(m_line.server));
    }
    Result result;
    if (!SyncSteps::StartSockets(*this)) {
        result.failure = "the socket library did not start";
    } else {
        Measure(result);
        WSACleanup();
    }
    Report(result);
    if (m_line.check) {
        return PluginOutput::ForServer(RowOf(result), {m_line.warning, m_line.critical}).exitCode;
    }
    return m_line.openMetrics ? kExitRetrieved : ExitCode(result);
}

QueryOptions ConsoleRun::Options() const
{
    QueryOptions options;
    options.precision = TimestampPrecision::Nanoseconds;
    options.family = FamilyOf(m_line.family);
    options.timeoutMs = m_line.timeoutMs;
    options.ntsCaFile = m_line.ntsCaFile;
    options.ntsBootstrap = m_line.ntsBootstrap;
    options.port = m_port;
    options.samples = m_line.samples;
    options.sampleGapMs = static_cast<uint32_t>(m_sampleGap.count());
    options.nts = m_nts;
    return options;
}

void ConsoleRun::Measure(Result& result)
{
    result.query = Query(m_line.server, Options());
    result.failure = result.query.failure.reason;
    const std::optional<SntpReply>& reply = result.query.reply;
    if (!reply) {
        result.set = CommandLine::FlagSetsClock(m_line.flag) ? std::optional(false) : std::nullopt;
        return;
    }
    result.failure.clear();
    result.errorBound = ErrorBound(*reply, LocalClockPrecision());
    if (CommandLine::FlagSetsClock(m_line.flag)) {
        result.set = AdjustClock(*reply);
        result.failure = *result.set ? "" : m_adjustFailure;
    }
}

void ConsoleRun::Report(const Result& result)
{
    if (m_line.check) {
        m_out << PluginOutput::ForServer(RowOf(result), {m_line.warning, m_line.critical}).line
              << '\n'
              << std::flush;
        return;
    }
    if (m_line.openMetrics) {
        // horalink_up tells of a failure; a cron job's mail need not.
        m_out << OpenMetricsWriter::Text({RowOf(result)}, false) << std::flush;
        return;
    }
    if (m_line.json) {
        PrintJson(result);
    } else if (!result.query.reply) {
        AppendLog(SyncSteps::kRetrieveFailed);
    } else {
        for (const std::string& text : SyncSteps::ReportLines(*result.query.reply)) {
            AppendLog(text);
        }
        if (result.set) {
            AppendLog(SyncSteps::AdjustLine(*result.set));
        }
    }
    if (!result.failure.empty()) {
        m_err << "horalink: " << Escaped(result.failure) << '\n' << std::flush;
    }
}

void ConsoleRun::PrintJson(const Result& result)
{
    JsonObject json;
    json.Add("server", m_line.server);
    const std::optional<SntpReply>& found = result.query.reply;
    if (const SntpReply* reply = found ? &*found : nullptr) {
        json.Add("address", reply->address);
        json.Add("port", reply->port);
        json.Add("version", reply->version);
        json.Add("leap", reply->leapIndicator);
        json.Add("stratum", reply->stratum);
        json.Add("reference_id", ReferenceIdText(reply->stratum, reply->referenceId));
        json.Add("root_delay", reply->rootDelay);
        json.Add("root_dispersion", reply->rootDispersion);
        json.Add("originate", Rfc3339(reply->originate));
        json.Add("receive", Rfc3339(reply->receive));
        json.Add("transmit", Rfc3339(reply->transmit));
        json.Add("destination", Rfc3339(reply->destination));
        json.Add("delay", reply->roundTripDelay);
        json.Add("offset", reply->clockOffset);
        json.Add("error_bound", result.errorBound);
    }
    json.Add("nts", result.query.authenticated);
    json.Add("samples", m_line.samples);
    json.Add("set", result.set);
    if (!result.query.failure.kissCode.empty()) {
        json.Add("kiss_code", result.query.failure.kissCode);
    }
    if (!result.failure.empty()) {
        json.Add("error", result.failure);
    }
    m_out << json.Text() << '\n' << std::flush;
}

ServerRow ConsoleRun::RowOf(const Result& result) const
{
    ServerRow row;
    row.server = m_line.server;
    row.reply = result.query.reply;
    row.errorBound = result.errorBound;
    row.failure = result.failure;
    row.kissCode = result.query.failure.kissCode;
    return row;
}

int ConsoleRun::ExitCode(const Result& result)
{
    if (!result.query.reply) {
        return kExitNotRetrieved;
    }
    return result.set.value_or(true) ? kExitRetrieved : kExitNotSet;
}

std::string ConsoleRun::Escaped(const std::string& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            escaped += c;
            continue;
        }
        escaped += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
    return escaped;
}

void ConsoleRun::AppendLog(const std::string& line)
{
    m_out << Escaped(line) << '\n' << std::flush;
}

// The pane's text ends its lines with CR LF; a terminal wants LF alone.
void ConsoleRun::SetLogText(const std::string& text)
{
    if (!PrintsLog()) {
        return;
    }
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            plain += text[i];
        }
    }
    m_out << plain << std::flush;
}

bool ConsoleRun::AdjustClock(const SntpReply& reply)
{
    if (!m_clockSetter) {
        // From a terminal polkit may ask for a password there; otherwise nobody can be asked.
        m_clockSetter = ClockSetter::ForThisProcess(*this, ::isatty(STDIN_FILENO)
                                                               ? ClockSetter::Prompt::Terminal
                                                               : ClockSetter::Prompt::None);
    }
    const bool adjusted = ClockSetter::SetAndWait(*m_clockSetter, {reply.clockOffset, reply.nts});
    m_adjustFailure = adjusted ? "" : m_clockSetter->FailureReason();
    return adjusted;
}
