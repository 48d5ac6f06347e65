// The console mode against scripted servers on 127.0.0.1: what it prints, what it tells on the
// error stream, its exit codes, and that a bad answer never sets the clock.
#include "AppTestSupport.h"

#include "app/SyncSteps.h"
#include "app/console/ConsoleRun.h"
#include "sntp/nts/NtsAuthentication.h"
#include "tests/common/CalendarText.h"
#include "tests/common/UdpResponder.h"

#include <QTemporaryFile>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>

using namespace std::chrono_literals;

namespace
{

constexpr uint64_t kSecond = uint64_t{1} << 32;

// A sound server whose clock runs ahead by `ahead` seconds and which spends `busy` seconds
// between receiving and sending.
UdpResponder::Script Server(double ahead, double busy = 0)
{
    return [=](const UdpResponder::Bytes& request) {
        const uint64_t received = UdpResponder::NtpNow() + static_cast<uint64_t>(ahead * kSecond);
        const uint64_t sent = received + static_cast<uint64_t>(busy * kSecond);
        return UdpResponder::NtpServer({.receive = received, .transmit = sent})(request);
    };
}

struct Console {
    explicit Console(bool clockSets = true) : clock(clockSets) {}

    int Run(std::vector<std::string> args, unsigned port)
    {
        args.insert(args.begin(), "--console");
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(line.mode, CommandLine::Mode::Console) << line.error;
        ConsoleRun run(out, err, clock);
        run.SetPort(port);
        run.SetNtsFactory(&CNtsAuthentication::Create);
        run.SetSampleGap(std::chrono::milliseconds(1));
        return run.Run(line);
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::istringstream text(out.str());
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    FakeClock clock;
    std::ostringstream out, err;
};

bool IsJson(const std::string& text)
{
    FILE* tool =
        popen("PYTHONIOENCODING=utf-8:strict /usr/bin/python3 -m json.tool >/dev/null 2>&1", "w");
    if (!tool) {
        return false;
    }
    std::fwrite(text.data(), 1, text.size(), tool);
    return pclose(tool) == 0;
}

// The string members of a JSON object as UTF-8 bytes, read by Python's strict parser (no raw
// control characters, no NaN); nothing when the text is not one valid JSON object.
std::optional<std::map<std::string, std::string>> JsonStrings(const std::string& text)
{
    QTemporaryFile file;
    if (!file.open() || file.write(text.data(), static_cast<qint64>(text.size())) < 0) {
        return std::nullopt;
    }
    file.flush();
    const std::string command =
        "/usr/bin/python3 -c 'import json, sys\n"
        "def no(c): raise ValueError(c)\n"
        "d = json.load(open(sys.argv[1], encoding=\"utf-8\"), parse_constant=no)\n"
        "[print(k, v.encode().hex()) for k, v in d.items() if isinstance(v, str)]' " +
        file.fileName().toStdString() + " 2>/dev/null";
    FILE* tool = popen(command.c_str(), "r");
    if (!tool) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, tool)) > 0;) {
        output.append(buffer, n);
    }
    if (pclose(tool) != 0) {
        return std::nullopt;
    }
    std::map<std::string, std::string> strings;
    std::istringstream lines(output);
    for (std::string key, hex; lines >> key >> hex;) {
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            strings[key] += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
    }
    return strings;
}

} // namespace

// Exit 0 retrieved (and set with Y), 1 nothing retrieved, 3 retrieved but not set; a reason on
// the error stream for each failure. A rejected answer is a failed retrieve and never reaches
// the clock; a sound one 10 s ahead asks the clock for now + 10 s.
TEST(Console, ExitCodesReasonsAndTheClock)
{
    const std::tuple<UdpResponder::Script, bool, int, const char*> cases[] = {
        {Server(10), true, 0, ""},
        {Server(10), false, 3, "horalink: "},
        {UdpResponder::NtpServer({.stratum = 0, .referenceId = 0x52415445}), true, 1, "RATE"},
        {UdpResponder::NtpServer({.originate = 1}), true, 1, "originate"},
    };
    for (const auto& [script, clockSets, exitCode, reason] : cases) {
        SCOPED_TRACE(reason);
        UdpResponder server(script);
        Console console(clockSets);
        EXPECT_EQ(console.Run({"127.0.0.1", "y"}, server.Port()), exitCode);
        const auto lines = console.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], SyncSteps::LookupLine("127.0.0.1"));
        if (exitCode == 1) {
            EXPECT_EQ(lines, (std::vector<std::string>{lines[0], SyncSteps::kRetrieveFailed}));
            EXPECT_TRUE(console.clock.m_settings.empty());
        } else {
            ASSERT_EQ(console.clock.m_settings.size(), 1u);
            EXPECT_NEAR(FromNow(console.clock.m_settings[0]), 10.0, 0.5);
            EXPECT_EQ(lines.back(), SyncSteps::AdjustLine(exitCode == 0));
        }
        EXPECT_NE(console.err.str().find(reason), std::string::npos) << console.err.str();
        EXPECT_EQ(console.err.str().empty(), exitCode == 0);
    }
}

