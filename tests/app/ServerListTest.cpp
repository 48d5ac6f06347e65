#include "AppTestSupport.h"

#include "app/ServerListFile.h"
#include "app/SyncDlg.h"
#include "controls/IComboBox.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace
{

// The selector's entries after the window's loading from content (none: no file); checks
// that the first is selected.
QStringList Load(const std::optional<QByteArray>& content)
{
    TempExeDir folder;
    if (content) {
        folder.WriteServerList(*content);
    }
    CSyncDlg dlg;
    dlg.SetExeDir(folder.Path());
    dlg.SetExeDirCurrent();
    dlg.LoadServerList();
    QStringList entries;
    for (int i = 0; i < dlg.m_comboServer->count(); ++i) {
        entries.append(dlg.m_comboServer->itemText(i));
    }
    EXPECT_EQ(dlg.m_comboServer->currentIndex(), 0);
    EXPECT_EQ(dlg.m_comboServer->currentText(), entries.value(0));
    return entries;
}

const QStringList kBuiltIns = {"pool.ntp.org", "time.cloudflare.com", "time.nist.gov"};

struct ListCase {
    const char* name;
    std::optional<QByteArray> content;
    QStringList entries; // in the selector's order
};

class ServerListTest : public testing::TestWithParam<ListCase>
{
};

TEST_P(ServerListTest, FillsTheSelectorInItsOrder)
{
    EXPECT_EQ(Load(GetParam().content), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ServerListTest,
    testing::Values(
        ListCase{"NoFile", std::nullopt, kBuiltIns},
        ListCase{"CommentsOnly", "# servers\r\n#time.example\r\n", kBuiltIns},
        ListCase{"SortedIgnoringCase",
                 "zeta.example\r\nAlpha.example\r\nbeta.example\r\n",
                 {"Alpha.example", "beta.example", "zeta.example"}},
        ListCase{"CommentOnlyInFirstColumn", "#skipped\r\n #kept\r\n", {" #kept"}},
        ListCase{"TrailingBlanksAndTabGo",
                 "  a.example \t \r\nb.example\t\r\n",
                 {"  a.example", "b.example"}},
        ListCase{"BlankLineFirstAndSelected", "\r\ntime.example\r\n", {"", "time.example"}},
        ListCase{"NoFinalLineEnd", "a.example\r\nb.example", {"a.example", "b.example"}},
        ListCase{"DuplicatesKept",
                 "a.example\r\nb.example\r\na.example\r\n",
                 {"a.example", "a.example", "b.example"}},
        ListCase{"LineFeedsOnly", "b.example\na.example\n \t\n", {"", "a.example", "b.example"}}),
    [](const testing::TestParamInfo<ListCase>& test) { return test.param.name; });

TEST(ServerListFile, TakesLongLinesWholeAndStopsAtItsLimits)
{
    const QByteArray longHost = QByteArray(30000, 'a') + ".example";
    EXPECT_EQ(Load(longHost + "\nb.example\n"), QStringList({QString(longHost), "b.example"}));

    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator random(4);
    std::generate(noise.begin(), noise.end(), [&] { return char(random.bounded(256)); });
    EXPECT_FALSE(Load(noise).isEmpty());

    // Past the byte limit nothing is read, and the line it cuts through is left out.
    TempExeDir folder;
    folder.WriteServerList("a.example\n" + QByteArray(3 * ServerListFile::kMaxBytes, 'x'));
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt"), QStringList{"a.example"});

    folder.WriteServerList(QByteArray("s.example\n").repeated(3000));
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt").size(),
              ServerListFile::kMaxEntries);
}

} // namespace
