#pragma once

#include "app/console/Agreement.h"
#include "app/console/JsonObject.h"
#include "app/console/ServerRow.h"

#include <optional>
#include <string>
#include <vector>

// What --compare prints: a table with one row per server and then the verdict, or with --json
// one object holding the rows and the verdict.
class CompareReport
{
public:
    // The table's heading, its rows and the verdict line, without line ends; names escaped.
    static std::vector<std::string> Lines(const std::vector<ServerRow>& rows,
                                          const Agreement& agreement);
    // set: null when the flag did not ask; error: why the clock was not set, if it was not.
    static std::string Json(const std::vector<ServerRow>& rows, const Agreement& agreement,
                            std::optional<bool> set, const std::string& error);
    // The verdict in words: "3 of 4 servers agree: offset 0.000123 s from SERVER".
    static std::string Verdict(const std::vector<ServerRow>& rows, const Agreement& agreement);
};