// --json prints one object that parses, for a success, a time-out and a rejected answer;
// --timeout 1 gives up after about a second.
TEST(Console, JsonForEveryOutcomeAndTheTimeout)
{
    UdpResponder good(Server(0)), silent, rejected(UdpResponder::NtpServer({.leapIndicator = 3}));
    for (const UdpResponder* server : {&good, &silent, &rejected}) {
        Console console;
        const auto start = std::chrono::steady_clock::now();
        const int exitCode = console.Run({"--json", "--timeout", "1", "127.0.0.1"}, server->Port());
        const std::string text = console.out.str();
        EXPECT_EQ(exitCode, server == &good ? 0 : 1);
        EXPECT_TRUE(IsJson(text)) << text;
        EXPECT_EQ(text.find("\"offset\": ") != std::string::npos, server == &good) << text;
        EXPECT_EQ(text.find("\"error\": ") != std::string::npos, server != &good) << text;
        EXPECT_NE(text.find("\"set\": null"), std::string::npos) << text;
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(server != &silent || (waited > 900ms && waited < 3000ms));
    }
}

// Of four exchanges, the one with the lowest delay is reported and used: here the second,
// whose server is busiest, and whose clock is 2 s ahead.
TEST(Console, SamplesReportTheLowestDelay)
{
    int exchange = 0;
    const double busy[] = {0.01, 0.2, 0.05, 0.1};
    UdpResponder server([&exchange, &busy](const UdpResponder::Bytes& request) {
        const int i = exchange++ % 4;
        return Server(i + 1, busy[i])(request);
    });
    Console console;
    EXPECT_EQ(console.Run({"--samples", "4", "127.0.0.1", "y"}, server.Port()), 0);
    EXPECT_EQ(server.Received().size(), 4u);
    ASSERT_EQ(console.Lines().size(), 7u);
    EXPECT_NEAR(std::stod(console.Lines()[5].substr(9)), 2.1, 0.05);
}

// Network Time Security against chronyd: --nts-ca trusts its certificate, and --json says the
// answer was authenticated.
TEST(Console, AuthenticatesWithNts)
{
    ChronyServer chrony({.nts = true});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    const std::string server = "127.0.0.1:" + std::to_string(chrony.NtsPort());
    Console console;
    EXPECT_EQ(console.Run({"--nts-ca", chrony.CertificateFile(), "--json", "--nts", server}, 0), 0)
        << console.err.str();
    EXPECT_NE(console.out.str().find("\"nts\": true"), std::string::npos) << console.out.str();
}

// IPv6 literals with and without brackets; -4 keeps the console off them.
TEST(Console, TakesIPv6Literals)
{
    UdpResponder server(Server(0), "::1");
    for (const auto& [args, exitCode] : {std::pair{std::vector<std::string>{"::1"}, 0},
                                         {{"-6", "[::1]"}, 0},
                                         {{"-4", "--timeout", "0.2", "::1"}, 1}}) {
        Console console;
        EXPECT_EQ(console.Run(args, server.Port()), exitCode) << console.err.str();
    }
}

