#pragma once

#include "app/CommandLine.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The server list's text: one server per line, "#" in the first column for a comment. Trailing
// white space goes, leading blanks stay, a blank line is an (empty) entry. What the program could
// not use safely is mended: a leading UTF-8 byte-order mark is dropped, an entry is cut at its
// first control byte (a NUL would otherwise end the name the engine sees), and an entry longer
// than a server name may be is dropped.
class ServerListText
{
public:
    static constexpr size_t kMaxEntries = 1000;
    static constexpr size_t kMaxEntryBytes = CommandLine::kMaxServerBytes;

    // The entries of content in file order, at most kMaxEntries. cut: content ends inside the
    // file, so its last piece is the start of a line whose end was never read.
    static std::vector<std::string> Parse(std::string_view content, bool cut);

private:
    static std::string EntryOf(std::string_view line);
};
