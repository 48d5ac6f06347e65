// --compare, --check, --openmetrics and the error bound, against scripted servers on loopback
// addresses of the test's own; the outputs are read by independent parsers (Python's json and
// the Prometheus client's OpenMetrics parser, a plugin-output checker written here).
#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "app/SyncSteps.h"
#include "app/console/ConsoleRun.h"
#include "app/console/Intersection.h"
#include "app/console/OpenMetricsWriter.h"
#include "sntp/nts/NtsAuthentication.h"
#include "tests/common/UdpResponder.h"

#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace
{

constexpr double kSecond = 4294967296.0;

// A sound stratum-2 server whose clock is `ahead` seconds ahead (behind when negative), which
// answers after `wait`.
UdpResponder::Script Ahead(double ahead, std::chrono::milliseconds wait = 0ms,
                           UdpResponder::NtpAnswer answer = {.stratum = 2})
{
    return [=](const UdpResponder::Bytes& request) {
        std::this_thread::sleep_for(wait);
        UdpResponder::NtpAnswer sound = answer;
        const uint64_t now =
            UdpResponder::NtpNow() + static_cast<uint64_t>(static_cast<int64_t>(ahead * kSecond));
        sound.receive = now;
        sound.transmit = now;
        return UdpResponder::NtpServer(sound)(request);
    };
}

// Servers on 127.A.B.10, .11, ... (the test's own addresses), all on one port, since the
// console asks every server on the same port.
struct Servers {
    explicit Servers(const std::vector<UdpResponder::Script>& scripts)
    {
        for (size_t i = 0; i < scripts.size(); ++i) {
            const std::string address = RunAddress(10 + static_cast<int>(i));
            list.push_back(std::make_unique<UdpResponder>(scripts[i], address, port));
            port = list.front()->Port();
            names.push_back(address);
            EXPECT_NE(list.back()->Port(), 0) << address;
        }
    }

    std::vector<std::unique_ptr<UdpResponder>> list;
    std::vector<std::string> names;
    uint16_t port = 0;
};

struct Console {
    int Run(std::vector<std::string> args, unsigned port, const std::string& exeDir = {})
    {
        args.insert(args.begin(), "--console");
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(line.mode, CommandLine::Mode::Console) << line.error;
        ConsoleRun run(out, err, clock);
        run.SetPort(port);
        run.SetNtsFactory(&CNtsAuthentication::Create);
        run.SetExeDir(exeDir);
        const auto start = std::chrono::steady_clock::now();
        const int exitCode = run.Run(line);
        took = std::chrono::steady_clock::now() - start;
        return exitCode;
    }

    FakeClock clock;
    std::ostringstream out, err;
    std::chrono::steady_clock::duration took{};
};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Runs a Python program (Debian's interpreter, which has the Prometheus client) on input and
// gives what it prints.
std::string Python(const std::string& program, const std::string& input)
{
    QTemporaryDir dir;
    const std::string script = dir.filePath("p.py").toStdString();
    const std::string data = dir.filePath("in").toStdString();
    std::ofstream(script) << program;
    std::ofstream(data) << input;
    FILE* python = popen(("/usr/bin/python3 " + script + " < " + data + " 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    for (size_t got; python && (got = std::fread(buffer, 1, sizeof buffer, python)) > 0;) {
        output.append(buffer, got);
    }
    if (python) {
        pclose(python);
    }
    return output;
}

// Values from a JSON text, one per line, as Python prints them.
std::vector<std::string> JsonValues(const std::string& json, const std::string& expressions)
{
    const std::string output = Python("import json, sys\nd = json.load(sys.stdin)\n"
                                      "for v in [" +
                                          expressions + "]: print(json.dumps(v))\n",
                                      json);
    std::vector<std::string> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        values.push_back(line);
    }
    return values;
}

// A monitoring plugin's output, read the way a monitoring system reads it:
// "SERVICE STATUS - text|label=value[UOM];[warn];[crit];[min];[max] ...".
struct PluginLine {
    struct Performance {
        double value;
        std::string unit, warning, critical;
    };

    static std::optional<PluginLine> Parse(const std::string& line)
    {
        static const std::regex kLine(
            R"(^(\S+) (OK|WARNING|CRITICAL|UNKNOWN) - ([^|]*)(\|(.*))?$)");
        static const std::regex kDatum(
            R"(^([^=' ]+)=(-?[0-9]+(\.[0-9]+)?)(s|%|B|c)?(;([0-9.]*))?(;([0-9.]*))?(;[0-9.]*)?(;[0-9.]*)?$)");
        std::smatch match;
        if (!std::regex_match(line, match, kLine)) {
            return std::nullopt;
        }
        PluginLine parsed{match[1], match[2], match[3], {}};
        std::istringstream data(match[5].str());
        for (std::string datum; data >> datum;) {
            std::smatch part;
            if (!std::regex_match(datum, part, kDatum)) {
                return std::nullopt;
            }
            parsed.performance[part[1]] = {std::stod(part[2]), part[4], part[6], part[8]};
        }
        return parsed;
    }

    std::string service, status, text;
    std::map<std::string, Performance> performance;
};

std::string Micro(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

} // namespace

// By hand: the largest group of intervals with a common point, the lowest such point on a tie;
// touching intervals share their end.
TEST(Intersection, FindsTheLargestGroupThatSharesAPoint)
{
    using Intervals = std::vector<Intersection::Interval>;
    const std::pair<Intervals, std::vector<size_t>> cases[] = {
        {{}, {}},
        {{{0, 1}}, {0}},
        {{{0, 1}, {2, 3}}, {0}},
        {{{0, 1}, {1, 2}}, {0, 1}},
        {{{0, 2}, {1, 3}, {2.5, 4}}, {0, 1}},
        {{{-5, 5}, {-1, 0}, {0.5, 1}, {0.6, 0.7}}, {0, 2, 3}},
        {{{-0.01, 0.01}, {-0.005, 0.015}, {99.99, 100.01}, {0, 0.02}}, {0, 1, 3}},
        {{{99.99, 100.01}, {-0.01, 0.01}, {-100.01, -99.99}, {0, 0.02}}, {1, 3}},
    };
    for (const auto& [intervals, group] : cases) {
        EXPECT_EQ(Intersection::LargestGroup(intervals), group);
    }
}

// One server of four 100 s off: marked as not agreeing, the offset comes from the other three,
// and with Y only their step reaches the clock.
TEST(Compare, MarksTheServerThatIsOffAndSetsOnlyTheAgreedStep)
{
    Servers servers({Ahead(0), Ahead(0), Ahead(100), Ahead(0)});
    Console json, text;
    EXPECT_EQ(json.Run(With({"--json", "--compare"}, servers.names), servers.port), 0);
    EXPECT_TRUE(json.clock.m_settings.empty());
    EXPECT_EQ(JsonValues(json.out.str(), "[r['agreeing'] for r in d['rows']], "
                                         "d['verdict']['majority'], d['verdict']['agreeing'], "
                                         "d['verdict']['answered'], d['set'], "
                                         "d['verdict']['server'] != '" +
                                             servers.names[2] +
                                             "', abs(d['verdict']['offset']) "
                                             "< 0.01"),
              (std::vector<std::string>{"[true, true, false, true]", "true", "3", "4", "null",
                                        "true", "true"}))
        << json.out.str();

    EXPECT_EQ(text.Run(With({"--compare"}, With(servers.names, {"y"})), servers.port), 0)
        << text.err.str();
    ASSERT_EQ(text.clock.m_settings.size(), 1u);
    EXPECT_NEAR(FromNow(text.clock.m_settings[0]), 0.0, 0.5);
    const std::string out = text.out.str();
    EXPECT_NE(out.find(servers.names[2]), std::string::npos);
    EXPECT_EQ(out.find("not agreeing"), out.rfind("not agreeing")) << out;
    EXPECT_LT(out.find(servers.names[2]), out.find("not agreeing")) << out;
    EXPECT_NE(out.find("\n3 of 4 servers agree: offset "), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with(std::string(SyncSteps::kAdjusted) + "\n")) << out;
}

// Y needs more than half of the servers that answered: two of four off in different directions
// leave two that agree, which is no majority; two of three that answered are one.
TEST(Compare, SetsTheClockOnlyWhenMostOfThoseThatAnsweredAgree)
{
    struct Case {
        std::vector<UdpResponder::Script> scripts;
        int exitCode;
        const char* reason;
    };
    const Case cases[] = {
        {{Ahead(0), Ahead(100), Ahead(-100), Ahead(0)}, 3, "no majority: 2 of 4 servers agree"},
        {{Ahead(0), Ahead(100), {}, Ahead(0)}, 0, ""},
        {std::vector<UdpResponder::Script>(2), 1, "no server answered"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.reason);
        Servers servers(test.scripts);
        Console console;
        EXPECT_EQ(console.Run(With({"--timeout", "0.3", "--compare"}, With(servers.names, {"Y"})),
                              servers.port),
                  test.exitCode);
        EXPECT_EQ(console.clock.m_settings.size(), test.exitCode == 0 ? 1u : 0u);
        EXPECT_NE(console.err.str().find(test.reason), std::string::npos) << console.err.str();
        EXPECT_EQ(console.err.str().empty(), test.exitCode == 0) << console.err.str();
    }
}

// Without servers named, the list beside a portable program is asked: each entry once, comments
// and blank lines left out.
TEST(Compare, AsksTheServerListWhenNoServerIsNamed)
{
    Servers servers({Ahead(0), Ahead(0)});
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath("url"));
    std::ofstream(folder.filePath("url/time.txt").toStdString()) << "# loopback\n"
                                                                 << servers.names[0] << "\n\n"
                                                                 << servers.names[1] << "\n"
                                                                 << servers.names[0] << "\n";
    Console console;
    EXPECT_EQ(console.Run({"--json", "--compare"}, servers.port, folder.path().toStdString()), 0);
    EXPECT_EQ(
        JsonValues(console.out.str(), "[r['server'] for r in d['rows']]"),
        (std::vector<std::string>{"[\"" + servers.names[0] + "\", \"" + servers.names[1] + "\"]"}))
        << console.out.str();
}

// Plain and nts:// servers in one comparison: the authenticated answer is the one the offset
// comes from, though it is no more exact than the plain ones.
TEST(Compare, PrefersTheAuthenticatedMember)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const std::string nts = "nts://127.0.0.1:" + std::to_string(chrony.NtsPort());
    Servers servers({Ahead(0), Ahead(0)});
    Console console;
    EXPECT_EQ(console.Run(With({"--nts-ca", chrony.CertificateFile(), "--json", "--compare"},
                               With(servers.names, {nts})),
                          servers.port),
              0)
        << console.err.str();
    EXPECT_EQ(JsonValues(console.out.str(), "[r['nts'] for r in d['rows']], "
                                            "d['verdict']['server'], d['verdict']['nts']"),
              (std::vector<std::string>{"[false, false, true]", "\"" + nts + "\"", "true"}))
        << console.out.str();
}