// A name's control bytes are shown escaped, never sent raw to the terminal. In --json every
// string a user or a server chose (the name, a stratum 1 source, a kiss code and the error
// that quotes it) reads back whole, backslashes, quotes and control bytes included, with a
// byte that is not UTF-8 as U+FFFD. The name still reaches 127.0.0.1: the address ends at the
// blank.
TEST(Console, EscapesWhatUsersAndServersChose)
{
    const std::string name = "127.0.0.1 \x1b]0;owned\x07\\\"\x01\x1f\x7f\xff";
    const std::string shown = "127.0.0.1 \\x1b]0;owned\\x07\\\"\\x01\\x1f\\x7f\xff";
    const std::string decoded = "127.0.0.1 \x1b]0;owned\x07\\\"\x01\x1f\x7f\xef\xbf\xbd";
    const uint32_t letters = 0x5C225C41; // \"\A
    UdpResponder server;
    Console console;
    EXPECT_EQ(console.Run({"--timeout", "0.1", name}, server.Port()), 1);
    EXPECT_EQ(console.out.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(console.Lines()[0], "Looking up   --- " + shown + " ---");

    const std::pair<UdpResponder::NtpAnswer, std::map<std::string, std::string>> cases[] = {
        {{.stratum = 1, .referenceId = letters},
         {{"server", decoded}, {"address", "127.0.0.1"}, {"reference_id", "\\\"\\A"}}},
        {{.stratum = 0, .referenceId = letters},
         {{"server", decoded}, {"kiss_code", "\\\"\\A"}, {"error", "kiss-o'-death \\\"\\A"}}},
    };
    for (const auto& [answer, strings] : cases) {
        server.SetScript(UdpResponder::NtpServer(answer));
        Console json;
        json.Run({"--json", "--timeout", "1", name}, server.Port());
        auto parsed = JsonStrings(json.out.str());
        ASSERT_TRUE(parsed) << json.out.str();
        for (const auto& [key, value] : strings) {
            EXPECT_EQ((*parsed)[key], value) << key;
        }
    }
}

// The report's lines, whole: two-digit day, month, hour, minute and second, three-digit
// milliseconds, six decimals of the offset.
TEST(Console, ReportLinesKeepTheirFormat)
{
    SntpReply reply;
    reply.destination = CNtpTimestamp::FromSystemTime(CalendarFromText("2026-01-02 03:04:05.006"));
    reply.clockOffset = -0.25;
    EXPECT_EQ(
        SyncSteps::ReportLines(reply),
        (std::vector<std::string>{"Time was successfully retreived",
                                  "CLIENT DESTINATION DATE:", "         02/01/2026, 03:04:05.006",
                                  "LOCAL CLOCK OFFSET:", "         -0.250000 seconds"}));
}

// Y with an unauthenticated answer that steps the clock further than the limit: not set, exit 3,
// the offset and the limit on stderr; --max-step 0 or a larger limit sets it. (An NTS answer
// years ahead is set without a limit: NtsBootstrap.SetsTheClockToTheServersTime.)
TEST(Console, SetsABigStepOnlyWithinTheLimitOrFromNts)
{
    UdpResponder far(Server(2019686400)), near(Server(5000));
    const struct {
        const UdpResponder* server;
        std::vector<std::string> options;
        int exitCode;
        const char* reason;
    } cases[] = {
        {&far, {}, 3, "would move the clock by 2019686400 s, more than the limit of 1000 s"},
        {&far, {"--max-step", "0"}, 0, ""},
        {&near, {}, 3, "by 5000 s, more than the limit of 1000 s"},
        {&near, {"--max-step", "5000.5"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Console console;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"127.0.0.1", "Y"});
        EXPECT_EQ(console.Run(args, c.server->Port()), c.exitCode);
        EXPECT_EQ(console.clock.m_settings.size(), c.exitCode == 0 ? 1u : 0u);
        EXPECT_EQ(console.Lines().back(), SyncSteps::AdjustLine(c.exitCode == 0));
        EXPECT_NE(console.err.str().find(c.reason), std::string::npos) << console.err.str();
    }
}

// The window's command line (horalink SERVER Y) with a plain answer 64 years ahead: the question
// comes after the report, and No sets nothing.
TEST(Console, WindowCommandLineAsksBeforeABigStep)
{
    const std::string address = RunAddress(3);
    if (!IsUdpPortFree(123, address)) {
        GTEST_SKIP() << "UDP port 123 is taken at " << address;
    }
    UdpResponder server(Server(2019686400), address, 123);
    FakeClock clock;
    TestWindow window;
    SetInProcess(window.dlg, clock);
    window.dlg.SetCommandLine(CommandLine::Parse({address, "Y"}));
    window.dlg.show();
    const QString question = AnswerQuestion(window.dlg, false);
    EXPECT_TRUE(question.contains("not authenticated")) << question.toStdString();
    ASSERT_TRUE(WaitIdle(window.dlg));
    const QStringList lines = LogLines(window.dlg);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.back(), SyncSteps::kAdjustFailed);
    EXPECT_TRUE(clock.m_settings.empty());
}
