// Draws one picture of all the program's artwork as the program carries it: the skin alone and
// with the faces and the clock font in their places, every button face enlarged, both hand
// cursors, the icons and the clock digits at the size the window uses.
//
//   QT_QPA_PLATFORM=offscreen horalink_artwork_sheet docs/artwork.png
#include "res/ResourceLoader.h"
#include "res/SkinLayout.h"
#include "res/resource.h"

#include <QBitmap>
#include <QBuffer>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace
{

constexpr int kMargin = 24;
const QColor kSheet(250, 250, 252);
const QColor kCaption(40, 40, 48);

QImage Enlarged(const QImage& image, int factor)
{
    return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// The digits as the digital clock shows them: Segmatic with a cell of `cell` pixels.
QFont ClockFont(int cell)
{
    QFont font(QStringLiteral("Segmatic"));
    font.setPixelSize(cell);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

class Sheet
{
public:
    explicit Sheet(QImage* image) : m_p(image)
    {
        m_p.fillRect(image->rect(), kSheet);
        m_p.setRenderHint(QPainter::TextAntialiasing);
    }

    void Heading(int x, int y, const QString& text)
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(15);
        f.setBold(true);
        m_p.setFont(f);
        m_p.setPen(kCaption);
        m_p.drawText(x, y, text);
    }

    void Caption(int x, int y, const QString& text)
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(11);
        m_p.setFont(f);
        m_p.setPen(kCaption);
        m_p.drawText(x, y, text);
    }

    void Image(int x, int y, const QImage& image) { m_p.drawImage(x, y, image); }

    // The window as it appears: the skin cut to its rounded outline, with the faces and the
    // clock's digits at the places the window gives them.
    void Window(int x, int y, int factor)
    {
        const QImage skin = ResourceLoader::LoadBitmap(IDB_SKIN);
        QImage window(skin.size(), QImage::Format_ARGB32_Premultiplied);
        window.fill(Qt::transparent);
        {
            QPainter w(&window);
            QPainterPath outline;
            outline.addRoundedRect(QRectF(0, 0, skin.width(), skin.height()), 6, 6);
            w.setClipPath(outline);
            w.drawImage(0, 0, skin);
            const struct {
                int id;
                QPoint at;
                int frame;
            } faces[] = {{IDB_CLOSE, SkinLayout::kClose.topLeft(), 2},
                         {IDB_ABOUT, SkinLayout::kAbout.topLeft(), 0},
                         {IDB_MINIMIZE, SkinLayout::kMinimize.topLeft(), 0},
                         {IDB_GET, SkinLayout::kGet.topLeft(), 2},
                         {IDB_SET, SkinLayout::kSet.topLeft(), 0}};
            for (const auto& f : faces) {
                const QImage strip = ResourceLoader::LoadBitmap(f.id);
                const int width = strip.width() / 3;
                w.drawImage(f.at, strip.copy(f.frame * width, 0, width, strip.height()));
            }
            w.setFont(ClockFont(39));
            w.setPen(SkinLayout::kText);
            w.drawText(SkinLayout::kDigitalClock, Qt::AlignCenter, QStringLiteral("10:08:42"));
        }
        m_p.drawImage(x, y, Enlarged(window, factor));
    }

    // A strip enlarged, each face labelled with the state that shows it.
    int Strip(int x, int y, int id, int factor)
    {
        static const char* const kStates[] = {"normal", "pressed", "hot"};
        const QImage strip = ResourceLoader::LoadBitmap(id);
        const int width = strip.width() / 3;
        for (int frame = 0; frame < 3; ++frame) {
            const QImage face =
                Enlarged(strip.copy(frame * width, 0, width, strip.height()), factor);
            const int left = x + frame * (face.width() + 10);
            m_p.drawImage(left, y, face);
            Caption(left, y + face.height() + 14,
                    QStringLiteral("%1 %2").arg(frame).arg(kStates[frame]));
        }
        return 3 * (width * factor + 10);
    }

    // A cursor on a grey ground with its hot spot marked, at full size and enlarged.
    void Cursor(int x, int y, int id, int factor)
    {
        const QCursor cursor = ResourceLoader::LoadCursor(id);
        const QImage bitmap = cursor.bitmap().toImage();
        const QImage mask = cursor.mask().toImage();
        QImage shown(bitmap.size(), QImage::Format_RGB32);
        shown.fill(QColor(170, 176, 190));
        for (int py = 0; py < shown.height(); ++py) {
            for (int px = 0; px < shown.width(); ++px) {
                if (mask.pixelIndex(px, py) != 0) {
                    shown.setPixel(px, py,
                                   bitmap.pixelIndex(px, py) != 0 ? qRgb(0, 0, 0)
                                                                  : qRgb(255, 255, 255));
                }
            }
        }
        m_p.drawImage(x, y, shown);
        const QImage big = Enlarged(shown, factor);
        m_p.drawImage(x + shown.width() + 12, y, big);
        const QPoint hot = cursor.hotSpot() * factor + QPoint(x + shown.width() + 12, y);
        m_p.setPen(QPen(QColor(220, 30, 30), 2));
        m_p.drawRect(QRect(hot, QSize(factor, factor)));
    }

    // Every image of an icon file at its size, the 32-bit ones above the 8-bit ones.
    int Icons(int x, int y, int id)
    {
        QFile file(ResourceLoader::Path(id));
        file.open(QIODevice::ReadOnly);
        QImageReader reader(&file, "ico");
        int left = x;
        int tallest = 0;
        for (int i = 0; i < reader.imageCount(); ++i) {
            reader.jumpToImage(i);
            const QImage icon = reader.read();
            m_p.drawImage(left, y, icon);
            tallest = std::max(tallest, icon.height());
            left += icon.width() + 12;
        }
        return left - x;
    }

    void Digits(int x, int y, int cell)
    {
        const QFont font = ClockFont(cell);
        const QFontMetrics metrics(font);
        const QString text = QStringLiteral("0123456789:");
        const QRect box(x, y, metrics.horizontalAdvance(text) + 16, metrics.height() + 8);
        m_p.fillRect(box, SkinLayout::kFace);
        m_p.setFont(font);
        m_p.setPen(SkinLayout::kText);
        m_p.drawText(box, Qt::AlignCenter, text);
        Caption(x, box.bottom() + 16,
                QStringLiteral("Segmatic, cell %1 px (ascent %2 + descent %3), advance %4 px")
                    .arg(cell)
                    .arg(metrics.ascent())
                    .arg(metrics.descent())
                    .arg(metrics.horizontalAdvance(QLatin1Char('0'))));
    }

private:
    QPainter m_p;
};

void Draw(QImage* image)
{
    Sheet sheet(image);
    int y = kMargin + 14;
    sheet.Heading(kMargin, y,
                  QStringLiteral("Window skin, bitmap 131 (270 x 240), shown twice size"));
    sheet.Heading(kMargin + 580, y,
                  QStringLiteral("The skin with faces and clock digits in place"));
    sheet.Image(kMargin, y + 12, Enlarged(ResourceLoader::LoadBitmap(IDB_SKIN), 2));
    sheet.Window(kMargin + 580, y + 12, 2);

    y += 12 + 480 + 40;
    sheet.Heading(kMargin, y,
                  QStringLiteral("Button faces, four times size: 137 GET, 138 SET (40 x 22 each)"));
    sheet.Strip(kMargin, y + 12, IDB_GET, 4);
    sheet.Strip(kMargin + 580, y + 12, IDB_SET, 4);
    y += 12 + 88 + 44;
    sheet.Heading(kMargin, y, QStringLiteral("139 minimise, 140 About, 141 close (15 x 15 each)"));
    int x = kMargin;
    for (int id : {IDB_MINIMIZE, IDB_ABOUT, IDB_CLOSE}) {
        x += sheet.Strip(x, y + 12, id, 5) + 40;
    }

    y += 12 + 75 + 48;
    sheet.Heading(kMargin, y,
                  QStringLiteral("Cursors 143 pointing and 142 pressing (hot spot 7, 0 in red)"));
    sheet.Cursor(kMargin, y + 12, IDC_HAND, 6);
    sheet.Cursor(kMargin + 280, y + 12, IDC_HAND_PRESSED, 6);
    sheet.Heading(kMargin + 580, y,
                  QStringLiteral("Icons 128 (16, 24, 32) and 130 (48); 32-bit, then 8-bit"));
    const int width = sheet.Icons(kMargin + 580, y + 12, IDR_MAINFRAME);
    sheet.Icons(kMargin + 580 + width + 12, y + 12, IDI_ABOUT);
    QImage large(QDir(QStringLiteral(HORALINK_RES_DIR))
                     .filePath(QStringLiteral("icons/hicolor/128x128/apps/horalink.png")));
    sheet.Image(kMargin + 580, y + 12 + 60, large);
    sheet.Caption(kMargin + 720, y + 12 + 130, QStringLiteral("desktop entry icon, 128 px"));

    y += 12 + 192 + 40;
    sheet.Heading(
        kMargin, y,
        QStringLiteral("Clock font Segmatic, resource TTF 136, at the clock's size and twice it"));
    sheet.Digits(kMargin, y + 12, 39);
    sheet.Digits(kMargin + 580, y + 12, 78);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: horalink_artwork_sheet OUTPUT.png\n");
        return 2;
    }
    if (QFontDatabase::addApplicationFontFromData(ResourceLoader::LoadData(RT_TTF, IDR_SEGMATIC)) <
        0) {
        std::fprintf(stderr, "horalink_artwork_sheet: the clock font does not load\n");
        return 1;
    }
    QImage image(1180, 1250, QImage::Format_RGB32);
    Draw(&image);
    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "horalink_artwork_sheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
