#include "AppTestSupport.h"

#include "app/ServerListFile.h"
#include "app/SyncDlg.h"
#include "controls/IComboBox.h"

#include <gtest/gtest.h>

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
    return entries;
}

TEST(ServerList, FillsTheSelectorInItsOrder)
{
    const QStringList builtIns = {"pool.ntp.org", "time.cloudflare.com", "time.nist.gov"};
    const std::pair<std::optional<QByteArray>, QStringList> cases[] = {
        {std::nullopt, builtIns},
        {"# servers\r\n#time.example\r\n", builtIns},
        // Sorted ignoring case, duplicates kept, trailing blanks and tabs gone, "#" a comment
        // only in the first column, no final line end needed.
        {"zeta.example \t\r\nAlpha.example\r\n #kept\r\nzeta.example",
         {" #kept", "Alpha.example", "zeta.example", "zeta.example"}},
        // A blank line is an entry, first and selected; line feeds alone end lines too.
        {"b.example\na.example\n \t\n", {"", "a.example", "b.example"}},
    };
    for (const auto& [content, entries] : cases) {
        EXPECT_EQ(Load(content), entries);
    }
}

TEST(ServerListFile, TakesLongLinesWholeAndStopsAtItsLimits)
{
    const QByteArray longHost = QByteArray(30000, 'a') + ".example";
    EXPECT_EQ(Load(longHost + "\nb.example\n"), QStringList({QString(longHost), "b.example"}));

    // Past the byte limit nothing is read, and the line it cuts through is left out.
    TempExeDir folder;
    folder.WriteServerList("a.example\n" + QByteArray(3 * ServerListFile::kMaxBytes, 'x'));
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt"), QStringList{"a.example"});

    folder.WriteServerList(QByteArray("s.example\n").repeated(3000));
    EXPECT_EQ(ServerListFile::Read(folder.Path() + "/url/time.txt").size(),
              ServerListFile::kMaxEntries);
}

} // namespace
