#include "app/ClockFont.h"
#include "app/FontDescription.h"
#include "app/WindowFonts.h"
#include "tests/app/QStringPrinter.h"

#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTemporaryDir>
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

QByteArray FontResource()
{
    return ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC);
}

FontDescription TahomaBold()
{
    FontDescription tahoma;
    tahoma.height = -11;
    tahoma.weight = 700;
    tahoma.face = QStringLiteral("Tahoma");
    return tahoma;
}

// A start in a temporary folder: the executable's folder and the user's fonts folder below it.
// Root ignores permissions, so a folder that cannot be written is a path below a regular file.
class ClockFontTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_exeDir = m_root.filePath("exe");
        m_fontsDir = m_root.filePath("home/.local/share/fonts");
        QDir().mkpath(m_exeDir);
        m_font.SetCurrentDir(m_exeDir);
        m_font.SetUserFontsDir(m_fontsDir);
    }

    void MakeExeDirUnwritable()
    {
        m_exeDir = m_root.filePath("not-a-folder");
        WriteFile(m_exeDir, "x");
        m_font.SetCurrentDir(m_exeDir);
    }

    QString ExeCopy() const { return QDir(m_exeDir).filePath("Segmatic.ttf"); }
    QString FontsCopy() const { return QDir(m_fontsDir).filePath("Segmatic.ttf"); }

    QTemporaryDir m_root;
    QString m_exeDir;
    QString m_fontsDir;
    ClockFont m_font;
};

TEST_F(ClockFontTest, FirstStartInAWritableFolderWritesTheFontAndShowsSegmatic)
{
    ASSERT_FALSE(FontResource().isEmpty());
    m_font.Install();
    EXPECT_EQ(ReadFile(ExeCopy()), FontResource());
    EXPECT_FALSE(QFileInfo::exists(FontsCopy()));

    const FontDescription clock = m_font.Choose(TahomaBold());
    EXPECT_EQ(clock.face, "Segmatic");
    EXPECT_EQ(clock.height, 39);
    EXPECT_EQ(clock.weight, 400);
    EXPECT_TRUE(clock.fixedPitch);
    const QFont font = clock.CreateFont();
    EXPECT_EQ(QFontInfo(font).family(), "Segmatic");
    // Cell height 39: ascent plus descent fills it without exceeding it.
    const QFontMetrics metrics(font);
    EXPECT_LE(metrics.ascent() + metrics.descent(), 39);
    EXPECT_GE(metrics.ascent() + metrics.descent(), 37);
}

TEST_F(ClockFontTest, AFilePresentIsNeverRewrittenAndFallsBackWhenItCannotBeAdded)
{
    m_font.Install();
    // A later start finds a file of the same name, here a truncated one: it stays as it is,
    // and since it does not add, the clock keeps the small bold Tahoma.
    const QByteArray truncated = FontResource().left(100);
    WriteFile(ExeCopy(), truncated);
    m_font.Install();
    EXPECT_EQ(ReadFile(ExeCopy()), truncated);

    const FontDescription clock = m_font.Choose(TahomaBold());
    EXPECT_EQ(clock.face, "Tahoma");
    EXPECT_EQ(clock.height, -11);
    EXPECT_EQ(clock.weight, 700);
}

TEST_F(ClockFontTest, UnwritableFolderWritesTheFontsFolderOnceAndShowsTahomaAt38)
{
    MakeExeDirUnwritable();
    m_font.Install();
    EXPECT_EQ(ReadFile(FontsCopy()), FontResource());

    FontDescription clock = m_font.Choose(TahomaBold());
    EXPECT_EQ(clock.face, "Tahoma");
    EXPECT_EQ(clock.height, 38);
    EXPECT_EQ(clock.weight, 700);

    // The next start leaves the identical copy alone.
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6));
    {
        QFile copy(FontsCopy());
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        ASSERT_TRUE(copy.setFileTime(old, QFileDevice::FileModificationTime));
    }
    m_font.Install();
    EXPECT_EQ(QFileInfo(FontsCopy()).lastModified(), old);
}

TEST_F(ClockFontTest, NowhereToWriteOrNothingToWriteFallsBackTo38)
{
    MakeExeDirUnwritable();
    const QString blocked = m_root.filePath("blocked");
    WriteFile(blocked, "x");
    m_font.SetUserFontsDir(blocked + "/fonts");
    m_font.Install();
    EXPECT_EQ(m_font.Choose(TahomaBold()).height, 38);

    ClockFont noResource;
    noResource.SetCurrentDir(m_root.filePath("exe"));
    noResource.SetUserFontsDir(m_fontsDir);
    noResource.SetFontData([] { return QByteArray(); });
    noResource.Install();
    EXPECT_FALSE(QFileInfo::exists(ExeCopy()));
    EXPECT_FALSE(QFileInfo::exists(FontsCopy()));
    EXPECT_EQ(noResource.Choose(TahomaBold()).height, 38);
}

TEST_F(ClockFontTest, RefusedOrForeignFontKeepsTahomaBoldAtEleven)
{
    m_font.Install();
    for (const QStringList& families : {QStringList(), QStringList{"DejaVu Sans"}}) {
        m_font.SetAdder([&](const QString&) { return families; });
        const FontDescription clock = m_font.Choose(TahomaBold());
        EXPECT_EQ(clock.face, "Tahoma");
        EXPECT_EQ(clock.height, -11);
        EXPECT_EQ(clock.CreateFont().pixelSize(), 11);
        EXPECT_EQ(clock.CreateFont().weight(), QFont::Bold);
    }
}

TEST_F(ClockFontTest, WindowFontsAreTahomaElevenInTwoWeightsAndTheClockFace)
{
    const WindowFonts fonts = WindowFonts::Create(QStringLiteral("Tahoma"), m_font);
    EXPECT_EQ(fonts.normal.family(), "Tahoma");
    EXPECT_EQ(fonts.normal.pixelSize(), 11);
    EXPECT_EQ(fonts.normal.weight(), QFont::Normal);
    EXPECT_EQ(fonts.bold.family(), "Tahoma");
    EXPECT_EQ(fonts.bold.pixelSize(), 11);
    EXPECT_EQ(fonts.bold.weight(), QFont::Bold);
    EXPECT_EQ(fonts.clock.family(), "Segmatic");
    EXPECT_TRUE(QFileInfo::exists(ExeCopy()));
}

} // namespace
