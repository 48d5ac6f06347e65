#include "app/CommandLine.h"

CommandLine CommandLine::Parse(const std::vector<std::string>& args)
{
    if (args.empty()) {
        return {};
    }
    const std::string& first = args.front();
    if (first == "--help" || first == "-h") {
        return {Mode::Help, {}, {}, {}};
    }
    if (first == "--version") {
        return {Mode::Version, {}, {}, {}};
    }
    if (first == "--console") {
        if (args.size() < 2 || args[1].empty()) {
            return Invalid("--console needs a server name");
        }
        return ServerRun(Mode::Console, args, 1);
    }
    if (first.starts_with("--")) {
        return Invalid("unknown option " + first);
    }
    return ServerRun(Mode::Window, args, 0);
}

// The server is args[first]; everything after it, joined by blanks and upper-cased, is the flag.
CommandLine CommandLine::ServerRun(Mode mode, const std::vector<std::string>& args, size_t first)
{
    CommandLine line;
    line.mode = mode;
    line.server = args[first];
    if (line.server.size() > kMaxServerBytes) {
        return Invalid("server name longer than " + std::to_string(kMaxServerBytes) + " bytes");
    }
    for (size_t i = first + 1; i < args.size(); ++i) {
        line.flag += (i > first + 1 ? " " : "") + args[i];
    }
    // ASCII only: the result must not depend on the locale the process happens to run in.
    for (char& c : line.flag) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (line.flag.empty()) {
        line.flag = "N";
    }
    return line;
}

CommandLine CommandLine::Invalid(std::string error)
{
    return {Mode::Invalid, {}, {}, std::move(error)};
}

std::vector<std::string> CommandLine::Arguments(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    return args;
}

std::string CommandLine::Usage()
{
    return "Usage: horalink [SERVER [FLAG]]\n"
           "       horalink --console SERVER [FLAG]\n"
           "       horalink --help | --version\n"
           "\n"
           "Asks the SNTP server SERVER (UDP port 123) for the time and shows how far this\n"
           "computer's clock is off. A FLAG containing Y (any case) also sets the clock.\n"
           "--console runs without a window, prints the report and exits with 0 when the time\n"
           "was retrieved (and, with Y, set), 1 otherwise.\n";
}
