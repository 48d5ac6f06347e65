#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "app/window/WindowCrossing.h"
#include "res/SkinLayout.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <map>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <tuple>

// The server list file's entries, sorted ignoring case as they go into the selector; the
// built-in servers when it gives none (here a named pipe, which is not waited on). The first entry
// is selected.
TEST(ServerList, FillsTheSelectorInItsOrder)
{
    const std::pair<std::optional<QByteArray>, QStringList> cases[] = {
        {std::nullopt, {"nts://time.cloudflare.com", "pool.ntp.org", "time.nist.gov"}},
        // A leading byte-order mark does not hide a comment; blanks and a carriage return end no
        // entry; an entry is cut at a control byte
        // (a NUL would end the name the engine sees) and dropped when longer than a server name.
        {"\xEF\xBB\xBF# servers\na.example \t\r\n", {"a.example"}},
        {QByteArray("a.example\0\xff\nb.exa\x1bmple \t\n\001c\n", 28), {"", "a.example", "b.exa"}},
        {QByteArray(260, 'a') + "\n" + QByteArray(259, 'b'), {QString(259, 'b')}},
    };
    for (const auto& [content, entries] : cases) {
        TestWindow window;
        const QString list = window.folder.filePath("url/time.txt");
        if (content) {
            WriteFile(list, *content);
        } else {
            QDir().mkpath(window.folder.filePath("url"));
            ASSERT_EQ(mkfifo(list.toLocal8Bit().constData(), 0600), 0);
        }
        window.dlg.OnInitDialog();
        window.dlg.show(); // initialised already: nothing is added again
        EXPECT_EQ(ServerEntries(window.dlg), entries);
        EXPECT_EQ(Control<CIComboBox>(window.dlg, "comboServer")->currentIndex(), 0);
        // A name longer than the box shows its start.
        EXPECT_EQ(Control<CIComboBox>(window.dlg, "comboServer")->lineEdit()->cursorPosition(), 0);
    }
    // More than fit: the selector and its dropped list together keep within their height.
    TestWindow crowded;
    WriteFile(crowded.folder.filePath("url/time.txt"), QByteArray("a.example\n").repeated(40));
    crowded.dlg.show();
    auto* selector = Control<CIComboBox>(crowded.dlg, "comboServer");
    selector->showPopup();
    EXPECT_LE(selector->height() + selector->view()->window()->height(), SkinLayout::kDropHeight);
}

