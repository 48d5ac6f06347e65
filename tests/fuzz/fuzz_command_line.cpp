// The command line on any words: a valid result never takes an option for the flag, and never
// carries a server longer than its buffer or a console option out of range.
#include "app/CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Words separated by NUL bytes, as the kernel hands them over.
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    const CommandLine line = CommandLine::Parse(args);
    if (line.mode == CommandLine::Mode::Invalid) {
        if (line.error.empty()) {
            std::abort();
        }
        return 0;
    }
    const bool bounded = line.server.size() <= CommandLine::kMaxServerBytes && line.samples >= 1 &&
                         line.samples <= CommandLine::kMaxSamples &&
                         line.timeoutMs >= CommandLine::kMinTimeoutMs &&
                         line.timeoutMs <= CommandLine::kMaxTimeoutMs;
    const bool flagIsNoOption = line.flag.empty() || line.flag[0] != '-';
    if (!bounded || !flagIsNoOption ||
        (line.server.empty() && line.mode == CommandLine::Mode::Console)) {
        std::abort();
    }
    return 0;
}
