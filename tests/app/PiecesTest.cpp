#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "app/window/WindowCrossing.h"

#include <QElapsedTimer>
#include <QLineEdit>

#include <map>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <tuple>

// The server list file's entries, sorted ignoring case as they go into the selector; the
// built-in servers when it gives none. The first entry is selected.
TEST(ServerList, FillsTheSelectorInItsOrder)
{
    const QStringList builtIns = {"nts://time.cloudflare.com", "pool.ntp.org", "time.nist.gov"};
    const std::pair<std::optional<QByteArray>, QStringList> cases[] = {
        {std::nullopt, builtIns},
        {std::nullopt, builtIns}, // a named pipe
        // A leading byte-order mark does not hide a comment; an entry is cut at a control byte
        // (a NUL would end the name the engine sees) and dropped when longer than a server name.
        {"\xEF\xBB\xBF# servers\na.example\n", {"a.example"}},
        {QByteArray("a.example\0\xff\nb.exa\x1bmple \t\n\001c\n", 28), {"", "a.example", "b.exa"}},
        {QByteArray(260, 'a') + "\n" + QByteArray(259, 'b'), {QString(259, 'b')}},
    };
    for (const auto& [content, entries] : cases) {
        TestWindow window;
        const QString list = window.folder.filePath("url/time.txt");
        if (content) {
            WriteFile(list, *content);
        } else if (&content != &cases[0].first) {
            // A named pipe in its place is not waited on.
            QDir().mkpath(window.folder.filePath("url"));
            ASSERT_EQ(mkfifo(list.toLocal8Bit().constData(), 0600), 0);
        }
        window.dlg.OnInitDialog();
        EXPECT_EQ(ServerEntries(window.dlg), entries);
        EXPECT_EQ(Control<CIComboBox>(window.dlg, "comboServer")->currentIndex(), 0);
        // A name longer than the box shows its start.
        EXPECT_EQ(Control<CIComboBox>(window.dlg, "comboServer")->lineEdit()->cursorPosition(), 0);
    }
}

TEST(CommandLine, ParsesTheArguments)
{
    using Mode = CommandLine::Mode;
    const std::string longest(CommandLine::kMaxServerBytes, 's');
    // The flag is one word, upper-cased, "N" when a server comes without one; a Y anywhere in it
    // sets the clock. Anything more after the server is a usage error, so that an option placed
    // there ("--dry-run" holds a Y) can never set the clock.
    const std::tuple<std::vector<std::string>, Mode, std::string, std::string, bool> cases[] = {
        // clang-format off
        {{}, Mode::Window, "", "", false},
        {{"t.example", "aye"}, Mode::Window, "t.example", "AYE", true},
        {{"t.example"}, Mode::Window, "t.example", "N", false},
        {{"-platform", "offscreen", "t.example", "y", "-reverse"}, Mode::Window, "t.example", "Y", true},
        {{longest}, Mode::Window, longest, "N", false},
        {{longest + "s", "y"}, Mode::Invalid, "", "", false},
        {{"t.example", "y", "n"}, Mode::Invalid, "", "", false},
        {{"--console", "t.example", "Yes"}, Mode::Console, "t.example", "YES", true},
        {{"--console", "127.0.0.1", "--dry-run"}, Mode::Invalid, "", "", false},
        {{"--console", "--nts", "t.example"}, Mode::Console, "nts://t.example", "N", false},
        {{"--console", "--nts", "NTS://t.example"}, Mode::Console, "NTS://t.example", "N", false},
        {{"--version"}, Mode::Version, "", "", false},
        {{"--fast"}, Mode::Invalid, "", "", false},
        {{"--console", "--timeout", "nan", "t.example"}, Mode::Invalid, "", "", false},
        {{"--console", "-4", "-6", "t.example"}, Mode::Invalid, "", "", false},
        {{"--console", "--samples", "t.example"}, Mode::Invalid, "", "", false},
        {{"--console", "--max-step", "-1", "t.example"}, Mode::Invalid, "", "", false},
        {{"--console", "--max-step", "inf", "t.example"}, Mode::Invalid, "", "", false},
        {{"--disable-ntp", "t.example", "y"}, Mode::Invalid, "", "", false},
        // clang-format on
    };
    for (const auto& [args, mode, server, flag, setsClock] : cases) {
        const CommandLine line = CommandLine::Parse(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(line.mode, mode);
        EXPECT_EQ(line.server, server);
        EXPECT_EQ(line.flag, flag);
        EXPECT_EQ(CommandLine::FlagSetsClock(line.flag), setsClock);
        EXPECT_EQ(line.error.empty(), mode != Mode::Invalid);
    }
}

// A usage error names what to change: a console option without --console says it needs it.
TEST(CommandLine, UsageErrorsSayWhatIsWrong)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--json", "t.example"}, "--json needs --console"},
        {{"--nts", "t.example"}, "--nts needs --console"},
        {{"-4", "t.example"}, "-4 needs --console"},
        {{"--samples", "4", "t.example"}, "--samples needs --console"},
        {{"--timeout", "1", "t.example"}, "--timeout needs --console"},
        {{"--fast", "t.example"}, "unknown option --fast"},
        {{"--console", "--fast", "t.example"}, "unknown option --fast"},
        {{"--console", "--samples"}, "--samples needs a value"},
        {{"--nts-ca"}, "--nts-ca needs a value"},
        {{"--console"}, "--console needs a server name"},
    };
    for (const auto& [args, error] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(line.mode, CommandLine::Mode::Invalid);
        EXPECT_EQ(line.error, error);
    }
}

