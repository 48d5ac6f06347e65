#include "AppTestSupport.h"

#include "app/servers/InstallLayout.h"
#include "app/servers/ServerListFile.h"
#include "app/window/ClockFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QLineEdit>

#include <sys/stat.h>

// Installed only from a prefix's bin/ with its share/horalink/ and no url/ beside the program, as
// this build installs it wherever its relative folders lead (a prefix unpacked below a temporary
// root, as by dpkg -x). The installed window, as a user starts it, offers the system's servers,
// keeps the directory it was started in and shows the seven-segment clock without writing its
// font beside the program (tests/install/install_test.sh shows that it writes nothing at all).
// Then the user's list (in XDG_CONFIG_HOME while this test lives) replaces the system's.
TEST(InstallLayout, TellsTheLayoutsApartAndPicksTheServerList)
{
    QTemporaryDir root;
    const QByteArray config = qgetenv("XDG_CONFIG_HOME"), home = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", root.filePath("config").toUtf8());
    const QString bin = root.filePath("a/b/c/bin");
    const QString userList = root.filePath("config/horalink/time.txt");
    const QString systemList = QDir::cleanPath(
        QDir(bin).filePath(InstallLayout::Compiled().sysconf + "/horalink/time.txt"));

    QDir().mkpath(bin);
    EXPECT_EQ(ServerListFile::Locate(InstallLayout::Detect(bin)), bin + "/url/time.txt");
    QDir(bin).mkpath(InstallLayout::Compiled().data + "/horalink");
    const InstallLayout installed = InstallLayout::Detect(bin);
    ASSERT_TRUE(installed.IsInstalled());
    EXPECT_EQ(ServerListFile::Locate(installed), QString());
    WriteFile(systemList, "# the system's list\nb.example\na.example\n");
    {
        const QString started = QDir::currentPath();
        TestWindow window;
        window.dlg.SetExeDir(bin);
        window.dlg.OnInitDialog();
        EXPECT_EQ(ServerEntries(window.dlg), QStringList({"a.example", "b.example"}));
        EXPECT_EQ(QDir::currentPath(), started);
        EXPECT_EQ(Control<QLineEdit>(window.dlg, "editTime")->font().family(), "Segmatic");
        EXPECT_FALSE(QFileInfo::exists(bin + "/Segmatic.ttf"));
    }
    WriteFile(userList, "u.example\n");
    EXPECT_EQ(ServerListFile::Locate(installed), userList);
    // A relative XDG_CONFIG_HOME is no configuration home: ~/.config stands in, even where the
    // relative path leads to a list.
    qputenv("HOME", root.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", QDir::current().relativeFilePath(root.filePath("config")).toUtf8());
    EXPECT_EQ(installed.UserConfigDir(), root.filePath("home/.config/horalink"));
    EXPECT_EQ(ServerListFile::Locate(installed), systemList);
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", config);

    // A folder holding url/ is the user's choice of a portable program, even inside a prefix.
    QDir().mkpath(bin + "/url");
    EXPECT_FALSE(InstallLayout::Detect(bin).IsInstalled());
}

// The font file is written once into a writable portable folder and the clock shows Segmatic;
// a file there that is no usable font is refused (Tahoma at -11) and never waited on; where the
// file cannot be written the face comes from memory (as always when installed: the installed
// window in InstallLayout.TellsTheLayoutsApartAndPicksTheServerList). Root writes anywhere: an
// unwritable folder is a path below a file.
TEST(ClockFont, WrittenOnlyBesideAPortableProgramAndAddedFromMemoryOtherwise)
{
    QTemporaryDir root;
    const QString file = root.filePath("Segmatic.ttf");
    const QByteArray resource = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    ASSERT_FALSE(resource.isEmpty());
    int fromMemory = 0;
    ClockFont font{InstallLayout(root.path())};
    font.SetDataAdder([&fromMemory, &resource](const QByteArray& data) {
        ++fromMemory;
        return QStringList{data == resource ? "Segmatic" : "Other"};
    });
    // The face and height chosen, and how many faces came from memory so far.
    const auto choice = [&font, &fromMemory] {
        const FontDescription chosen = font.Choose({-11, 700, false, true, "Tahoma"});
        return QStringLiteral("%1 %2 %3").arg(chosen.face).arg(chosen.height).arg(fromMemory);
    };

    font.Install();
    EXPECT_EQ(QFileInfo(file).size(), resource.size());
    EXPECT_EQ(choice(), "Segmatic 39 0");

    WriteFile(file, resource.left(100));
    font.Install();
    EXPECT_EQ(QFileInfo(file).size(), 100);
    EXPECT_EQ(choice(), "Tahoma -11 0");
    ASSERT_TRUE(QDir(root.path()).mkdir("pipe"));
    ASSERT_EQ(::mkfifo(root.filePath("pipe/Segmatic.ttf").toLocal8Bit().constData(), 0600), 0);
    font.SetFolder(root.filePath("pipe"));
    EXPECT_EQ(choice(), "Tahoma -11 0");

    WriteFile(root.filePath("file"), "x");
    font.SetFolder(root.filePath("file"));
    font.Install();
    EXPECT_EQ(choice(), "Segmatic 39 1");
}
