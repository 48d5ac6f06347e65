// The console mode against scripted servers on loopback addresses of the test's own: its report,
// exit codes and reasons, that a bad answer never sets the clock; --compare, --check,
// --openmetrics and the error bound. Outputs are read by independent parsers: Python's strict
// json, the Prometheus client's OpenMetrics parser, a whole-line pattern for the plugin.
#include "AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/console/Agreement.h"
#include "app/console/ConsoleRun.h"
#include "app/console/Intersection.h"
#include "app/console/JsonObject.h"
#include "app/console/OpenMetricsWriter.h"
#include "app/console/PluginOutput.h"
#include "sntp/nts/NtsAuthentication.h"
#include "tests/common/ChronyServer.h"
#include "tests/common/UdpResponder.h"

#include <QProcess>

#include <chrono>
#include <cmath>
#include <memory>
#include <regex>
#include <sstream>

using namespace std::chrono_literals;
using Script = UdpResponder::Script;

// A sound server whose clock is `ahead` seconds ahead, which spends `busy` seconds between
// receiving and sending (in NTP's units, 2^32 to the second).
static Script Server(double ahead, double busy = 0, UdpResponder::NtpAnswer answer = {.stratum = 2})
{
    return [=](const UdpResponder::Bytes& request) mutable {
        answer.receive = UdpResponder::NtpNow() + static_cast<uint64_t>(ahead * 0x1p32);
        answer.transmit = *answer.receive + static_cast<uint64_t>(busy * 0x1p32);
        return UdpResponder::NtpServer(answer)(request);
    };
}

// Answers with each of the scripts in turn.
static Script Cycle(const std::vector<Script>& scripts)
{
    return [scripts, exchange = std::make_shared<size_t>(0)](const UdpResponder::Bytes& request) {
        return scripts[(*exchange)++ % scripts.size()](request);
    };
}

static std::vector<std::string> Split(const std::string& text)
{
    const std::regex lineEnd("\n");
    return {std::sregex_token_iterator(text.begin(), text.end(), lineEnd, -1), {}};
}

// The console, with servers of its own on 127.A.B.10, .11, ... (the test's own addresses), all on
// one port, since it asks every server on the same port. An argument @ stands for their names;
// port, where given, replaces theirs.
struct Console {
    explicit Console(const std::vector<Script>& scripts = {}, bool clockSets = true)
        : clock(clockSets)
    {
        for (size_t i = 0; i < scripts.size(); ++i) {
            names.push_back(RunAddress(10 + static_cast<int>(i)));
            servers.push_back(std::make_unique<UdpResponder>(scripts[i], names.back(), port));
            port = servers.front()->Port();
        }
    }
    int Run(std::vector<std::string> args, unsigned givenPort = 0, const std::string& exeDir = {})
    {
        args.insert(args.begin(), "--console");
        if (const auto at = std::ranges::find(args, "@"); at != args.end()) {
            args.insert(args.erase(at), names.begin(), names.end());
        }
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(line.mode, CommandLine::Mode::Console) << line.error;
        ConsoleRun run(out, err, clock);
        run.SetPort(givenPort ? givenPort : port);
        run.SetNtsFactory(&CNtsAuthentication::Create);
        run.SetSampleGap(1ms);
        run.SetExeDir(exeDir);
        const auto start = std::chrono::steady_clock::now();
        const int exitCode = run.Run(line);
        took = std::chrono::steady_clock::now() - start;
        return exitCode;
    }

    std::vector<std::unique_ptr<UdpResponder>> servers;
    std::vector<std::string> names;
    uint16_t port = 0;
    FakeClock clock;
    std::ostringstream out, err;
    std::chrono::steady_clock::duration took{};
};

// What a Python program (Debian's interpreter, which has the Prometheus client) prints for input.
static std::string Python(const std::string& program, const std::string& input)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start("/usr/bin/python3", {"-c", QString::fromStdString(program)});
    python.write(input.data(), static_cast<qint64>(input.size()));
    python.closeWriteChannel();
    python.waitForFinished();
    return python.readAll().toStdString();
}

