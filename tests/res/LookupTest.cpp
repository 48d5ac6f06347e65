#include "res/ResourceLoader.h"
#include "res/Version.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include <string>

namespace
{

TEST(LookupTest, EveryResourceIdFindsAnEmbeddedFile)
{
    for (int id : {IDR_MAINFRAME, IDI_ABOUT, IDB_SKIN, IDR_SEGMATIC, IDB_GET, IDB_SET, IDB_MINIMIZE,
                   IDB_ABOUT, IDB_CLOSE, IDC_HAND_PRESSED, IDC_HAND}) {
        const QString path = ResourceLoader::Path(id);
        EXPECT_TRUE(path.startsWith(":/")) << id;
        EXPECT_TRUE(QFile::exists(path)) << id;
    }
}

TEST(LookupTest, UnknownIdsAndWrongTypesFindNothing)
{
    EXPECT_TRUE(ResourceLoader::Path(9999).isEmpty());
    EXPECT_TRUE(ResourceLoader::LoadBitmap(9999).isNull());
    EXPECT_TRUE(ResourceLoader::LoadBitmap(IDC_HAND).isNull());
    EXPECT_TRUE(ResourceLoader::LoadData(RT_TTF, IDB_SKIN).isEmpty());
    EXPECT_TRUE(ResourceLoader::LoadData(nullptr, IDR_SEGMATIC).isEmpty());
    EXPECT_TRUE(ResourceLoader::LoadString(9999).isEmpty());
}

TEST(LookupTest, StartUpFailureString)
{
    EXPECT_EQ(ResourceLoader::LoadString(IDS_SOCKETS_INIT_FAILED),
              QStringLiteral("Windows sockets initialization failed."));
}

TEST(VersionTest, AgreesWithTheBuild)
{
    EXPECT_STREQ(Version::kVersion, HORALINK_BUILD_VERSION);
    const std::string parts =
        std::to_string(Version::kMajor) + "." + std::to_string(Version::kMinor) + "." +
        std::to_string(Version::kPatch) + "." + std::to_string(Version::kBuild);
    EXPECT_EQ(parts, Version::kVersion);
    EXPECT_EQ(std::to_string(Version::kMajor) + "." + std::to_string(Version::kMinor),
              Version::kShortVersion);
}

} // namespace