// Three servers that each take 300 ms: the whole comparison takes as long as one of them.
TEST(Compare, TakesAsLongAsTheSlowestServer)
{
    Servers servers({Ahead(0, 300ms), Ahead(0, 300ms), Ahead(0, 300ms)});
    Console console;
    EXPECT_EQ(console.Run(With({"--compare"}, servers.names), servers.port), 0)
        << console.err.str();
    EXPECT_GE(console.took, 300ms);
    EXPECT_LT(console.took, 450ms);
}

// The monitoring plugin's exit codes for offsets below, between and above the thresholds and for
// a silent server; its line checked whole, and read by the plugin-output checker.
TEST(Check, ExitsByThresholdsWithItsStatusLineAndPerformanceData)
{
    const std::tuple<UdpResponder::Script, double, int, const char*> cases[] = {
        {Ahead(0), 0, 0, "OK"},
        {Ahead(0.7), 0.7, 1, "WARNING"},
        {Ahead(-2), -2, 2, "CRITICAL"},
        {{}, 0, 3, "UNKNOWN"},
    };
    for (const auto& [script, offset, exitCode, status] : cases) {
        SCOPED_TRACE(status);
        Servers servers({script});
        Console console;
        EXPECT_EQ(
            console.Run({"--check", "-w", "0.5", "-c", "1", "--timeout", "0.3", servers.names[0]},
                        servers.port),
            exitCode);
        const std::string out = console.out.str();
        ASSERT_TRUE(out.ends_with('\n'));
        const std::string line = out.substr(0, out.size() - 1);
        ASSERT_EQ(line.find('\n'), std::string::npos) << out;
        const std::optional<PluginLine> parsed = PluginLine::Parse(line);
        ASSERT_TRUE(parsed) << line;
        EXPECT_EQ(parsed->service, "HORALINK");
        EXPECT_EQ(parsed->status, status);
        if (exitCode == 3) {
            EXPECT_EQ(line, "HORALINK UNKNOWN - no answer within 0.3 s");
            continue;
        }
        const PluginLine::Performance measured = parsed->performance.at("offset");
        const PluginLine::Performance delay = parsed->performance.at("delay");
        EXPECT_NEAR(measured.value, offset, 0.01);
        EXPECT_EQ(line, "HORALINK " + std::string(status) + " - offset " + Micro(measured.value) +
                            " s from " + servers.names[0] + "|offset=" + Micro(measured.value) +
                            "s;0.5;1 delay=" + Micro(delay.value) + "s stratum=2 error_bound=" +
                            Micro(parsed->performance.at("error_bound").value) + "s");
        EXPECT_EQ(std::tuple(measured.unit, measured.warning, measured.critical),
                  std::tuple("s", "0.5", "1"));
        EXPECT_EQ(parsed->performance.at("stratum").value, 2);
        EXPECT_TRUE(console.clock.m_settings.empty());
    }
}