// Python expressions over d, the JSON text read strictly (UTF-8, no raw control bytes, no NaN),
// each printed as JSON; a text that does not parse prints a traceback instead.
static std::vector<std::string> Json(const std::string& text, const std::string& expressions)
{
    return Split(Python("import json, sys\ndef no(c): raise ValueError(c)\n"
                        "d = json.loads(sys.stdin.buffer.read().decode(), parse_constant=no)\n"
                        "for v in [" +
                            expressions + "]: print(json.dumps(v))\n",
                        text));
}

// Exit 0 retrieved (and set with Y), 1 nothing retrieved, 3 retrieved but not set; a reason on
// the error stream for each failure. A rejected answer never reaches the clock; a sound one
// 10 s ahead asks it for now + 10 s. An unauthenticated step past the limit is not set unless
// --max-step lifts (0) or widens the limit (an NTS answer years ahead is set without a limit:
// NtsBootstrap.RetrievesAuthenticatedTimeWithAClockIn2001AndSetsIt). Of four samples, the one
// with the lowest delay is used.
TEST(Console, ExitCodesReasonsAndTheClock)
{
    const struct {
        Script script;
        std::vector<std::string> args;
        bool clockSets;
        int exitCode;
        double set; // the step recorded, NaN for none
        const char* reason;
    } cases[] = {
        // clang-format off
        {Server(10), {"@", "y"}, true, 0, 10, ""},
        {Server(10), {"@", "y"}, false, 3, 10, "horalink: "},
        {UdpResponder::NtpServer({.stratum = 0, .referenceId = 0x52415445}), {"@", "y"}, true, 1, NAN, "RATE"},
        {UdpResponder::NtpServer({.originate = 1}), {"@", "y"}, true, 1, NAN, "originate"},
        {Server(k2090), {"@", "y"}, true, 3, NAN, "would move the clock by 2019686400 s, more than the limit of 1000 s"},
        {Server(k2090), {"--max-step", "0", "@", "y"}, true, 0, k2090, ""},
        {Server(5000), {"--max-step", "5000.5", "@", "y"}, true, 0, 5000, ""},
        // Four exchanges with clocks 1 to 4 s ahead; the second one's server says it was the
        // busiest: that exchange has the lowest delay and an offset of 2.1 s.
        {Cycle({Server(1, 0.01), Server(2, 0.2), Server(3, 0.05), Server(4, 0.1)}), {"--samples", "4", "@", "y"}, true, 0, 2.1, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Console console({c.script}, c.clockSets);
        EXPECT_EQ(console.Run(c.args), c.exitCode);
        const auto lines = Split(console.out.str());
        ASSERT_EQ(lines.size(), c.exitCode == 1 ? 2u : 7u);
        EXPECT_EQ(lines.back(), c.exitCode == 1 ? SyncSteps::kRetrieveFailed
                                                : SyncSteps::AdjustLine(c.exitCode == 0));
        ASSERT_EQ(console.clock.m_settings.size(), std::isnan(c.set) ? 0u : 1u);
        if (!std::isnan(c.set)) {
            EXPECT_NEAR(FromNow(console.clock.m_settings[0]), c.set, 0.5);
        }
        EXPECT_NE(console.err.str().find(c.reason), std::string::npos) << console.err.str();
        EXPECT_EQ(console.err.str().empty(), c.exitCode == 0);
    }
}

// --json prints one object that parses for a success (all 19 members), a time-out and a rejected
// answer, and every string a user or a server chose (the name, a stratum 1 source, a kiss code
// and the error that quotes it) reads back whole: backslashes, quotes and control bytes, each
// byte that is not UTF-8 (a lead or a continuation byte alone) as U+FFFD (each edge:
// JsonObject.KeepsWellFormedUtf8AndReplacesEveryOtherByte). The name still reaches 127.0.0.1:
// the address ends at the blank. Without --json its control bytes are shown escaped, never sent
// raw to the terminal; --timeout 1 gives up after about a second. error_bound is RFC 5905's root
// distance of the answer: for a server that says root delay 0.25 s, root dispersion 0.125 s and
// precision 2^-6 s, (0.25 + delay) / 2 + 0.125 + 2^-6 plus the local clock's precision and 15 ppm
// of the round trip (a few microseconds at most); a loopback answer with nothing of its own
// counts at least half of the 5 ms floor of the delays.
TEST(Console, JsonAndTextKeepWhatUsersAndServersChose)
{
    const std::string name = "127.0.0.1 \x1b]0;owned\x07\\\"\x01\x1f\x7f\xff\x80";
    const std::string read =
        R"(d['server'] == '127.0.0.1 \x1b]0;owned\x07\\"\x01\x1f\x7f\ufffd\ufffd')";
    UdpResponder server;
    Console text;
    EXPECT_EQ(text.Run({"--timeout", "0.1", name}, server.Port()), 1);
    EXPECT_EQ(Split(text.out.str())[0],
              "Looking up   --- 127.0.0.1 \\x1b]0;owned\\x07\\\"\\x01\\x1f\\x7f\xff\x80 ---");

    const uint32_t letters = 0x5C225C41; // \"\A
    // clang-format off
    const std::tuple<Script, int, std::string, std::string> cases[] = {
        {Server(0), 0, "len(d), 'error' in d, d['set']", "[19, false, null]"},
        {{}, 1, "'offset' in d, d['error'], d['set']", "[false, \"no answer within 1 s\", null]"},
        {UdpResponder::NtpServer({.stratum = 1, .referenceId = letters}), 0,
         read + R"(, d['address'], d['reference_id'] == r'\"\A')", "[true, \"127.0.0.1\", true]"},
        {UdpResponder::NtpServer({.stratum = 0, .referenceId = letters}), 1,
         read + R"(, d['kiss_code'] == r'\"\A', d['error'] == r"kiss-o'-death \"\A")",
         "[true, true, true]"},
        {Server(0, 0, {.stratum = 2, .precision = -6, .rootDelay = 0x4000, .rootDispersion = 0x2000}),
         0, "0 < d['error_bound'] - ((0.25 + d['delay']) / 2 + 0.125 + 2**-6) < 5e-6, d['root_delay']",
         "[true, 0.25]"},
        {Server(0, 0, {.stratum = 2, .precision = -20}), 0,
         "0 < d['error_bound'] - (0.005 / 2 + 2**-20) < 5e-6", "[true]"},
        // clang-format on
    };
    for (const auto& [script, exitCode, expressions, values] : cases) {
        server.SetScript(script);
        Console json;
        EXPECT_EQ(json.Run({"--json", "--timeout", "1", name}, server.Port()), exitCode);
        EXPECT_EQ(Json(json.out.str(), "[" + expressions + "]"), std::vector{values})
            << json.out.str();
        EXPECT_TRUE(script || (json.took > 900ms && json.took < 3000ms));
    }
}

// By hand: the largest group of intervals with a common point, the lowest such point on a tie;
// touching intervals share their end.
TEST(Intersection, FindsTheLargestGroupThatSharesAPoint)
{
    // clang-format off
    const std::pair<std::vector<Intersection::Interval>, std::vector<size_t>> cases[] = {
        {{{0, 1}, {2, 3}}, {0}}, {{{0, 1}, {1, 2}}, {0, 1}}, {{{0, 2}, {1, 3}, {2.5, 4}}, {0, 1}},
        {{{-5, 5}, {-1, 0}, {0.5, 1}, {0.6, 0.7}}, {0, 2, 3}},
        {{{-0.01, 0.01}, {-0.005, 0.015}, {99.99, 100.01}, {0, 0.02}}, {0, 1, 3}},
        {{{99.99, 100.01}, {-0.01, 0.01}, {-100.01, -99.99}, {0, 0.02}}, {1, 3}}};
    // clang-format on
    for (const auto& [intervals, group] : cases) {
        EXPECT_EQ(Intersection::LargestGroup(intervals), group);
    }
}

// The offset comes from an authenticated member before any plain one, then from the smaller
// error bound, and between equals from the server listed first.
TEST(Agreement, ChoosesTheAuthenticatedThenTheTighterThenTheFirst)
{
    const auto row = [](double bound, bool nts) {
        ServerRow answered;
        answered.reply.emplace().nts = nts;
        answered.errorBound = bound;
        return answered;
    };
    using Rows = std::vector<ServerRow>;
    for (auto [rows, chosen] : {std::pair(Rows{row(1, false), row(1, false)}, size_t{0}),
                                {Rows{row(1, false), row(0.5, false)}, 1},
                                {Rows{row(0.1, false), row(1, true)}, 1}}) {
        EXPECT_EQ(Agreement::Of(rows).Chosen(), chosen);
    }
}

// Well-formed UTF-8 stays, at both ends of each length and around the surrogates; each byte of a
// sequence that is not well-formed becomes U+FFFD: an overlong form, a surrogate, a value past
// U+10FFFF, a byte that starts no sequence, one cut short or broken off.
TEST(JsonObject, KeepsWellFormedUtf8AndReplacesEveryOtherByte)
{
    const std::string kept = "a\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf"
                             "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
    const std::string r = "\xef\xbf\xbd"; // U+FFFD
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {kept, kept}, {"\xc1\xbf", r + r}, {"\xe0\x9f\xbf", r + r + r},
        {"\xed\xa0\x80", r + r + r}, {"\xed\xbf\xbf", r + r + r},
        {"\xf0\x8f\xbf\xbf", r + r + r + r}, {"\xf4\x90\x80\x80", r + r + r + r},
        {"\xf5\x80", r + r}, {"\xe2\x82", r + r}, {"\xe2\x28\xa1", r + "(" + r}};
    // clang-format on
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(JsonObject::ValidUtf8(text), valid) << testing::PrintToString(text);
    }
}

