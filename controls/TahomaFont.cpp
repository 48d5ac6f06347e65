#include "controls/TahomaFont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QStringList>

#include <algorithm>
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
    // A positive height is the cell height: start from the linear scale of the em, then step
    // to the largest em whose hinted ascent + descent still fits.
    QFont probe(font);
    probe.setPixelSize(kReferencePixels);
    const QFontMetricsF reference(probe);
    const qreal referenceCell = reference.ascent() + reference.descent();
    int em = referenceCell > 0
                 ? static_cast<int>(std::lround(nLogHeight * kReferencePixels / referenceCell))
                 : nLogHeight;
    em = std::max(1, em);
    const auto cellAt = [&probe](int pixels) {
        probe.setPixelSize(pixels);
        const QFontMetrics metrics(probe);
        return metrics.ascent() + metrics.descent();
    };
    while (em > 1 && cellAt(em) > nLogHeight) {
        --em;
    }
    while (em < 4 * nLogHeight && cellAt(em + 1) <= nLogHeight) {
        ++em;
    }
    font.setPixelSize(em);
}
