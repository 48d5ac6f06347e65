#include "app/console/CompareReport.h"

#include "app/console/ConsoleRun.h"

#include <cstdio>

namespace
{

constexpr const char* kHeadingFormat = "%-24s %-16s %7s %14s %10s %10s %-4s %s";
constexpr const char* kRowFormat = "%-24s %-16s %7u %+14.6f %10.6f %10.6f %-4s %s";

std::string Format(const char* format, auto... values)
{
    const int length = std::snprintf(nullptr, 0, format, values...);
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

std::string Status(const ServerRow& row)
{
    if (!row.reply) {
        return row.failure;
    }
    return row.agreeing ? "agrees" : "not agreeing";
}

} // namespace

std::vector<std::string> CompareReport::Lines(const std::vector<ServerRow>& rows,
                                              const Agreement& agreement)
{
    std::vector<std::string> lines = {Format(kHeadingFormat, "SERVER", "ADDRESS", "STRATUM",
                                             "OFFSET s", "DELAY s", "BOUND s", "NTS", "STATUS")};
    for (const ServerRow& row : rows) {
        const std::string server = ConsoleRun::Escaped(row.server);
        const std::string status = ConsoleRun::Escaped(Status(row));
        if (!row.reply) {
            lines.push_back(Format(kHeadingFormat, server.c_str(), "-", "-", "-", "-", "-", "-",
                                   status.c_str()));
            continue;
        }
        const SntpReply& reply = *row.reply;
        lines.push_back(Format(kRowFormat, server.c_str(), reply.address.c_str(), reply.stratum,
                               reply.clockOffset, reply.roundTripDelay, row.errorBound,
                               reply.nts ? "yes" : "no", status.c_str()));
    }
    lines.push_back(ConsoleRun::Escaped(Verdict(rows, agreement)));
    return lines;
}

std::string CompareReport::Verdict(const std::vector<ServerRow>& rows, const Agreement& agreement)
{
    if (!agreement.Chosen()) {
        return "no server answered";
    }
    const std::string count = std::to_string(agreement.Agreeing()) + " of " +
                              std::to_string(agreement.Answered()) + " servers agree";
    if (!agreement.Majority()) {
        return "no majority: " + count;
    }
    const ServerRow& chosen = rows[*agreement.Chosen()];
    return count + ": offset " + Format("%.6f", chosen.reply->clockOffset) + " s from " +
           chosen.server;
}

std::string CompareReport::Json(const std::vector<ServerRow>& rows, const Agreement& agreement,
                                std::optional<bool> set, const std::string& error)
{
    std::vector<JsonObject> items;
    for (const ServerRow& row : rows) {
        JsonObject item;
        item.Add("server", row.server);
        if (row.reply) {
            const SntpReply& reply = *row.reply;
            item.Add("address", reply.address);
            item.Add("port", reply.port);
            item.Add("stratum", reply.stratum);
            item.Add("root_delay", reply.rootDelay);
            item.Add("root_dispersion", reply.rootDispersion);
            item.Add("delay", reply.roundTripDelay);
            item.Add("offset", reply.clockOffset);
            item.Add("error_bound", row.errorBound);
        }
        item.Add("nts", row.reply && row.reply->nts);
        item.Add("agreeing", row.agreeing);
        if (!row.reply) {
            item.Add("error", row.failure);
        }
        if (!row.kissCode.empty()) {
            item.Add("kiss_code", row.kissCode);
        }
        items.push_back(item);
    }
    JsonObject verdict;
    verdict.Add("answered", static_cast<long long>(agreement.Answered()));
    verdict.Add("agreeing", static_cast<long long>(agreement.Agreeing()));
    verdict.Add("majority", agreement.Majority());
    if (agreement.Chosen()) {
        const ServerRow& chosen = rows[*agreement.Chosen()];
        verdict.Add("server", chosen.server);
        verdict.Add("offset", chosen.reply->clockOffset);
        verdict.Add("error_bound", chosen.errorBound);
        verdict.Add("nts", chosen.reply->nts);
    }
    JsonObject json;
    json.Add("rows", items);
    json.Add("verdict", verdict);
    json.Add("set", set);
    if (!error.empty()) {
        json.Add("error", error);
    }
    return json.Text();
}