// With --compare the agreed offset is checked and the agreeing servers are counted; no majority
// is critical whatever the offset.
TEST(Check, ComparesAndCountsTheAgreeingServers)
{
    const std::tuple<std::vector<UdpResponder::Script>, const char*, double> cases[] = {
        {{Ahead(0), Ahead(0), Ahead(50)}, "OK", 2},
        {{Ahead(0), Ahead(50)}, "CRITICAL", 1},
    };
    for (const auto& [scripts, status, agreeing] : cases) {
        Servers servers(scripts);
        Console console;
        console.Run(With({"--check", "-w", "0.5", "-c", "1", "--compare"}, servers.names),
                    servers.port);
        const std::string out = console.out.str();
        const std::optional<PluginLine> parsed = PluginLine::Parse(out.substr(0, out.size() - 1));
        ASSERT_TRUE(parsed) << out;
        EXPECT_EQ(parsed->status, status) << out;
        EXPECT_EQ(parsed->performance.at("agreeing").value, agreeing) << out;
        EXPECT_NE(parsed->text.find(std::to_string(int(agreeing)) + " of " +
                                    std::to_string(scripts.size()) + " servers agree"),
                  std::string::npos)
            << out;
    }
}

// Options that cannot go together are usage errors; one that comes with --check says so, so that
// the program answers as a plugin (UNKNOWN) rather than with the console's usage code.
TEST(CommandLine, RefusesOptionsThatDoNotGoTogether)
{
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"--check", "-w", "1", "-c", "2", "s.example", "Y"}, true},
        {{"--check", "-w", "1", "s.example"}, true},
        {{"--check", "-w", "2", "-c", "1", "s.example"}, true},
        {{"--check", "-w", "1", "-c", "x", "s.example"}, true},
        {{"-w", "1", "-c", "2", "s.example"}, false},
        {{"--openmetrics", "s.example", "yes"}, false},
        {{"--json", "--openmetrics", "s.example"}, false},
        {{"--compare", "s.example", "--json"}, false},
        {{"--samples", "2", "--compare", "s.example"}, false},
    };
    for (auto [args, check] : cases) {
        args.insert(args.begin(), "--console");
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(line.mode, CommandLine::Mode::Invalid) << args.back();
        EXPECT_EQ(line.check, check) << line.error;
    }
    const CommandLine compare =
        CommandLine::Parse({"--console", "--nts", "--compare", "a.example", "ntp.", "b", "yes"});
    EXPECT_EQ(compare.servers,
              (std::vector<std::string>{"nts://a.example", "nts://ntp.", "nts://b"}));
    EXPECT_EQ(compare.flag, "YES");
    EXPECT_TRUE(CommandLine::Parse({"--console", "--compare"}).servers.empty());
}

