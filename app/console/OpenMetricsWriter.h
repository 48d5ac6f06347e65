#pragma once

#include "app/console/ServerRow.h"

#include <string>
#include <vector>

// The rows in the OpenMetrics text format, as node_exporter's textfile collector reads it: one
// gauge family per measure, a sample per server labelled server="...", closed by "# EOF".
// horalink_up is there for every server; the measures only for those that answered.
class OpenMetricsWriter
{
public:
    // compared: the rows come from --compare, and horalink_agreeing is added.
    static std::string Text(const std::vector<ServerRow>& rows, bool compared);

    // A label value: UTF-8 (other bytes become U+FFFD), with \, " and line feeds escaped.
    static std::string LabelValue(const std::string& text);
};
