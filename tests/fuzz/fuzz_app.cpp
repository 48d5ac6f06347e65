// libFuzzer target for the application's parsers of outside text; the first byte chooses one.
// The server list: every entry it keeps is one a server name may be. The command line: a valid
// result never takes an option for the flag, nor carries a server longer than its buffer or a
// console option out of range, nor lets --check set the clock.
#include "app/CommandLine.h"
#include "app/servers/ServerListText.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

static void ServerList(std::string_view content, bool cut)
{
    const auto entries = ServerListText::Parse(content, cut);
    Check(entries.size() <= ServerListText::kMaxEntries);
    for (const std::string& entry : entries) {
        Check(entry.size() <= ServerListText::kMaxEntryBytes && !entry.starts_with('#'));
        Check(std::ranges::none_of(entry, [](unsigned char c) { return c < 0x20 || c == 0x7F; }));
    }
}

static void Arguments(std::string_view words)
{
    // Words separated by NUL bytes, as the kernel hands them over.
    std::vector<std::string> args(1);
    for (const char c : words) {
        c == '\0' ? static_cast<void>(args.emplace_back()) : args.back().push_back(c);
    }
    const CommandLine line = CommandLine::Parse(args);
    if (line.mode == CommandLine::Mode::Invalid) {
        Check(!line.error.empty());
        return;
    }
    Check(line.server.size() <= CommandLine::kMaxServerBytes && line.samples >= 1 &&
          line.samples <= CommandLine::kMaxSamples &&
          line.timeoutMs >= CommandLine::kMinTimeoutMs &&
          line.timeoutMs <= CommandLine::kMaxTimeoutMs);
    Check(line.flag.empty() || line.flag[0] != '-');
    Check(!line.server.empty() || line.compare || line.mode != CommandLine::Mode::Console);
    // --compare: servers that could be names, never an option; a plugin's thresholds in order.
    for (const std::string& server : line.servers) {
        Check(!server.empty() && server.size() <= CommandLine::kMaxServerBytes &&
              !server.starts_with('-'));
    }
    Check(!line.check || (line.warning >= 0 && line.warning <= line.critical));
    Check(!(line.check && CommandLine::FlagSetsClock(line.flag)));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 2) {
        Arguments(rest);
    } else {
        ServerList(rest, data[0] & 1);
    }
    return 0;
}
