#include "app/CommandLine.h"

#include "sntp/ServerName.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

namespace
{

// Qt's own command-line options that take a value; QApplication removes them later.
constexpr std::string_view kQtValueOptions[] = {
    "-platform",
    "-platformpluginpath",
    "-platformtheme",
    "-plugin",
    "-display",
    "-geometry",
    "-qwindowgeometry",
    "-title",
    "-qwindowtitle",
    "-qwindowicon",
    "-name",
    "-style",
    "-stylesheet",
    "-session",
    "-qmljsdebugger",
};
constexpr std::string_view kQtSwitches[] = {"-reverse", "-widgetcount", "-nograb", "-dograb",
                                            "-sync"};
// The options only the console form takes: in the window form each is a mistake worth naming.
constexpr std::string_view kConsoleOptions[] = {"--json", "--nts",     "-4",
                                                "-6",     "--samples", "--timeout"};

template <size_t N> bool IsOneOf(std::string_view word, const std::string_view (&list)[N])
{
    for (const std::string_view item : list) {
        if (word == item) {
            return true;
        }
    }
    return false;
}

bool ParseWhole(std::string_view text, int& value)
{
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    return error == std::errc() && end == last;
}

bool ParseSeconds(std::string_view text, double& value)
{
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, std::chars_format::fixed);
    return error == std::errc() && end == last && std::isfinite(value);
}

