#include "controls/TahomaFont.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QRawFont>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace
{

const char* const kFaceName = "Tahoma";
const char* const kWineFaces[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                  "/usr/share/wine/fonts/tahomabd.ttf"};

// Where the OS/2 table keeps usWinAscent and usWinDescent (big-endian 16-bit each).
const char* const kOs2Table = "OS/2";
constexpr int kWinAscentOffset = 74;
constexpr int kWinDescentOffset = 76;

} // namespace

QString CTahomaFont::Family()
{
    // Font files are added once per process; every later call reuses the answer.
    static const QString family = AddFacesOnce();
    return family;
}

QString CTahomaFont::AddFacesOnce()
{
    // Both Wine faces are of the family "Tahoma": regular and bold.
    if (!QFontDatabase::families().contains(kFaceName, Qt::CaseInsensitive)) {
        for (const char* path : kWineFaces) {
            QFontDatabase::addApplicationFont(path);
        }
    }
    return kFaceName;
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
    const int em = EmForCell(font, nLogHeight);
    font.setPixelSize(em > 0 ? em : MetricsEmForCell(font, nLogHeight));
}

// A cell is measured by the face's Windows metrics (usWinAscent + usWinDescent of
// its OS/2 table), which for most faces exceed the ascent and descent Qt reports: Tahoma's cell
// is 1.21 em, Qt's 0.97 em.
double CTahomaFont::CellPerEm(const QFont& font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray os2 = raw.fontTable(kOs2Table);
    if (!raw.isValid() || os2.size() < kWinDescentOffset + 2 || raw.unitsPerEm() <= 0) {
        return 0;
    }
    const int cell = qFromBigEndian<quint16>(os2.constData() + kWinAscentOffset) +
                     qFromBigEndian<quint16>(os2.constData() + kWinDescentOffset);
    return cell / raw.unitsPerEm();
}

int CTahomaFont::EmForCell(const QFont& font, int nCellHeight)
{
    const double cellPerEm = CellPerEm(font);
    if (cellPerEm <= 0) {
        return 0;
    }
    return std::max(1, static_cast<int>(std::lround(nCellHeight / cellPerEm)));
}

int CTahomaFont::CellHeight(const QFont& font)
{
    const double cellPerEm = CellPerEm(font);
    if (cellPerEm <= 0 || font.pixelSize() <= 0) {
        return QFontMetrics(font).height();
    }
    return static_cast<int>(std::lround(font.pixelSize() * cellPerEm));
}

void CTahomaFont::UseBitmapStrikes(QFont& font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoAntialias));
}

// Without an OS/2 table: the largest em whose hinted ascent + descent still fits, counted up
// from 1; a cell holds its em, so the count ends long before the bound, which only keeps a
// broken face from running on.
int CTahomaFont::MetricsEmForCell(const QFont& font, int nCellHeight)
{
    QFont probe(font);
    const auto cellAt = [&probe](int pixels) {
        probe.setPixelSize(pixels);
        const QFontMetrics metrics(probe);
        return metrics.ascent() + metrics.descent();
    };
    int em = 1;
    while (em < 4 * nCellHeight && cellAt(em + 1) <= nCellHeight) {
        ++em;
    }
    return em;
}
