#include "app/console/OpenMetricsWriter.h"

#include "app/console/JsonObject.h"

#include <charconv>
#include <functional>
#include <optional>

namespace
{

struct Family {
    const char* name;
    const char* unit; // empty: none
    const char* help;
    // The sample of a row, none when it has none.
    std::function<std::optional<double>(const ServerRow&)> value;
};

std::optional<double> Answered(const ServerRow& row, double value)
{
    return row.reply ? std::optional(value) : std::nullopt;
}

std::string Number(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

} // namespace

std::string OpenMetricsWriter::Text(const std::vector<ServerRow>& rows, bool compared)
{
    std::vector<Family> families = {
        {"horalink_up", "", "Whether the server gave a usable answer (1) or not (0).",
         [](const ServerRow& row) { return std::optional(row.reply ? 1.0 : 0.0); }},
        {"horalink_offset_seconds", "seconds",
         "How far the local clock is behind the server (negative: ahead).",
         [](const ServerRow& row) {
             return Answered(row, row.reply ? row.reply->clockOffset : 0);
         }},
        {"horalink_delay_seconds", "seconds", "Round-trip delay of the exchange.",
         [](const ServerRow& row) {
             return Answered(row, row.reply ? row.reply->roundTripDelay : 0);
         }},
        {"horalink_error_bound_seconds", "seconds",
         "Root distance of the answer: the true offset lies within offset +- this.",
         [](const ServerRow& row) { return Answered(row, row.errorBound); }},
        {"horalink_stratum", "", "The server's stratum (1: it has a reference clock).",
         [](const ServerRow& row) { return Answered(row, row.reply ? row.reply->stratum : 0); }},
        {"horalink_authenticated", "",
         "Whether the answer was authenticated with Network Time Security.",
         [](const ServerRow& row) { return Answered(row, row.reply && row.reply->nts ? 1 : 0); }},
    };
    if (compared) {
        families.push_back(
            {"horalink_agreeing", "",
             "Whether the server is in the largest group whose offsets agree.",
             [](const ServerRow& row) { return std::optional(row.agreeing ? 1.0 : 0.0); }});
    }
    std::string text;
    for (const Family& family : families) {
        const std::string name = family.name;
        text += "# TYPE " + name + " gauge\n";
        if (*family.unit != '\0') {
            text += "# UNIT " + name + " " + family.unit + "\n";
        }
        text += "# HELP " + name + " " + family.help + "\n";
        for (const ServerRow& row : rows) {
            if (const std::optional<double> value = family.value(row)) {
                text +=
                    name + "{server=\"" + LabelValue(row.server) + "\"} " + Number(*value) + "\n";
            }
        }
    }
    return text + "# EOF\n";
}

std::string OpenMetricsWriter::LabelValue(const std::string& text)
{
    std::string escaped;
    for (const char c : JsonObject::ValidUtf8(text)) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}