std::string UpperAscii(std::string text)
{
    // ASCII only: the result must not depend on the locale the process happens to run in.
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

// Walks the arguments once; every method returns false with line.error set on a usage error.
class CommandLine::Reader
{
public:
    Reader(const std::vector<std::string>& args, CommandLine& line) : m_args(args), m_line(line) {}

    bool Read()
    {
        if (!m_args.empty() && m_args.front() == "--console") {
            m_line.mode = Mode::Console;
            ++m_next;
        }
        if (!Options()) {
            return false;
        }
        const bool words = m_line.compare ? Servers() : Server() && Flag();
        return words && End() && Consistent();
    }

private:
    bool IsConsole() const { return m_line.mode == Mode::Console; }
    bool AtEnd() const { return m_next >= m_args.size(); }

    bool Fail(std::string reason)
    {
        m_line.error = std::move(reason);
        return false;
    }

    // Qt's options are passed over in the window form, wherever they stand.
    void SkipQtOptions()
    {
        while (!IsConsole() && !AtEnd()) {
            const std::string& word = m_args[m_next];
            if (IsOneOf(word, kQtValueOptions)) {
                m_next += 2;
            } else if (IsOneOf(word, kQtSwitches)) {
                ++m_next;
            } else {
                return;
            }
        }
    }

    bool Value(const std::string& option, std::string& value)
    {
        if (m_next + 1 >= m_args.size()) {
            return Fail(option + " needs a value");
        }
        value = m_args[m_next + 1];
        m_next += 2;
        return true;
    }

    bool Options()
    {
        for (SkipQtOptions(); !AtEnd() && m_args[m_next].size() > 1 && m_args[m_next][0] == '-';
             SkipQtOptions()) {
            const std::string option = m_args[m_next];
            if (option == "--") {
                ++m_next;
                return true;
            }
            if (!Option(option)) {
                return false;
            }
        }
        return true;
    }

    // The console's options that take no value, or nullptr.
    bool* BooleanOption(const std::string& option)
    {
        const std::pair<const char*, bool*> flags[] = {
            {"--json", &m_line.json},
            {"--nts", &m_nts},
            {"--nts-bootstrap", &m_line.ntsBootstrap},
            {"--disable-ntp", &m_line.disableNtp},
            {"--compare", &m_line.compare},
            {"--check", &m_line.check},
            {"--openmetrics", &m_line.openMetrics},
        };
        for (const auto& [name, setting] : flags) {
            if (option == name) {
                return setting;
            }
        }
        return nullptr;
    }

    bool Option(const std::string& option)
    {
        if (option == "--nts-ca") {
            // From the folder the program was started in: the window changes its own later.
            if (!Value(option, m_line.ntsCaFile)) {
                return false;
            }
            if (std::filesystem::path(m_line.ntsCaFile).is_relative()) { // "" stays: no path
                std::error_code failed;
                const auto absolute = std::filesystem::absolute(m_line.ntsCaFile, failed);
                m_line.ntsCaFile = failed ? m_line.ntsCaFile : absolute.string();
            }
            return true;
        }
        if (!IsConsole()) {
            return Fail(IsOneOf(option, kConsoleOptions) ? option + " needs --console"
                                                         : "unknown option " + option);
        }
        if (bool* setting = BooleanOption(option)) {
            *setting = true;
            ++m_next;
            return true;
        }
        if (option == "-4" || option == "-6") {
            const Family only = option == "-4" ? Family::IPv4 : Family::IPv6;
            if (m_line.family != Family::Any && m_line.family != only) {
                return Fail("-4 and -6 exclude each other");
            }
            m_line.family = only;
            ++m_next;
            return true;
        }
        std::string value;
        if (option == "--samples") {
            return Value(option, value) && Samples(value);
        }
        if (option == "--timeout") {
            return Value(option, value) && Timeout(value);
        }
        if (option == "--max-step") {
            return Value(option, value) && MaxStep(value);
        }
        if (option == "-w" || option == "-c") {
            const bool isWarning = option == "-w";
            (isWarning ? m_warning : m_critical) = true;
            return Value(option, value) &&
                   Threshold(option, value, isWarning ? m_line.warning : m_line.critical);
        }
        return Fail("unknown option " + option);
    }

    bool Threshold(const std::string& option, const std::string& value, double& seconds)
    {
        if (!ParseSeconds(value, seconds) || seconds < 0) {
            return Fail(option + " takes seconds, 0 or more");
        }
        return true;
    }

    // The options that only make sense together, and the output formats, one at a time.
    bool Consistent()
    {
        if ((m_warning || m_critical) && !m_line.check) {
            return Fail("-w and -c go with --check");
        }
        if (m_line.check && !(m_warning && m_critical)) {
            return Fail("--check needs -w SECONDS and -c SECONDS");
        }
        if (m_line.check && m_line.warning > m_line.critical) {
            return Fail("-w must not exceed -c");
        }
        if (m_line.compare && m_line.samples != 1) {
            return Fail("--samples does not go with --compare (one exchange a server)");
        }
        if (int{m_line.json} + int{m_line.check} + int{m_line.openMetrics} > 1) {
            return Fail("--json, --check and --openmetrics exclude each other");
        }
        if ((m_line.check || m_line.openMetrics) && FlagSetsClock(m_line.flag)) {
            return Fail(std::string(m_line.check ? "--check" : "--openmetrics") +
                        " never sets the clock");
        }
        return true;
    }

    // Under --compare every word is a server but a last one of one to three letters (Y, n, yes),
    // which is the flag; a server named that short is written with a final dot (ntp.).
    bool Servers()
    {
        m_line.flag.assign(1, 'N');
        size_t end = m_args.size();
        if (end > m_next && IsFlagWord(m_args[end - 1])) {
            m_line.flag = UpperAscii(m_args[--end]);
        }
        for (; m_next < end; ++m_next) {
            std::string name = m_args[m_next];
            if (name.empty() || name.starts_with('-')) {
                return Fail(name.empty() ? "an empty server name"
                                         : "options go before the servers: " + name);
            }
            if (m_nts && !IsNtsServer(name)) {
                name = std::string(kNtsScheme) + name;
            }
            if (name.size() > kMaxServerBytes) {
                return Fail("server name longer than " + std::to_string(kMaxServerBytes) +
                            " bytes");
            }
            m_line.servers.push_back(std::move(name));
        }
        m_next = m_args.size();
        return true;
    }

    static bool IsFlagWord(const std::string& word)
    {
        if (word.empty() || word.size() > 3) {
            return false;
        }
        for (const char c : word) {
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
                return false;
            }
        }
        return true;
    }

    bool Samples(const std::string& value)
    {
        if (!ParseWhole(value, m_line.samples) || m_line.samples < 1 ||
            m_line.samples > kMaxSamples) {
            return Fail("--samples takes a whole number from 1 to " + std::to_string(kMaxSamples));
        }
        return true;
    }

    bool Timeout(const std::string& value)
    {
        double seconds = 0;
        const double ms = ParseSeconds(value, seconds) ? std::round(seconds * 1000) : -1;
        if (ms < kMinTimeoutMs || ms > kMaxTimeoutMs) {
            return Fail("--timeout takes seconds from 0.1 to 60");
        }
        m_line.timeoutMs = static_cast<uint32_t>(ms);
        return true;
    }

    bool MaxStep(const std::string& value)
    {
        if (!ParseSeconds(value, m_line.maxStep) || m_line.maxStep < 0) {
            return Fail("--max-step takes seconds, 0 or more (0: no limit)");
        }
        return true;
    }

    bool Server()
    {
        if (AtEnd()) {
            return !IsConsole() || Fail("--console needs a server name");
        }
        std::string name = m_args[m_next++];
        if (IsConsole() && name.empty()) {
            return Fail("--console needs a server name");
        }
        if (m_nts && !IsNtsServer(name)) {
            name = std::string(kNtsScheme) + name;
        }
        if (name.size() > kMaxServerBytes) {
            return Fail("server name longer than " + std::to_string(kMaxServerBytes) + " bytes");
        }
        m_line.server = std::move(name);
        m_line.flag.assign(1, 'N');
        return true;
    }

    bool Flag()
    {
        SkipQtOptions();
        if (AtEnd()) {
            return true;
        }
        const std::string& word = m_args[m_next++];
        if (word.starts_with('-')) {
            return Fail("options go before the server: " + word);
        }
        if (!word.empty()) {
            m_line.flag = UpperAscii(word);
        }
        return true;
    }

    bool End()
    {
        SkipQtOptions();
        return AtEnd() || Fail("one flag word at most after the server: " + m_args[m_next]);
    }

    const std::vector<std::string>& m_args;
    CommandLine& m_line;
    size_t m_next = 0;
    bool m_nts = false;
    bool m_warning = false;
    bool m_critical = false;
};

