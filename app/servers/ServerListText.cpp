#include "app/servers/ServerListText.h"

namespace
{

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsTrailingBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string_view TrimEnd(std::string_view text)
{
    while (!text.empty() && IsTrailingBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::vector<std::string> ServerListText::Parse(std::string_view content, bool cut)
{
    if (content.starts_with(kByteOrderMark)) {
        content.remove_prefix(kByteOrderMark.size());
    }
    std::vector<std::string> entries;
    while (!content.empty() && entries.size() < kMaxEntries) {
        const size_t end = content.find('\n');
        // The piece after the last line end is a line only when the whole file was read.
        if (end == std::string_view::npos && cut) {
            break;
        }
        const std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (line.starts_with('#')) {
            continue;
        }
        std::string entry = EntryOf(line);
        if (entry.size() <= kMaxEntryBytes) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::string ServerListText::EntryOf(std::string_view line)
{
    line = TrimEnd(line);
    for (size_t i = 0; i < line.size(); ++i) {
        if (IsControl(line[i])) {
            line = TrimEnd(line.substr(0, i));
            break;
        }
    }
    return std::string(line);
}
