#include "controls/TahomaFont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>

#include <cmath>

namespace
{

const char* const kFaceName = "Tahoma";
const char* const kWineFaces[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                  "/usr/share/wine/fonts/tahomabd.ttf"};

// A large reference size keeps the rounding of the cell-height scale small.
constexpr int kReferencePixels = 1000;

} // namespace

QString CTahomaFont::Family()
{
    // Font files are added once per process; every later call reuses the answer.
    static const QString family = FindFamily();
    return family;
}

QString CTahomaFont::FindFamily()
{
    if (QFontDatabase::families().contains(kFaceName, Qt::CaseInsensitive)) {
        return kFaceName;
    }
    QString family;
    for (const char* path : kWineFaces) {
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0 || !family.isEmpty()) {
            continue;
        }
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) {
            family = families.first();
        }
    }
    return family.isEmpty() ? QString(kFaceName) : family;
}

QFont CTahomaFont::Font(int nLogHeight, QFont::Weight weight, bool bUnderline)
{
    QFont font(Family());
    font.setWeight(weight);
    font.setUnderline(bUnderline);
    SetLogHeight(font, nLogHeight);
    return font;
}

void CTahomaFont::SetLogHeight(QFont& font, int nLogHeight)
{
    if (nLogHeight < 0) {
        font.setPixelSize(-nLogHeight);
        return;
    }
    if (nLogHeight == 0) {
        return;
    }
    // A positive height is the cell height: scale the em so that ascent + descent matches it.
    QFont probe(font);
    probe.setPixelSize(kReferencePixels);
    const QFontMetricsF metrics(probe);
    const qreal cell = metrics.ascent() + metrics.descent();
    if (cell <= 0) {
        font.setPixelSize(nLogHeight);
        return;
    }
    const int em = static_cast<int>(std::lround(nLogHeight * kReferencePixels / cell));
    font.setPixelSize(std::max(1, em));
}
