#pragma once

#include "sntp/SntpReply.h"

#include <optional>
#include <string>

// What one server gave: its answer and that answer's error bound, or why there is none.
struct ServerRow {
    std::string server;             // as the user or the list wrote it
    std::optional<SntpReply> reply; // the answer that counts
    double errorBound = 0.0;        // seconds, of the reply
    std::string failure;            // why there is no reply
    std::string kissCode;           // the kiss-o'-death code that ended the query, if one did
    bool agreeing = false;          // in the group of servers that agree (--compare)
};
