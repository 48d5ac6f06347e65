#include "res/ResourceLoader.h"

#include "res/resource.h"

#include <QBitmap>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include <cstring>
#include <map>

namespace
{

struct Resource {
    int id;
    const char* type;
    const char* path;
};

// Every embedded file with its id and kind; the files travel in the Qt resource system under /res.
constexpr Resource kResources[] = {
    {IDR_MAINFRAME, "ICON", ":/res/icons/Horalink.ico"},
    {IDI_ABOUT, "ICON", ":/res/icons/About.ico"},
    {IDB_SKIN, "BITMAP", ":/res/bitmaps/Skin.bmp"},
    {IDR_SEGMATIC, RT_TTF, ":/res/Segmatic.ttf"},
    {IDB_GET, "BITMAP", ":/res/bitmaps/FaceGet.bmp"},
    {IDB_SET, "BITMAP", ":/res/bitmaps/FaceSet.bmp"},
    {IDB_MINIMIZE, "BITMAP", ":/res/bitmaps/FaceMinimize.bmp"},
    {IDB_ABOUT, "BITMAP", ":/res/bitmaps/FaceAbout.bmp"},
    {IDB_CLOSE, "BITMAP", ":/res/bitmaps/FaceClose.bmp"},
    {IDC_HAND_PRESSED, "CURSOR", ":/res/cursors/HandPressed.cur"},
    {IDC_HAND, "CURSOR", ":/res/cursors/HandPointing.cur"},
};

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDS_SOCKETS_INIT_FAILED, "Windows sockets initialization failed."},
};

