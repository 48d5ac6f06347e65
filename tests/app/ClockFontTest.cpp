#include "AppTestSupport.h"

#include "app/ClockFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QDateTime>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace
{

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The clock's face and height, starting from Tahoma bold -11.
std::pair<QString, int> Choice(const ClockFont& font)
{
    const FontDescription chosen = font.Choose(FontDescription{-11, 700, false, true, "Tahoma"});
    return {chosen.face, chosen.height};
}

// The three starts: a writable folder gets the file (once) and shows Segmatic; a file the
// system refuses leaves Tahoma at -11; an unwritable folder fills the user's fonts folder (once)
// and shows Tahoma at 38. Root writes anywhere: an unwritable folder is a path below a file.
TEST(ClockFont, WrittenOnceWhereItCanBeAndChosenByWhatIsBesideTheProgram)
{
    QTemporaryDir root;
    const QString exeDir = root.filePath("exe");
    const QString fontsDir = root.filePath("home/.local/share/fonts");
    const QByteArray resource = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    ASSERT_FALSE(resource.isEmpty());
    QDir().mkpath(exeDir);
    ClockFont font;
    font.SetCurrentDir(exeDir);
    font.SetUserFontsDir(fontsDir);

    font.Install();
    EXPECT_EQ(ReadFile(exeDir + "/Segmatic.ttf"), resource);
    EXPECT_FALSE(QFileInfo::exists(fontsDir + "/Segmatic.ttf"));
    EXPECT_EQ(Choice(font), std::make_pair(QString("Segmatic"), 39));

    WriteFile(exeDir + "/Segmatic.ttf", resource.left(100));
    font.Install();
    EXPECT_EQ(ReadFile(exeDir + "/Segmatic.ttf"), resource.left(100));
    EXPECT_EQ(Choice(font), std::make_pair(QString("Tahoma"), -11));
    font.SetAdder([](const QString&) { return QStringList{"DejaVu Sans"}; }); // not Segmatic
    EXPECT_EQ(Choice(font), std::make_pair(QString("Tahoma"), -11));

    WriteFile(root.filePath("file"), "x");
    font.SetCurrentDir(root.filePath("file"));
    font.Install();
    EXPECT_EQ(ReadFile(fontsDir + "/Segmatic.ttf"), resource);
    EXPECT_EQ(Choice(font), std::make_pair(QString("Tahoma"), 38));
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6));
    {
        QFile copy(fontsDir + "/Segmatic.ttf");
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        ASSERT_TRUE(copy.setFileTime(old, QFileDevice::FileModificationTime));
    }
    font.Install();
    EXPECT_EQ(QFileInfo(fontsDir + "/Segmatic.ttf").lastModified(), old);
}

} // namespace
