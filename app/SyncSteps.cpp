#include "app/SyncSteps.h"

#include "app/CommandLine.h"
#include "platform/SocketLibrary.h"
#include "sntp/NtpTimestamp.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <locale.h>

namespace
{

// printf formatting in the C locale: the application object switches the process to the
// user's locale, which would otherwise turn "0.5" into "0,5".
std::string FormatC(const char* format, ...)
{
    const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = cLocale ? uselocale(cLocale) : static_cast<locale_t>(nullptr);

    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(static_cast<size_t>(std::max(length, 0)), '\0'); // empty on an encoding error
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);

    if (cLocale) {
        uselocale(previous);
        freelocale(cLocale);
    }
    return text;
}

} // namespace

std::string SyncSteps::LookupLine(const std::string& server)
{
    std::string line = kLookup;
    return line.replace(line.find("%1"), 2, server);
}

std::vector<std::string> SyncSteps::ReportLines(const SntpReply& reply)
{
    const SYSTEMTIME st = reply.destination.ToSystemTime();
    std::vector<std::string> lines{
        kRetrieved,
        kDestinationDate,
        FormatC("         %02d/%02d/%04d, %02d:%02d:%02d.%03d", st.wDay, st.wMonth, st.wYear,
                st.wHour, st.wMinute, st.wSecond, st.wMilliseconds),
        kClockOffset,
        FormatC(kOffsetSeconds, reply.clockOffset),
    };
    if (reply.nts) {
        lines.emplace_back(kAuthenticated);
    }
    return lines;
}

bool SyncSteps::StartSockets(WorkerHost& host)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        host.SetLogText(kSocketsFailed);
        return false;
    }
    if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1) {
        host.SetLogText(kSocketsVersion);
        WSACleanup();
        return false;
    }
    return true;
}

// Queries server; on success keeps the reply and writes the report, else the failure line.
bool SyncSteps::QueryAndReport(WorkerHost& host, const QueryOptions& options,
                               const std::string& server, SntpReply& reply)
{
    const QueryResult result = Query(server, options);
    if (!result.reply) {
        host.AppendLog(kRetrieveFailed);
        return false;
    }
    reply = *result.reply;
    host.StoreReply(reply);
    for (const std::string& line : ReportLines(reply)) {
        host.AppendLog(line);
    }
    return true;
}

SyncSteps::Outcome SyncSteps::Retrieve(WorkerHost& host, const QueryOptions& options)
{
    const std::string server = host.ServerText();
    if (!StartSockets(host)) {
        return Outcome::SocketsFailed;
    }
    SntpReply reply;
    const bool retrieved = QueryAndReport(host, options, server, reply);
    WSACleanup();
    return retrieved ? Outcome::Retrieved : Outcome::QueryFailed;
}

SyncSteps::Outcome SyncSteps::CommandLine(WorkerHost& host, const QueryOptions& options,
                                          const std::string& server, const std::string& flag)
{
    host.AppendLog(LookupLine(server));
    if (!StartSockets(host)) {
        return Outcome::SocketsFailed;
    }
    SntpReply reply;
    Outcome outcome = Outcome::QueryFailed;
    if (QueryAndReport(host, options, server, reply)) {
        outcome = Outcome::Retrieved;
        if (CommandLine::FlagSetsClock(flag)) {
            const bool adjusted = host.AdjustClock(reply);
            if (adjusted) {
                // A measured offset is applied once: the next "Adjust" measures again.
                host.StoreReply(SntpReply{});
            }
            host.AppendLog(AdjustLine(adjusted));
            outcome = adjusted ? Outcome::Adjusted : Outcome::AdjustFailed;
        }
    }
    WSACleanup();
    return outcome;
}
