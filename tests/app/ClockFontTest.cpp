#include "AppTestSupport.h"

#include "app/ClockFont.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QDateTime>
#include <QFile>
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

// Starts in a temporary folder: the executable's folder and the user's fonts folder below it.
// Root writes anywhere, so a folder that cannot be written is a path below a regular file.
class ClockFontTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(m_exeDir);
        m_font.SetCurrentDir(m_exeDir);
        m_font.SetUserFontsDir(m_fontsDir);
    }

    void MakeExeDirUnwritable()
    {
        WriteFile(m_root.filePath("file"), "x");
        m_font.SetCurrentDir(m_root.filePath("file"));
    }

    // The clock's face and height, starting from Tahoma bold -11.
    std::pair<QString, int> Choice() const
    {
        const FontDescription chosen =
            m_font.Choose(FontDescription{-11, 700, false, true, QStringLiteral("Tahoma")});
        return {chosen.face, chosen.height};
    }

    QTemporaryDir m_root;
    QString m_exeDir = m_root.filePath("exe");
    QString m_fontsDir = m_root.filePath("home/.local/share/fonts");
    QString m_exeCopy = m_exeDir + "/Segmatic.ttf";
    QString m_fontsCopy = m_fontsDir + "/Segmatic.ttf";
    QByteArray m_resource = ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
    ClockFont m_font;
};

TEST_F(ClockFontTest, AWritableFolderGetsTheFileOnceAndShowsSegmatic)
{
    ASSERT_FALSE(m_resource.isEmpty());
    m_font.Install();
    EXPECT_EQ(ReadFile(m_exeCopy), m_resource);
    EXPECT_FALSE(QFileInfo::exists(m_fontsCopy));
    EXPECT_EQ(Choice(), std::make_pair(QString("Segmatic"), 39));

    // A later start keeps whatever file is there; one the system refuses leaves Tahoma at -11,
    // as does a font that adds but is not Segmatic.
    WriteFile(m_exeCopy, m_resource.left(100));
    m_font.Install();
    EXPECT_EQ(ReadFile(m_exeCopy), m_resource.left(100));
    EXPECT_EQ(Choice(), std::make_pair(QString("Tahoma"), -11));
    m_font.SetAdder([](const QString&) { return QStringList{"DejaVu Sans"}; });
    EXPECT_EQ(Choice(), std::make_pair(QString("Tahoma"), -11));
}

TEST_F(ClockFontTest, AnUnwritableFolderFillsTheFontsFolderOnceAndShowsTahomaAt38)
{
    MakeExeDirUnwritable();
    m_font.Install();
    EXPECT_EQ(ReadFile(m_fontsCopy), m_resource);
    EXPECT_EQ(Choice(), std::make_pair(QString("Tahoma"), 38));

    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6));
    {
        QFile copy(m_fontsCopy);
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        ASSERT_TRUE(copy.setFileTime(old, QFileDevice::FileModificationTime));
    }
    m_font.Install();
    EXPECT_EQ(QFileInfo(m_fontsCopy).lastModified(), old);

    // Nothing to write: no file anywhere, Tahoma at 38 as well.
    ClockFont empty;
    empty.SetCurrentDir(m_exeDir);
    empty.SetUserFontsDir(m_fontsDir + "2");
    empty.SetFontData([] { return QByteArray(); });
    empty.Install();
    EXPECT_FALSE(QFileInfo::exists(m_exeCopy));
    EXPECT_EQ(empty.Choose(FontDescription{-11, 700, false, true, "Tahoma"}).height, 38);
}

} // namespace