// Without servers named, the list beside a portable program is asked: each entry once, comments
// and blank lines left out. One server of four 100 s off is marked as not agreeing; plain and
// nts:// servers agree, and the authenticated answer is the one the offset comes from, though
// it is no more exact than the plain ones. An answered row tells all it knows.
TEST(Compare, AsksTheListMarksTheServerThatIsOffAndPrefersTheAuthenticatedMember)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const std::string nts = "nts://127.0.0.1:" + std::to_string(chrony.NtsPort());
    Console console({Server(0), Server(0), Server(100)});
    const auto& n = console.names;
    QTemporaryDir folder;
    WriteFile(folder.filePath("url/time.txt"),
              QByteArray::fromStdString("# loopback\n" + n[0] + "\n\n" + n[1] + "\n" + n[2] + "\n" +
                                        nts + "\n" + n[0] + "\n"));
    EXPECT_EQ(console.Run({"--nts-ca", chrony.CertificateFile(), "--json", "--compare"}, 0,
                          folder.path().toStdString()),
              0)
        << console.err.str();
    EXPECT_EQ(
        Json(console.out.str(),
             "[r['server'] for r in d['rows']], [r['agreeing'] for r in d['rows']], "
             "[r['nts'] for r in d['rows']], [d['set'], 'error' in d], d['verdict']['server'], "
             "[d['verdict'][k] for k in ('answered', 'agreeing', 'majority', 'nts')], "
             "abs(d['verdict']['offset']) <= d['rows'][3]['error_bound'], sorted(d['rows'][0])"),
        (std::vector<std::string>{"[\"" + n[0] + "\", \"" + n[1] + "\", \"" + n[2] + "\", \"" +
                                      nts + "\"]",
                                  "[true, true, false, true]", "[false, false, false, true]",
                                  "[null, false]", "\"" + nts + "\"", "[4, 3, true, true]", "true",
                                  "[\"address\", \"agreeing\", \"delay\", \"error_bound\", "
                                  "\"nts\", \"offset\", \"port\", \"root_delay\", "
                                  "\"root_dispersion\", \"server\", \"stratum\"]"}))
        << console.out.str();
}