// --samples and --timeout take both ends of their ranges and refuse one step past either.
TEST(CommandLine, TakesTheEndsOfEachRangeAndNothingPast)
{
    const std::tuple<const char*, const char*, bool, int, uint32_t> cases[] = {
        {"--samples", "1", true, 1, 5000},     {"--samples", "16", true, 16, 5000},
        {"--samples", "0", false, 0, 0},       {"--samples", "17", false, 0, 0},
        {"--timeout", "0.1", true, 1, 100},    {"--timeout", "60", true, 1, 60000},
        {"--timeout", "0.099", false, 0, 0},   {"--timeout", "60.001", false, 0, 0},
        {"--timeout", "0.0996", true, 1, 100}, // whole milliseconds, rounded
    };
    for (const auto& [option, value, valid, samples, timeoutMs] : cases) {
        SCOPED_TRACE(std::string(option) + " " + value);
        const CommandLine line = CommandLine::Parse({"--console", option, value, "t.example"});
        EXPECT_EQ(line.mode, valid ? CommandLine::Mode::Console : CommandLine::Mode::Invalid);
        if (valid) {
            EXPECT_EQ(std::pair(line.samples, line.timeoutMs), std::pair(samples, timeoutMs));
        }
    }
}

// A relative --nts-ca names a file in the folder the program was started in, for the window
// (which changes its folder at start) as for the console.
TEST(CommandLine, TakesConsoleOptionsBeforeTheServer)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here(cwd);
    const CommandLine line =
        CommandLine::Parse({"--console", "--json", "--samples", "4", "--timeout", "0.5", "-6",
                            "--nts-ca", "ca.pem", "::1", "y"});
    ASSERT_EQ(line.mode, CommandLine::Mode::Console) << line.error;
    EXPECT_EQ(std::tuple(line.json, line.samples, line.timeoutMs, line.family, line.ntsCaFile,
                         line.server, line.flag),
              std::tuple(true, 4, 500u, CommandLine::Family::IPv6, here + "/ca.pem",
                         std::string("::1"), std::string("Y")));
    EXPECT_EQ(CommandLine::Parse({"--nts-ca", "ca/x.pem", "t.example"}).ntsCaFile,
              here + "/ca/x.pem");
    EXPECT_EQ(CommandLine::Parse({"--nts-ca", "/etc/x.pem", "t.example"}).ntsCaFile, "/etc/x.pem");

    // The setting's options: a limit of 0 lifts it; without them the limit is 1000 s.
    const CommandLine setting =
        CommandLine::Parse({"--console", "--max-step", "0", "--disable-ntp", "t.example", "y"});
    ASSERT_EQ(setting.mode, CommandLine::Mode::Console) << setting.error;
    EXPECT_EQ(std::pair(setting.maxStep, setting.disableNtp), std::pair(0.0, true));
    const CommandLine plain = CommandLine::Parse({"--console", "t.example", "y"});
    EXPECT_EQ(std::pair(plain.maxStep, plain.disableNtp), std::pair(1000.0, false));
}

// Unless told otherwise, a ten-character line and its break take eleven steps of 30 ms: a pace
// ten times slower, or none at all, shows (the margins allow for a loaded machine).
// A clear shows no half line: the window's own lines go with the cleared text, a waiting
// writer's line is typed again whole and its writer released.
TEST(LogWriter, TypesAtItsPaceLinesWholeInTheirOrderAndClearingRetypesAWaitedOne)
{
    QTextEdit pane;
    LogWriter writer(&pane, nullptr);
    QElapsedTimer clock;
    clock.start();
    writer.Append("0123456789");
    ASSERT_TRUE(QTest::qWaitFor([&] { return writer.IsIdle(); }, 5000));
    EXPECT_GT(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 2000);

    writer.Clear();
    writer.SetPace(std::chrono::milliseconds(10));
    writer.Append("window line");
    int done = 0;
    writer.Append("worker line", [&] { ++done; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane.toPlainText().contains("\nwork"); }));
    writer.Clear();
    EXPECT_EQ(pane.toPlainText(), "");
    writer.Append("after clear");
    ASSERT_TRUE(QTest::qWaitFor([&] { return writer.IsIdle(); }));
    EXPECT_EQ(pane.toPlainText(), "worker line\nafter clear\n");
    EXPECT_EQ(done, 1);

    // The window and two workers through the crossing at once: every line whole, each writer's
    // in its order; the window's own lines are queued, so it goes on handling its events.
    writer.Clear();
    writer.SetPace(std::chrono::milliseconds(1));
    const auto crossing = WindowCrossing::Create(&writer);
    const auto workerWrites = [&](const char* name) {
        for (int i = 0; i < 5; ++i) {
            crossing->Await(
                [&writer, line = QStringLiteral("%1 line %2").arg(name).arg(i)](
                    const WindowCrossing::Done& finished) { writer.Append(line, finished); });
        }
    };
    std::thread first(workerWrites, "first"), second(workerWrites, "second");
    for (int i = 0; i < 5; ++i) {
        writer.Append(QStringLiteral("window line %1").arg(i));
    }
    EXPECT_FALSE(writer.IsIdle());
    const auto lines = [&pane] { return pane.toPlainText().split('\n', Qt::SkipEmptyParts); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines().size() == 15 && writer.IsIdle(); }));
    first.join();
    second.join();
    crossing->Close();

    std::map<QString, int> next;
    for (const QString& line : lines()) {
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 3) << line.toStdString();
        EXPECT_EQ(words[2].toInt(), next[words[0]]++) << line.toStdString();
    }
}