CommandLine CommandLine::Parse(const std::vector<std::string>& args)
{
    CommandLine line;
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        line.mode = Mode::Help;
        return line;
    }
    if (!args.empty() && args.front() == "--version") {
        line.mode = Mode::Version;
        return line;
    }
    if (!Reader(args, line).Read()) {
        CommandLine invalid;
        invalid.mode = Mode::Invalid;
        invalid.error = std::move(line.error);
        invalid.check = std::find(args.begin(), args.end(), "--check") != args.end();
        return invalid;
    }
    return line;
}

bool CommandLine::FlagSetsClock(const std::string& flag)
{
    return flag.find('Y') != std::string::npos;
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
    return "Usage: horalink [--nts-ca FILE] [SERVER [FLAG]]\n"
           "       horalink --console [OPTIONS] SERVER [FLAG]\n"
           "       horalink --console [OPTIONS] --compare [SERVER ...] [FLAG]\n"
           "       horalink --help | --version\n"
           "\n"
           "Asks the time server SERVER (SNTP, UDP port 123) for the time and shows how far this\n"
           "computer's clock is off. SERVER is a host name, an IPv4 address, an IPv6 address\n"
           "with or without brackets, or nts://HOST[:PORT] for Network Time Security.\n"
           "A FLAG containing Y (any case) also sets the clock. One FLAG word at most.\n"
           "\n"
           "Console options:\n"
           "  --json             print one JSON object instead of the report\n"
           "  --samples N        N exchanges 1 s apart (1 to 16); the lowest delay counts\n"
           "  --timeout SECONDS  the whole exchange, lookup included (0.1 to 60, default 5)\n"
           "  -4, -6             use IPv4 or IPv6 addresses only\n"
           "  --nts              query SERVER with Network Time Security (nts://SERVER)\n"
           "  --nts-ca FILE      trust one more certificate authority for NTS (window too)\n"
           "  --nts-bootstrap    judge NTS certificate dates by the server's authenticated\n"
           "                     time, not by this computer's clock\n"
           "  --max-step SECONDS with Y, set the clock from an answer that is not authenticated\n"
           "                     only if it moves the clock by at most this much (default\n"
           "                     1000; 0: no limit); an NTS answer has no limit\n"
           "  --disable-ntp      with Y, turn automatic time synchronisation off first when it\n"
           "                     keeps the clock (timedatectl set-ntp true turns it on again)\n"
           "  --compare          ask every SERVER (or the server list's) at once; one row each,\n"
           "                     then the largest group whose offsets agree within their error\n"
           "                     bounds. With Y the clock is set only when more than half of the\n"
           "                     servers that answered agree, by the group's offset. A last\n"
           "                     word of one to three letters is the FLAG (write ntp. for ntp)\n"
           "  --check -w SECONDS -c SECONDS\n"
           "                     a monitoring plugin: one status line with performance data,\n"
           "                     exit 0 OK, 1 WARNING, 2 CRITICAL (offset beyond -w or -c),\n"
           "                     3 UNKNOWN (nothing retrieved, bad usage); never sets the clock\n"
           "  --openmetrics      OpenMetrics text for a node_exporter textfile collector\n"
           "\n"
           "  horalink --console --json --samples 4 pool.ntp.org\n"
           "  horalink --console --compare pool.ntp.org time.nist.gov nts://time.cloudflare.com\n"
           "  horalink --console --check -w 0.5 -c 1 pool.ntp.org\n"
           "  horalink --console --openmetrics --compare > horalink.prom.tmp &&\n"
           "      mv horalink.prom.tmp horalink.prom\n"
           "\n"
           "Exit status of --console: 0 the time was retrieved (and, with Y, set);\n"
           "1 nothing was retrieved; 2 usage error; 3 retrieved, but the clock was not set\n"
           "(with --compare also: no majority agreed). --openmetrics exits 0 once the metrics\n"
           "are written, whatever the servers said (horalink_up tells).\n";
}