// Y sets the agreed step only when more than half of the servers that answered agree: one of
// four off is marked and left out; two of four off in different directions leave two that
// agree, which is no majority; two of three that answered are one. Each row says whether its
// server agrees (a), is off (x) or was silent (-). The servers are asked at once: two silent ones
// cost one time-out.
TEST(Compare, SetsTheAgreedStepOnlyWithAMajority)
{
    const struct {
        std::vector<Script> scripts;
        const char* rows;
        int exitCode;
        const char* verdict;
    } cases[] = {
        // clang-format off
        {{Server(0), Server(0), Server(100), Server(0)}, "aaxa", 0, "3 of 4 servers agree: offset "},
        {{Server(0), Server(100), Server(-100), Server(0)}, "axxa", 3, "no majority: 2 of 4 servers agree"},
        {{Server(0), Server(100), {}, Server(0)}, "ax-a", 0, "2 of 3 servers agree: offset "},
        {std::vector<Script>(2), "--", 1, "no server answered"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verdict);
        Console console(c.scripts);
        EXPECT_EQ(console.Run({"--timeout", "0.3", "--compare", "@", "Y"}), c.exitCode);
        EXPECT_LT(console.took, 450ms);
        const auto lines = Split(console.out.str());
        ASSERT_EQ(lines.size(), c.scripts.size() + (c.exitCode == 0 ? 3 : 2));
        for (size_t i = 0; i < c.scripts.size(); ++i) {
            std::istringstream row(lines[i + 1]);
            std::string server, address;
            row >> server >> address; // a silent server has no address
            EXPECT_EQ(server + " " + address,
                      console.names[i] + " " + (c.rows[i] == '-' ? "-" : console.names[i]));
            EXPECT_EQ(lines[i + 1].ends_with(" agrees"), c.rows[i] == 'a') << lines[i + 1];
            EXPECT_EQ(lines[i + 1].ends_with(" not agreeing"), c.rows[i] == 'x') << lines[i + 1];
        }
        EXPECT_TRUE(lines[c.scripts.size() + 1].starts_with(c.verdict));
        ASSERT_EQ(console.clock.m_settings.size(), c.exitCode == 0 ? 1u : 0u);
        if (c.exitCode == 0) {
            EXPECT_EQ(lines.back(), SyncSteps::kAdjusted);
            EXPECT_NEAR(FromNow(console.clock.m_settings[0]), 0.0, 0.5);
        }
        EXPECT_NE(console.err.str().find(c.exitCode == 0 ? "" : c.verdict), std::string::npos);
        EXPECT_EQ(console.err.str().empty(), c.exitCode == 0) << console.err.str();
    }
}

