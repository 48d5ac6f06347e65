#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the program was asked to do by its arguments:
//   horalink [--nts-ca FILE] [SERVER [FLAG]]      the window, querying SERVER at once
//   horalink --console [OPTIONS] SERVER [FLAG]    the same run without a window
//   horalink --console [OPTIONS] --compare [SERVER ...] [FLAG]
//   horalink --help | --version
// One FLAG word at most; it is upper-cased ("N" when absent) and sets the clock when it contains
// a Y. Qt's own single-dash options (-platform NAME, ...) pass through in the window form.
class CommandLine
{
public:
    enum class Mode { Window, Console, Help, Version, Invalid };
    enum class Family { Any, IPv4, IPv6 };

    // The window keeps the server in a buffer of this size, terminator included.
    static constexpr size_t kServerBufferSize = 260;
    static constexpr size_t kMaxServerBytes = kServerBufferSize - 1;
    static constexpr int kMaxSamples = 16;
    static constexpr uint32_t kMinTimeoutMs = 100;
    static constexpr uint32_t kMaxTimeoutMs = 60000;
    static constexpr uint32_t kDefaultTimeoutMs = 5000;
    static constexpr double kDefaultMaxStep = 1000.0;

    // args: the program's arguments without the program name.
    static CommandLine Parse(const std::vector<std::string>& args);
    static std::vector<std::string> Arguments(int argc, char** argv);
    static std::string Usage();
    // Whether a flag asks for the clock to be set: a Y anywhere in it.
    static bool FlagSetsClock(const std::string& flag);

    Mode mode = Mode::Window;
    std::string server; // empty: nothing to query
    std::string flag;   // upper case; empty when there is no server
    std::string error;  // why the arguments are Invalid

    // Console options, and the one the window shares.
    bool json = false;
    int samples = 1;
    uint32_t timeoutMs = kDefaultTimeoutMs;
    Family family = Family::Any;
    std::string ntsCaFile;
    bool ntsBootstrap = false;
    // Seconds: the largest step an unauthenticated answer may make with Y; 0 for no limit.
    double maxStep = kDefaultMaxStep;
    bool disableNtp = false; // with Y, turn automatic time off when it keeps the clock

    // --compare: ask every server of servers (the list's when empty) at once and find those that
    // agree. --check: a monitoring plugin's status line and exit code, with the warning and
    // critical thresholds on the offset in seconds. --openmetrics: the metrics text format.
    bool compare = false;
    std::vector<std::string> servers;
    bool check = false; // kept in an Invalid line too: a plugin's usage error is UNKNOWN
    double warning = 0;
    double critical = 0;
    bool openMetrics = false;

private:
    class Reader;
};
