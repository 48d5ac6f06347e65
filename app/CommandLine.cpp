#include "app/CommandLine.h"

#include "sntp/NtsQuery.h"

#include <charconv>
#include <cmath>
#include <string_view>

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
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool ParseSeconds(std::string_view text, double& value)
{
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
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
        return Options() && Server() && Flag() && End();
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

    bool Option(const std::string& option)
    {
        if (option == "--nts-ca") {
            return Value(option, m_line.ntsCaFile);
        }
        if (!IsConsole()) {
            return Fail(IsOneOf(option, kConsoleOptions) ? option + " needs --console"
                                                         : "unknown option " + option);
        }
        if (option == "--json" || option == "--nts") {
            (option == "--json" ? m_line.json : m_nts) = true;
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
        return Fail("unknown option " + option);
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
           "  --timeout SECONDS  wait this long for an answer (0.1 to 60, default 5)\n"
           "  -4, -6             use IPv4 or IPv6 addresses only\n"
           "  --nts              query SERVER with Network Time Security (nts://SERVER)\n"
           "  --nts-ca FILE      trust one more certificate authority for NTS (window too)\n"
           "\n"
           "Exit status of --console: 0 the time was retrieved (and, with Y, set);\n"
           "1 nothing was retrieved; 2 usage error; 3 retrieved, but the clock was not set.\n";
}
