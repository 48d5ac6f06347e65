#include "AppTestSupport.h"

#include "app/ClockFont.h"
#include "app/CommandLine.h"
#include "app/LogWriter.h"
#include "app/ServerListFile.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <tuple>

static void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The server list file's entries, sorted ignoring case as they go into the selector; the
// built-in servers when it gives none. The first entry is selected.
TEST(ServerList, FillsTheSelectorInItsOrder)
{
    const QStringList builtIns = {"pool.ntp.org", "time.cloudflare.com", "time.nist.gov"};
    const std::pair<std::optional<QByteArray>, QStringList> cases[] = {
        {std::nullopt, builtIns},
        {std::nullopt, builtIns}, // a named pipe
        {"# servers\r\n#time.example\r\n", builtIns},
        // Duplicates kept, trailing blanks and tabs gone, "#" a comment only in the first
        // column, no final line end needed.
        {"zeta.example \t\r\nAlpha.example\r\n #kept\r\nzeta.example",
         {" #kept", "Alpha.example", "zeta.example", "zeta.example"}},
        // A blank line is an entry; line feeds alone end lines too.
        {"b.example\na.example\n \t\n", {"", "a.example", "b.example"}},
        // Bytes that are not text, and a long line, are taken whole. Past the byte limit nothing
        // more is read, nor the line it cuts through; no more than the entry limit is kept.
        {QByteArray("\0\xff\n", 3), {QString::fromUtf8(QByteArray("\0\xff", 2))}},
        {QByteArray(30000, 'a') + "\n", {QString(30000, 'a')}},
        {"a.example\n" + QByteArray(3 * ServerListFile::kMaxBytes, 'x'), {"a.example"}},
        {QByteArray("s.example\n").repeated(3000),
         QStringList(ServerListFile::kMaxEntries, "s.example")},
    };
    for (const auto& [content, entries] : cases) {
        TempExeDir folder;
        if (content) {
            WriteFile(folder.filePath("url/time.txt"), *content);
        } else if (&content != &cases[0].first) {
            // A named pipe in its place is not waited on.
            QDir().mkpath(folder.filePath("url"));
            ASSERT_EQ(mkfifo(folder.filePath("url/time.txt").toLocal8Bit().constData(), 0600), 0);
        }
        CSyncDlg dlg;
        dlg.SetExeDir(folder.path());
        dlg.OnInitDialog();
        QStringList shown;
        for (int i = 0; i < dlg.m_comboServer->count(); ++i) {
            shown.append(dlg.m_comboServer->itemText(i));
        }
        EXPECT_EQ(shown, entries);
        EXPECT_EQ(dlg.m_comboServer->currentIndex(), 0);
    }
}