// The metrics text passes the Prometheus client's OpenMetrics parser, for one server and for a
// comparison with a silent server and one that is off; # EOF ends it.
TEST(OpenMetrics, ParsesWithThePrometheusClient)
{
    static const std::string kReader = R"(import sys
from prometheus_client.openmetrics.parser import text_string_to_metric_families
for family in text_string_to_metric_families(sys.stdin.read()):
    for s in family.samples:
        print(family.name, family.type, family.unit or '-', s.labels['server'], float(s.value))
)";
    Servers servers({Ahead(0), Ahead(0), Ahead(100), {}});
    Console single, compared;
    EXPECT_EQ(single.Run({"--openmetrics", servers.names[0]}, servers.port), 0);
    EXPECT_EQ(compared.Run(With({"--openmetrics", "--timeout", "0.3", "--compare"}, servers.names),
                           servers.port),
              0);
    for (Console* console : {&single, &compared}) {
        const std::string text = console->out.str();
        EXPECT_TRUE(text.ends_with("\n# EOF\n")) << text;
        std::map<std::string, std::vector<std::string>> seen; // "family server" -> type unit value
        std::istringstream lines(Python(kReader, text));
        for (std::string family, type, unit, server, value;
             lines >> family >> type >> unit >> server >> value;) {
            seen[family + " " + server] = {type, unit, value};
        }
        const size_t asked = console == &single ? 1 : 4;
        for (size_t i = 0; i < asked; ++i) {
            const std::string& name = servers.names[i];
            const bool answered = i != 3;
            EXPECT_EQ(seen["horalink_up " + name],
                      (std::vector<std::string>{"gauge", "-", answered ? "1.0" : "0.0"}))
                << text;
            EXPECT_EQ(seen.count("horalink_offset_seconds " + name), answered ? 1u : 0u);
            if (!answered) {
                continue;
            }
            EXPECT_EQ(seen["horalink_stratum " + name][2], "2.0");
            EXPECT_EQ(seen["horalink_authenticated " + name][2], "0.0");
            EXPECT_EQ(seen["horalink_error_bound_seconds " + name][1], "seconds");
            EXPECT_NEAR(std::stod(seen["horalink_offset_seconds " + name][2]), i == 2 ? 100 : 0,
                        0.01);
            EXPECT_GT(std::stod(seen["horalink_delay_seconds " + name][2]), 0);
        }
        if (console == &compared) {
            for (size_t i = 0; i < asked; ++i) {
                EXPECT_EQ(seen["horalink_agreeing " + servers.names[i]][2], i < 2 ? "1.0" : "0.0");
            }
        }
        EXPECT_EQ(seen.size(), console == &single ? 6u : 4u * 2 + 3u * 5);
    }
}