// The monitoring plugin's exit codes for offsets below, between and above the thresholds and for
// a silent server, and with --compare no majority is critical whatever the offset, the agreeing
// servers counted: its one line, whole. An offset at a threshold is still within it.
TEST(Check, ExitsByThresholdsWithAWholeStatusLine)
{
    const std::string us = "(-?[0-9]+\\.[0-9]{6})"; // seconds to the microsecond
    const std::string data =
        "\\|offset=" + us + "s;0\\.5;1 delay=" + us + "s stratum=2 error_bound=" + us + "s";
    const struct {
        std::vector<Script> scripts;
        int exitCode;
        double offset;
        std::string line; // @ for the first server's name
    } cases[] = {
        // clang-format off
        {{Server(0)}, 0, 0, "OK - offset " + us + " s from @" + data},
        {{Server(0.7)}, 1, 0.7, "WARNING - offset " + us + " s from @" + data},
        {{Server(-2)}, 2, -2, "CRITICAL - offset " + us + " s from @" + data},
        {std::vector<Script>(1), 3, 0, "UNKNOWN - no answer within 0\\.3 s"},
        {{Server(0), Server(50)}, 2, 0, "CRITICAL - no majority: 1 of 2 servers agree" + data + " agreeing=1"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Console console(c.scripts);
        std::vector<std::string> args{"--check", "-w", "0.5", "-c", "1", "--timeout", "0.3", "@"};
        if (c.scripts.size() > 1) {
            args.insert(args.begin(), "--compare");
        }
        EXPECT_EQ(console.Run(args), c.exitCode);
        const std::string line = std::regex_replace(c.line, std::regex("@"), console.names[0]);
        const std::string out = console.out.str();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(out, match, std::regex("HORALINK " + line + "\n"))) << out;
        if (match.size() > 1) {
            EXPECT_NEAR(std::stod(match[1]), c.offset, 0.01);
        }
        EXPECT_TRUE(console.clock.m_settings.empty());
    }
    ServerRow row;
    for (const auto& [offset, exitCode] : {std::pair(-0.5, 0), {1.0, 1}}) {
        row.reply.emplace().clockOffset = offset;
        EXPECT_EQ(PluginOutput::ForServer(row, {0.5, 1}).exitCode, exitCode) << offset;
    }
}

