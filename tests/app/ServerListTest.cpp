#include "AppTestSupport.h"

#include "app/ServerListFile.h"
#include "app/SyncDlg.h"

#include <QComboBox>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <optional>

namespace
{

QStringList Entries(const QComboBox& combo)
{
    QStringList entries;
    for (int i = 0; i < combo.count(); ++i) {
        entries.append(combo.itemText(i));
    }
    return entries;
}

// Loads the list from content (none: no file) the way the window's set-up does.
struct Loaded {
    QStringList entries;
    int current;
    QString editText;
};

Loaded Load(const std::optional<QByteArray>& content)
{
    TempExeDir folder;
    if (content) {
        folder.WriteServerList(*content);
    }
    CSyncDlg dlg;
    dlg.SetExeDir(folder.Path());
    dlg.SetExeDirCurrent();
    dlg.LoadServerList();
    return {Entries(*dlg.m_comboServer), dlg.m_comboServer->currentIndex(),
            dlg.m_comboServer->currentText()};
}

const QStringList kBuiltIns = {"pool.ntp.org", "time.cloudflare.com", "time.nist.gov"};

struct ListCase {
    const char* name;
    std::optional<QByteArray> content;
    QStringList entries; // in the selector's order; the first is selected
};

class ServerListTest : public testing::TestWithParam<ListCase>
{
};

TEST_P(ServerListTest, FillsTheSelectorInItsOrderAndSelectsTheFirst)
{
    const ListCase& c = GetParam();
    const Loaded loaded = Load(c.content);
    EXPECT_EQ(loaded.entries, c.entries);
    EXPECT_EQ(loaded.current, 0);
    EXPECT_EQ(loaded.editText, c.entries.value(0));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ServerListTest,
    testing::Values(
        ListCase{"NoFile", std::nullopt, kBuiltIns}, ListCase{"EmptyFile", QByteArray(), kBuiltIns},
        ListCase{"CommentsOnly", "# servers\r\n#time.example\r\n", kBuiltIns},
        ListCase{"SortedCaseInsensitive",
                 "zeta.example\r\nAlpha.example\r\nbeta.example\r\n",
                 {"Alpha.example", "beta.example", "zeta.example"}},
        ListCase{"CommentOnlyInFirstColumn",
                 "#skipped\r\n #kept\r\n\t#kept too\r\n",
                 {"\t#kept too", " #kept"}},
        ListCase{"TrailingBlanksAndTabGoLeadingStay",
                 "  a.example \t \r\nb.example\t\r\n",
                 {"  a.example", "b.example"}},
        ListCase{"BlankLineFirstAndSelected", "\r\ntime.example\r\n", {"", "time.example"}},
        ListCase{"WhiteSpaceLineIsEmptyEntry", "time.example\r\n \t \r\n", {"", "time.example"}},
        ListCase{"NoFinalLineEnd", "a.example\r\nb.example", {"a.example", "b.example"}},
        ListCase{"DuplicatesKept",
                 "a.example\r\nb.example\r\na.example\r\n",
                 {"a.example", "a.example", "b.example"}},
        ListCase{"LineFeedsOnly", "b.example\na.example\n\n", {"", "a.example", "b.example"}},
        ListCase{"Utf8Bytes",
                 "zeit.\xc3\xa4rger.example\n",
                 {QString::fromUtf8("zeit.\xc3\xa4rger.example")}}),
    [](const testing::TestParamInfo<ListCase>& test) { return test.param.name; });

TEST(ServerListFile, ReadsAVeryLongLineWhole)
{
    const QByteArray host = QByteArray(200000, 'a') + ".example";
    const Loaded loaded = Load("b.example\n" + host + "\n");
    ASSERT_EQ(loaded.entries.size(), 2);
    EXPECT_EQ(loaded.entries[0], QString::fromLatin1(host));
}

// A binary file gives some entries, never a crash, and the window still loads.
TEST(ServerListFile, SurvivesABinaryFile)
{
    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator random(4);
    for (char& byte : noise) {
        byte = static_cast<char>(random.bounded(256));
    }
    const Loaded loaded = Load(noise);
    EXPECT_FALSE(loaded.entries.isEmpty());
    EXPECT_LE(loaded.entries.size(), ServerListFile::kMaxEntries);
}

// Only the start of a huge file is read; the line the limit cuts through is left out.
TEST(ServerListFile, ReadsOnlyTheStartOfAHugeFile)
{
    QByteArray content;
    while (content.size() < 3 * ServerListFile::kMaxBytes) {
        content += "#" + QByteArray(1000, 'c') + "\n";
    }
    content.insert(0, "first.example\n");
    TempExeDir folder;
    folder.WriteServerList(content);
    const QStringList entries = ServerListFile::Read(folder.Path() + "/url/time.txt");
    EXPECT_EQ(entries, QStringList{"first.example"});

    QByteArray cut = QByteArray("a.example\n") + QByteArray(ServerListFile::kMaxBytes, 'x');
    folder.WriteServerList(cut);
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt"), QStringList{"a.example"});
}

TEST(ServerListFile, KeepsAtMostTheEntryLimit)
{
    QByteArray content;
    for (int i = 0; i < 3000; ++i) {
        content += "server" + QByteArray::number(i) + ".example\n";
    }
    TempExeDir folder;
    folder.WriteServerList(content);
    const QStringList entries = ServerListFile::Read(folder.Path() + "/url/time.txt");
    ASSERT_EQ(entries.size(), ServerListFile::kMaxEntries);
    EXPECT_EQ(entries.front(), "server0.example");
}

} // namespace