// The flag is one word, upper-cased from a to z, "N" when a server comes without one; a Y anywhere
// in it sets the clock, but an option's value never is the flag. Qt's options may stand anywhere
// in the window form. Console options come before the server; a
// relative --nts-ca names a file in the folder the program was started in, for the window (which
// changes its folder at start) as for the console. --samples and --timeout take both ends of their
// ranges (whole milliseconds, rounded), the thresholds 0; --max-step 0 lifts the limit, which is
// 1000 s unless given.
TEST(CommandLine, ParsesTheArguments)
{
    using Mode = CommandLine::Mode;
    const std::string longest(CommandLine::kMaxServerBytes, 's');
    const struct {
        std::vector<std::string> args;
        Mode mode;
        std::string server, flag;
        bool setsClock = false;
        int samples = 1;
        uint32_t timeoutMs = 5000;
    } cases[] = {
        // clang-format off
        {{}, Mode::Window, "", ""},
        {{"t.example", "zya"}, Mode::Window, "t.example", "ZYA", true},
        {{"-platform", "offscreen", "t.example", "-reverse", "y", "-reverse"}, Mode::Window, "t.example", "Y", true},
        {{longest}, Mode::Window, longest, "N"},
        {{"--console", "t.example", "Yes"}, Mode::Console, "t.example", "YES", true},
        {{"--console", "--nts", "t.example"}, Mode::Console, "nts://t.example", "N"},
        {{"--console", "--nts", "NTS://t.example"}, Mode::Console, "NTS://t.example", "N"},
        {{"--version"}, Mode::Version, "", ""},
        {{"--console", "--samples", "1", "t"}, Mode::Console, "t", "N", false, 1},
        {{"--console", "--samples", "16", "t"}, Mode::Console, "t", "N", false, 16},
        {{"--console", "--timeout", "0.1", "t"}, Mode::Console, "t", "N", false, 1, 100},
        {{"--console", "--timeout", "60", "t"}, Mode::Console, "t", "N", false, 1, 60000},
        {{"--console", "--timeout", "0.0996", "t"}, Mode::Console, "t", "N", false, 1, 100},
        {{"--console", "--compare", "--nts-ca", "y"}, Mode::Console, "", "N"},
        {{"--console", "--check", "-w", "0", "-c", "0", "t"}, Mode::Console, "t", "N"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const CommandLine line = CommandLine::Parse(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(
            std::tuple(line.mode, line.server, line.flag, line.error, line.samples, line.timeoutMs),
            std::tuple(c.mode, c.server, c.flag, std::string(), c.samples, c.timeoutMs));
        EXPECT_EQ(CommandLine::FlagSetsClock(line.flag), c.setsClock);
    }

    const std::string here = QDir::currentPath().toStdString();
    const CommandLine line =
        CommandLine::Parse({"--console", "--json", "--samples", "4", "--timeout", "0.5", "-6",
                            "--nts-ca", "ca.pem", "--max-step", "0", "--disable-ntp", "::1", "y"});
    ASSERT_EQ(line.mode, Mode::Console) << line.error;
    EXPECT_EQ(std::tuple(line.json, line.samples, line.timeoutMs, line.family, line.ntsCaFile,
                         line.server, line.flag, line.maxStep, line.disableNtp),
              std::tuple(true, 4, 500u, CommandLine::Family::IPv6, here + "/ca.pem",
                         std::string("::1"), std::string("Y"), 0.0, true));
    const CommandLine plain = CommandLine::Parse({"--nts-ca", "ca/x.pem", "t.example"});
    EXPECT_EQ(std::tuple(plain.ntsCaFile, plain.maxStep, plain.disableNtp),
              std::tuple(here + "/ca/x.pem", 1000.0, false));
    EXPECT_EQ(CommandLine::Parse({"--nts-ca", "/etc/x.pem", "t.example"}).ntsCaFile, "/etc/x.pem");
    const CommandLine compare =
        CommandLine::Parse({"--console", "--nts", "--compare", "a.example", "ntp.", "b", "yes"});
    EXPECT_EQ(compare.servers,
              (std::vector<std::string>{"nts://a.example", "nts://ntp.", "nts://b"}));
    // A last word of one to three letters, from a to z in either case, is the flag; ::1 is none.
    for (const auto& [last, servers] : {std::pair("::1", 2u), {"aZ", 1u}, {"zA", 1u}}) {
        EXPECT_EQ(CommandLine::Parse({"--console", "--compare", "a", last}).servers.size(),
                  servers);
    }
}

// Usage errors name what to change (a console option without --console says it needs it).
// Anything more after the server is one, so that an option placed there ("--dry-run" holds a Y)
// can never set the clock; so are values one step past their range and options that cannot go
// together. One that comes with --check says so, so that the program answers as a plugin
// (UNKNOWN) rather than with the console's usage code.
TEST(CommandLine, RefusesWhatItCannotDo)
{
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{"--json", "t.example"}, "--json needs --console"},
        {{"--samples", "4", "t.example"}, "--samples needs --console"},
        {{"--fast", "t.example"}, "unknown option --fast"},
        {{"--nts-ca"}, "--nts-ca needs a value"},
        {{"--console"}, "--console needs a server name"},
    };
    for (const auto& [args, error] : errors) {
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(std::pair(line.mode, line.error), std::pair(CommandLine::Mode::Invalid, error));
    }
    using Args = std::vector<std::string>;
    const Args refused[] = {
        // clang-format off
        {std::string(CommandLine::kMaxServerBytes + 1, 's'), "y"}, {"t.example", "y", "n"},
        {"--console", "127.0.0.1", "--dry-run"}, {"--disable-ntp", "t.example", "y"},
        {"--console", "--timeout", "nan", "t"}, {"--console", "-4", "-6", "t"},
        {"--console", "--samples", "t"}, {"--console", "--max-step", "-1", "t"},
        {"--console", "--samples", "2x", "t"}, {"--console", "--timeout", "1s", "t"},
        {"--console", "--max-step", "inf", "t"}, {"--console", "--samples", "0", "t"},
        {"--console", "--samples", "17", "t"}, {"--console", "--timeout", "0.099", "t"},
        {"--console", "--timeout", "60.001", "t"}, {"--console", "-w", "1", "-c", "2", "s"},
        {"--console", "-w", "1", "s"}, {"--console", "-c", "1", "s"},
        {"--console", "--openmetrics", "s", "yes"}, {"--console", "--json", "--openmetrics", "s"},
        {"--console", "--compare", "s", "--json"}, {"--console", "--samples", "2", "--compare", "s"},
        {"--console", "--check", "-w", "1", "-c", "2", "s", "Y"}, {"--console", "--check", "-c", "1", "s"},
        {"--console", "--check", "-w", "2", "-c", "1", "s"}, {"--console", "--check", "-w", "x", "-c", "2", "s"},
        // clang-format on
    };
    for (const Args& args : refused) {
        SCOPED_TRACE(testing::PrintToString(args));
        const CommandLine line = CommandLine::Parse(args);
        EXPECT_EQ(std::tuple(line.mode, line.error.empty(), line.check),
                  std::tuple(CommandLine::Mode::Invalid, false, args[1] == "--check"));
    }
}

