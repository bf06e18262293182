#include "FileListing.h"

#include "GraphicConvert.h"

#include <cstdlib>

#include <QDirIterator>
#include <QFile>
#include <QtEndian>
#include <QFileInfo>
#include <QPainter>
#include <QUrl>

namespace zk {

namespace {

// The date dialog's eight types, in the request's order.
constexpr const char *kSearchExts[8] = {".bmp", ".jpg", ".gif", ".wmf", ".emf", ".ico", ".zkg", ".png"};

// Walks the files of folder (hidden ones too), calling take with each name
// until it returns false or the pump asks to stop.
template <typename Take>
void ForEachFile(const QString &folder, const TListPump &pump, Take take)
{
    if (folder.isEmpty())
        return;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        take(it.fileInfo());
        if (pump && !pump())
            return;
    }
}

} // namespace

QString FileExt(const QString &fileName)
{
    const int slash = fileName.lastIndexOf(QLatin1Char('/'));
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? fileName.mid(dot).toLower() : QString();
}

int TypeImageIndex(const QString &fileName)
{
    static const struct
    {
        const char *ext;
        int image;
    } table[] = {{".bmp", 0}, {".dib", 0}, {".jpg", 1}, {".jpeg", 1}, {".gif", 2}, {".wmf", 3},
                 {".emf", 3}, {".png", 4}, {".tif", 5}, {".zkg", 6}};
    const QString ext = FileExt(fileName);
    for (const auto &row : table)
        if (ext == QLatin1String(row.ext))
            return row.image;
    return -1;
}

bool IsPictureName(const QString &fileName, bool firstTen)
{
    const QString ext = FileExt(fileName);
    const int count = firstTen ? 10 : GraphicFileExtCount;
    for (int i = 0; i < count; ++i)
        if (ext.compare(QLatin1String(GraphicFileExts[i]), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QStringList ListFolderNames(const QString &folder, TNameFilter filter, const TListPump &pump)
{
    QStringList names;
    ForEachFile(folder, pump, [&](const QFileInfo &fi) {
        const QString name = fi.fileName();
        bool take = false;
        switch (filter) {
        case TNameFilter::Pictures: take = IsPictureName(name); break;
        case TNameFilter::AutosaveScan:
            take = name.startsWith(QLatin1String("zk_scan_"), Qt::CaseInsensitive) &&
                   name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive);
            break;
        case TNameFilter::Every: take = true; break;
        case TNameFilter::Bitmaps: take = name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive); break;
        }
        if (take)
            names.append(name);
    });
    return names;
}

QStringList CollectPicturesByDay(QStringList list, const QString &folder, int mode, const QDate &today,
                                 const TListPump &pump)
{
    const QDate wanted = mode == 1 ? today.addDays(-1) : today;
    ForEachFile(folder, pump, [&](const QFileInfo &fi) {
        if (!IsPictureName(fi.fileName()))
            return;
        if (mode == 2 || fi.lastModified().toLocalTime().date() == wanted)
            list.append(fi.fileName());
    });
    return list;
}

QStringList SearchFolderByDate(const QString &folder, const TDateSearchRequest &request, QStringList list,
                               const TListPump &pump)
{
    ForEachFile(folder, pump, [&](const QFileInfo &fi) {
        const QString name = fi.fileName();
        if (!IsPictureName(name))
            return;
        if (request.UseDate && fi.lastModified().toLocalTime().date() != request.Date)
            return;
        const QString ext = FileExt(name);
        for (int i = 0; i < 8; ++i)
            if (request.Types[i] && ext == QLatin1String(kSearchExts[i]))
                list.append(name);
    });
    return list;
}

QImage MakeListThumbnail(const QImage &image)
{
    QImage thumb(kListThumbSize, kListThumbSize, QImage::Format_RGB32);
    thumb.fill(Qt::white);
    if (image.isNull())
        return thumb;
    const QRect r = ThumbnailRect(image.width(), image.height(), kListThumbSize, kListThumbSize);
    // Picked pixel by pixel: a smooth reduction would read every pixel of a
    // large picture, many times the cost of decoding it.
    const QImage scaled = image.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QPainter p(&thumb);
    p.drawImage(r.topLeft(), scaled);
    return thumb;
}

QImage SampledBmpThumbnail(const QString &path)
{
    QFile f(path);
    uchar h[54];
    if (!f.open(QIODevice::ReadOnly) || f.read(reinterpret_cast<char *>(h), sizeof h) != sizeof h)
        return {};
    const auto u32 = [&h](int at) { return qFromLittleEndian<quint32>(h + at); };
    const qint64 offset = u32(10);
    const qint32 width = qFromLittleEndian<qint32>(h + 18);
    const qint32 signedHeight = qFromLittleEndian<qint32>(h + 22);
    const int bits = qFromLittleEndian<quint16>(h + 28);
    if (h[0] != 'B' || h[1] != 'M' || u32(14) < 40 || u32(30) != 0 || (bits != 24 && bits != 32) || width <= 0 ||
        width > 65535 || signedHeight == 0 || signedHeight < -65535 || signedHeight > 65535)
        return {};
    const qint64 height = std::abs(signedHeight);
    const qint64 stride = (qint64(width) * bits / 8 + 3) & ~qint64(3);
    if (offset + stride * height > f.size())
        return {}; // short: the full decoder gives the reason
    const QRect r = ThumbnailRect(width, static_cast<int>(height), kListThumbSize, kListThumbSize);
    QImage thumb(kListThumbSize, kListThumbSize, QImage::Format_RGB32);
    thumb.fill(Qt::white);
    QByteArray row(static_cast<int>(stride), Qt::Uninitialized);
    const int bytes = bits / 8;
    for (int y = 0; y < r.height(); ++y) {
        const qint64 sy = (qint64(y) * 2 + 1) * height / (2 * r.height());
        const qint64 fileRow = signedHeight > 0 ? height - 1 - sy : sy;
        if (!f.seek(offset + fileRow * stride) || f.read(row.data(), stride) != stride)
            return {};
        auto *dst = reinterpret_cast<QRgb *>(thumb.scanLine(r.top() + y)) + r.left();
        for (int x = 0; x < r.width(); ++x) {
            const auto *p = reinterpret_cast<const uchar *>(row.constData()) +
                            (qint64(x) * 2 + 1) * width / (2 * r.width()) * bytes;
            dst[x] = qRgb(p[2], p[1], p[0]);
        }
    }
    return thumb;
}

QByteArray CopiedFilesGnome(const QStringList &paths)
{
    QByteArray out("copy");
    for (const QString &p : paths)
        out += '\n' + QUrl::fromLocalFile(p).toEncoded();
    return out;
}

} // namespace zk