TEST(CommandLine, ParsesTheArguments)
{
    using Mode = CommandLine::Mode;
    const std::string longest(CommandLine::kMaxServerBytes, 's');
    // The flag is upper-cased, "N" when a server comes without one; a Y in it sets the clock.
    const std::tuple<std::vector<std::string>, Mode, std::string, std::string, bool> cases[] = {
        {{}, Mode::Window, "", "", false},
        {{"t.example", "yes"}, Mode::Window, "t.example", "YES", true},
        {{"t.example", "x"}, Mode::Window, "t.example", "X", false},
        {{"t.example"}, Mode::Window, "t.example", "N", false},
        {{longest}, Mode::Window, longest, "N", false},
        {{longest + "s", "y"}, Mode::Invalid, "", "", false},
        {{"--console", "t.example", "Yes"}, Mode::Console, "t.example", "YES", true},
        {{"--console"}, Mode::Invalid, "", "", false},
        {{"--console", "", "y"}, Mode::Invalid, "", "", false},
        {{"--version"}, Mode::Version, "", "", false},
        {{"--fast"}, Mode::Invalid, "", "", false},
    };
    for (const auto& [args, mode, server, flag, setsClock] : cases) {
        const CommandLine line = CommandLine::Parse(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(line.mode, mode);
        EXPECT_EQ(line.server, server);
        EXPECT_EQ(line.flag, flag);
        EXPECT_EQ(SyncSteps::FlagSetsClock(line.flag), setsClock);
    }
}

// A clear shows no half line: the window's own lines go with the cleared text, a waiting
// writer's line is typed again whole and its writer released.
TEST(LogWriter, LinesAreWholeInTheirOrderAndClearingRetypesAWaitedOne)
{
    QPlainTextEdit pane;
    LogWriter writer(&pane, nullptr);
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

    // The window and two workers at once: every line whole, each writer's in its order; the
    // window's own lines are queued, so it goes on handling its events while they are typed.
    CSyncDlg dlg;
    dlg.SetLogPace(std::chrono::milliseconds(1));
    auto writeFive = [&dlg](const QString& name) {
        for (int i = 0; i < 5; ++i) {
            dlg.AppendLog(QStringLiteral("%1 line %2").arg(name).arg(i));
        }
    };
    std::thread first(writeFive, QStringLiteral("first"));
    std::thread second(writeFive, QStringLiteral("second"));
    writeFive(QStringLiteral("window"));
    EXPECT_FALSE(dlg.IsLogIdle()); // the window's own lines are queued, not waited for
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogLines(dlg).size() == 15 && dlg.IsLogIdle(); }));
    first.join();
    second.join();

    std::map<QString, int> next;
    for (const QString& line : LogLines(dlg)) {
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 3) << line.toStdString();
        EXPECT_EQ(words[2].toInt(), next[words[0]]++) << line.toStdString();
    }
}

// The three starts: a writable folder gets the file (once) and shows Segmatic; a file the
// system refuses, or a named pipe, leaves Tahoma at -11; an unwritable folder fills the user's
// fonts folder (once) and shows Tahoma at 38. Root writes anywhere: an unwritable folder is a path
// below a file.
TEST(ClockFont, WrittenOnceWhereItCanBeAndChosenByWhatIsBesideTheProgram)
{
    QTemporaryDir root;
    const QString exeFile = root.filePath("Segmatic.ttf");
    const QString fontsFile = root.filePath("fonts/Segmatic.ttf");
    const QByteArray resource = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    ASSERT_FALSE(resource.isEmpty());
    ClockFont font;
    font.SetCurrentDir(root.path());
    font.SetUserFontsDir(root.filePath("fonts"));
    const auto choice = [&font] {
        const FontDescription chosen = font.Choose({-11, 700, false, true, "Tahoma"});
        return std::make_pair(chosen.face, chosen.height);
    };

    font.Install();
    EXPECT_EQ(QFileInfo(exeFile).size(), resource.size());
    EXPECT_EQ(choice(), std::make_pair(QString("Segmatic"), 39));

    WriteFile(exeFile, resource.left(100));
    font.Install();
    EXPECT_EQ(QFileInfo(exeFile).size(), 100);
    EXPECT_EQ(choice(), std::make_pair(QString("Tahoma"), -11));
    ASSERT_TRUE(QDir(root.path()).mkdir("pipe"));
    ASSERT_EQ(::mkfifo(root.filePath("pipe/Segmatic.ttf").toLocal8Bit().constData(), 0600), 0);
    font.SetCurrentDir(root.filePath("pipe"));
    EXPECT_EQ(choice(), std::make_pair(QString("Tahoma"), -11)); // refused, not waited on
    font.SetCurrentDir(root.path());
    font.SetAdder([](const QString&) { return QStringList{"DejaVu Sans"}; }); // not Segmatic
    EXPECT_EQ(choice(), std::make_pair(QString("Tahoma"), -11));

    WriteFile(root.filePath("file"), "x");
    font.SetCurrentDir(root.filePath("file"));
    font.Install();
    EXPECT_EQ(QFileInfo(fontsFile).size(), resource.size());
    EXPECT_EQ(choice(), std::make_pair(QString("Tahoma"), 38));
    const timeval epoch[2] = {};
    ASSERT_EQ(::utimes(fontsFile.toLocal8Bit().constData(), epoch), 0);
    font.Install();
    EXPECT_EQ(QFileInfo(fontsFile).lastModified().toSecsSinceEpoch(), 0);
}