// A server name of any bytes makes a label the parser reads back: quotes, backslashes and line
// ends escaped, bytes that are not UTF-8 as U+FFFD.
TEST(OpenMetrics, EscapesTheServerLabel)
{
    ServerRow row;
    row.server = "a\"b\\c\nd\xff";
    const std::string printed = Python(
        "import sys\nfrom prometheus_client.openmetrics.parser import "
        "text_string_to_metric_families\nfor f in text_string_to_metric_families(sys.stdin."
        "read()):\n    for s in f.samples: print(ascii(s.labels['server']), float(s.value))\n",
        OpenMetricsWriter::Text({row}, false));
    EXPECT_EQ(printed, "'a\"b\\\\c\\nd\\ufffd' 0.0\n");
}

// error_bound is RFC 5905's root distance of the answer: for a server that says root delay
// 0.25 s, root dispersion 0.125 s and precision 2^-6 s, (0.25 + delay) / 2 + 0.125 + 2^-6 plus
// the local clock's precision and 15 ppm of the round trip (a few microseconds at most). A loopback
// answer with nothing of its own counts at least half of the 5 ms floor of the delays.
TEST(ErrorBound, IsTheRootDistanceOfTheAnswer)
{
    const std::tuple<uint32_t, uint32_t, int8_t, bool> cases[] = {
        {0x4000, 0x2000, -6, false},
        {0, 0, -20, true},
    };
    for (const auto& [rootDelay, rootDispersion, precision, floor] : cases) {
        Servers servers({Ahead(0, 0ms,
                               {.stratum = 2,
                                .precision = precision,
                                .rootDelay = rootDelay,
                                .rootDispersion = rootDispersion})});
        Console console;
        EXPECT_EQ(console.Run({"--json", servers.names[0]}, servers.port), 0);
        const std::vector<std::string> values =
            JsonValues(console.out.str(), "d['delay'], d['error_bound'], d['root_delay']");
        ASSERT_EQ(values.size(), 3u) << console.out.str();
        const double delay = std::stod(values[0]);
        const double bound = std::stod(values[1]);
        const double delays = floor ? 0.005 : rootDelay / 65536.0 + delay;
        const double expected = delays / 2 + rootDispersion / 65536.0 + std::ldexp(1.0, precision);
        EXPECT_GT(bound, expected) << console.out.str();
        EXPECT_NEAR(bound, expected, 5e-6) << console.out.str();
        EXPECT_EQ(std::stod(values[2]), rootDelay / 65536.0);
    }
}