const Resource* Find(int id, const char* type)
{
    for (const Resource& r : kResources) {
        if (r.id == id && (type == nullptr || std::strcmp(r.type, type) == 0)) {
            return &r;
        }
    }
    return nullptr;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

quint16 U16(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 U32(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

// Icon and cursor files start with a 6-byte directory header and 16-byte entries.
constexpr qsizetype kDirHeader = 6;
constexpr qsizetype kDirEntry = 16;
constexpr qsizetype kInfoHeader = 40;

bool BitSet(const QByteArray& data, qsizetype rowStart, int x)
{
    return (static_cast<unsigned char>(data[rowStart + x / 8]) & (0x80 >> (x % 8))) != 0;
}

// Builds the cursor from the first image of a .cur file: a 1-bit XOR image and a 1-bit AND
// mask, rows bottom-up. The program's cursors are black and white, their palettes black for a
// clear XOR bit and white for a set one, so the palette is not read. Qt wants a bitmap (1 =
// black) and a mask (1 = drawn); a clear pixel has its AND bit set.
QCursor CursorFromFile(const QByteArray& data)
{
    if (data.size() < kDirHeader + kDirEntry || U16(data, 2) != 2 || U16(data, 4) == 0) {
        return QCursor(Qt::ArrowCursor);
    }
    const int hotX = U16(data, kDirHeader + 4);
    const int hotY = U16(data, kDirHeader + 6);
    const qsizetype image = U32(data, kDirHeader + 12);
    if (image + kInfoHeader > data.size()) {
        return QCursor(Qt::ArrowCursor);
    }
    const int width = static_cast<qint32>(U32(data, image + 4));
    const int height = static_cast<qint32>(U32(data, image + 8)) / 2;
    if (U16(data, image + 14) != 1 || width <= 0 || height <= 0) {
        return QCursor(Qt::ArrowCursor);
    }
    // The rows must lie in the file, which bounds the size: no limit of its own is needed.
    const qsizetype stride = (qsizetype{width} + 31) / 32 * 4;
    const qsizetype xorRows = image + U32(data, image) + 2 * 4; // past the header and palette
    const qsizetype andRows = xorRows + stride * height;
    if (andRows + stride * height > data.size()) {
        return QCursor(Qt::ArrowCursor);
    }

    QImage bitmap(width, height, QImage::Format_Mono);
    QImage mask(width, height, QImage::Format_Mono);
    for (QImage* img : {&bitmap, &mask}) {
        img->setColorTable({QColor(Qt::white).rgb(), QColor(Qt::black).rgb()});
        img->fill(0);
    }
    for (int y = 0; y < height; ++y) {
        const qsizetype row = (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            if (BitSet(data, andRows + row, x)) {
                continue;
            }
            mask.setPixel(x, y, 1);
            bitmap.setPixel(x, y, BitSet(data, xorRows + row, x) ? 0 : 1);
        }
    }
    return QCursor(QBitmap::fromImage(bitmap), QBitmap::fromImage(mask), hotX, hotY);
}

// The deepest image of each size in an icon file, by its index in the file.
std::map<int, int> DeepestPerSize(const QByteArray& data)
{
    std::map<int, int> index;
    std::map<int, int> depth;
    if (data.size() < kDirHeader || U16(data, 2) != 1) {
        return index;
    }
    const int count = U16(data, 4);
    for (int i = 0; i < count && kDirHeader + (i + 1) * kDirEntry <= data.size(); ++i) {
        const qsizetype entry = kDirHeader + i * kDirEntry;
        // The width byte; 0 stands for 256 pixels, a size the program's icons do not have: such
        // an image is left out, its width not matching.
        const int size = static_cast<unsigned char>(data[entry]);
        const int bits = U16(data, entry + 6);
        if (depth.find(size) == depth.end() || bits > depth[size]) {
            depth[size] = bits;
            index[size] = i;
        }
    }
    return index;
}

} // namespace

QString ResourceLoader::Path(int id)
{
    const Resource* r = Find(id, nullptr);
    return r != nullptr ? QString::fromLatin1(r->path) : QString();
}

QString ResourceLoader::Path2x(int id)
{
    const Resource* r = Find(id, nullptr);
    if (r == nullptr) {
        return {};
    }
    QString path = QString::fromLatin1(r->path);
    if (std::strcmp(r->type, "BITMAP") == 0) {
        path.replace(QLatin1String(".bmp"), QLatin1String("@2x.png"));
    } else if (std::strcmp(r->type, "CURSOR") == 0) {
        path.replace(QLatin1String(".cur"), QLatin1String("@2x.cur"));
    } else {
        return {};
    }
    return QFile::exists(path) ? path : QString();
}

QImage ResourceLoader::LoadBitmap(int id, qreal devicePixelRatio)
{
    const Resource* r = Find(id, "BITMAP");
    if (r == nullptr) {
        return {};
    }
    // Above 1 the denser drawing: scaled down from 2 (at 1.25 or 1.5) it stays far sharper than
    // the 1x bitmap scaled up.
    if (const QString dense = Path2x(id); devicePixelRatio > 1.0 && !dense.isEmpty()) {
        QImageReader reader(dense, "PNG");
        reader.setAutoDetectImageFormat(false);
        QImage image = reader.read();
        image.setDevicePixelRatio(2.0);
        return image;
    }
    // Qt reads BMP itself; asked to detect the format, the reader would first load every image
    // plugin to offer it the file.
    QImageReader reader(QString::fromLatin1(r->path), "BMP");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QCursor ResourceLoader::LoadCursor(int id, qreal devicePixelRatio)
{
    const Resource* r = Find(id, "CURSOR");
    if (r == nullptr) {
        return QCursor(Qt::ArrowCursor);
    }
    const QString dense = devicePixelRatio > 1.0 ? Path2x(id) : QString();
    return CursorFromFile(ReadFile(dense.isEmpty() ? QString::fromLatin1(r->path) : dense));
}

QIcon ResourceLoader::LoadIcon(int id)
{
    const Resource* r = Find(id, "ICON");
    if (r == nullptr) {
        return {};
    }
    QByteArray data = ReadFile(QString::fromLatin1(r->path));
    // Each size once, in its best colour depth: QIcon would otherwise pick among duplicates.
    const std::map<int, int> wanted = DeepestPerSize(data);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    reader.setAutoDetectImageFormat(false);
    QIcon icon;
    for (const auto& [size, index] : wanted) {
        QImage image;
        if (reader.jumpToImage(index) && reader.read(&image) && image.width() == size) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

QByteArray ResourceLoader::LoadData(const char* type, int id)
{
    const Resource* r = type != nullptr ? Find(id, type) : nullptr;
    return r != nullptr ? ReadFile(QString::fromLatin1(r->path)) : QByteArray();
}

QString ResourceLoader::LoadString(int id)
{
    for (const StringEntry& s : kStrings) {
        if (s.id == id) {
            return QString::fromLatin1(s.text);
        }
    }
    return {};
}