// A line is typed in full with its line end; a whole text replaces the lines at once. The window
// and two workers through the crossing at once: every line whole, each writer's in its order; the
// window's own lines are queued, so it goes on handling its events; the pane follows the last
// line, and lines typed after a clear keep the lines' fixed height. (A clear that keeps a waiting
// writer's line:
// SyncDlgTest.CommandsRunOneWorkerAtATimeApplyAnOffsetOnceAndLetGoOnClose.)
TEST(LogWriter, TypesLinesWholeInTheirOrder)
{
    QTextEdit pane;
    pane.resize(200, 60);
    pane.show();
    LogWriter writer(&pane, nullptr);
    writer.SetPace(std::chrono::milliseconds(1));
    QTextBlockFormat pitch; // the lines' fixed height, also after a clear
    pitch.setLineHeight(17, QTextBlockFormat::FixedHeight);
    writer.SetLineFormat(pitch);
    writer.Append("0123456789");
    ASSERT_TRUE(QTest::qWaitFor([&] { return writer.IsIdle(); }));
    EXPECT_EQ(pane.toPlainText(), "0123456789\n");
    // A whole text at once, in place of the lines, with the pane's own line ends, told to
    // assistive technology as one.
    QString heard;
    writer.SetAnnouncer([&heard](QAccessibleEvent* event) {
        if (event->type() == QAccessible::TextInserted) {
            heard += static_cast<QAccessibleTextInsertEvent*>(event)->textInserted();
        }
    });
    writer.SetText(QStringLiteral("a\r\nb"));
    EXPECT_EQ(std::pair(pane.toPlainText(), heard), std::pair(QString("a\nb"), QString("a\nb")));
    writer.Clear();
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
    EXPECT_TRUE(pane.viewport()->rect().contains(pane.cursorRect()));
    EXPECT_GT(pane.verticalScrollBar()->value(), 0);
    for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next()) {
        EXPECT_EQ(block.blockFormat().lineHeight(), 17);
    }

    std::map<QString, int> next;
    for (const QString& line : lines()) {
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 3) << line.toStdString();
        EXPECT_EQ(words[2].toInt(), next[words[0]]++) << line.toStdString();
    }
}