// The metrics text passes the Prometheus client's OpenMetrics parser (which needs # EOF at its
// end), here each family that has samples on a line with each sample's server and value to a
// tenth, for a comparison with a server that is off and a silent one. A server name of any bytes
// makes a label the parser reads back: quotes, backslashes and line ends escaped, bytes that are
// not UTF-8 as U+FFFD. An authenticated answer counts 1 in its family.
TEST(OpenMetrics, ParsesWithThePrometheusClient)
{
    const auto read = [](const std::string& text) {
        return Python("import sys\nfrom prometheus_client.openmetrics.parser import "
                      "text_string_to_metric_families as parse\nfor f in parse(sys.stdin.read()):\n"
                      "    if f.samples: print(f.name[9:], f.type, f.unit or '-', *[ascii("
                      "s.labels['server']) + ' ' + str(round(float(s.value), 1) + 0) for s in "
                      "f.samples])\n",
                      text);
    };
    ServerRow odd, nts;
    odd.server = "a\"b\\c\nd\xff";
    EXPECT_EQ(read(OpenMetricsWriter::Text({odd}, false)),
              "up gauge - 'a\"b\\\\c\\nd\\ufffd' 0.0\n");
    nts.reply.emplace().nts = true;
    EXPECT_NE(read(OpenMetricsWriter::Text({nts}, false)).find("\nauthenticated gauge - '' 1.0\n"),
              std::string::npos);

    Console console({Server(0), Server(100), {}});
    EXPECT_EQ(console.Run({"--openmetrics", "--timeout", "0.3", "--compare", "@"}), 0);
    std::string parsed = read(console.out.str());
    for (const char name : {'A', 'B', 'C'}) {
        parsed =
            std::regex_replace(parsed, std::regex(console.names[name - 'A']), std::string(1, name));
    }
    EXPECT_EQ(parsed, "up gauge - 'A' 1.0 'B' 1.0 'C' 0.0\n"
                      "offset_seconds gauge seconds 'A' 0.0 'B' 100.0\n"
                      "delay_seconds gauge seconds 'A' 0.0 'B' 0.0\n"
                      "error_bound_seconds gauge seconds 'A' 1.0 'B' 1.0\n"
                      "stratum gauge - 'A' 2.0 'B' 2.0\n"
                      "authenticated gauge - 'A' 0.0 'B' 0.0\n"
                      "agreeing gauge - 'A' 1.0 'B' 0.0 'C' 0.0\n")
        << console.out.str();
}
