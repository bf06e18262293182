#include "GifOracle.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace giforacle {

namespace {

struct Source
{
    const QByteArray *data;
    qsizetype pos;
};

int readFn(GifFileType *gif, GifByteType *buf, int n)
{
    auto *src = static_cast<Source *>(gif->UserData);
    const qsizetype take = std::min<qsizetype>(n, src->data->size() - src->pos);
    if (take <= 0)
        return 0;
    std::memcpy(buf, src->data->constData() + src->pos, size_t(take));
    src->pos += take;
    return int(take);
}

int writeFn(GifFileType *gif, const GifByteType *buf, int n)
{
    static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(buf), n);
    return n;
}

QVector<QRgb> mapOf(const ColorMapObject *m)
{
    QVector<QRgb> out;
    if (m)
        for (int i = 0; i < m->ColorCount; ++i)
            out.append(qRgb(m->Colors[i].Red, m->Colors[i].Green, m->Colors[i].Blue));
    return out;
}

QList<Ext> extsOf(int count, const ExtensionBlock *blocks)
{
    QList<Ext> out;
    for (int i = 0; i < count; ++i)
        out.append({blocks[i].Function, QByteArray(reinterpret_cast<const char *>(blocks[i].Bytes), blocks[i].ByteCount)});
    return out;
}

ColorMapObject *makeMap(const QVector<QRgb> &colors)
{
    if (colors.isEmpty())
        return nullptr;
    int n = 2;
    while (n < colors.size())
        n *= 2;
    ColorMapObject *m = GifMakeMapObject(n, nullptr);
    for (int i = 0; i < n; ++i) {
        const QRgb c = i < colors.size() ? colors[i] : 0;
        m->Colors[i] = {GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))};
    }
    return m;
}

bool putExts(GifFileType *gif, const QList<Ext> &exts)
{
    // Consecutive blocks with function 0 continue the extension before them.
    for (int i = 0; i < exts.size();) {
        if (EGifPutExtensionLeader(gif, exts[i].function) != GIF_OK)
            return false;
        do {
            if (EGifPutExtensionBlock(gif, int(exts[i].bytes.size()), exts[i].bytes.constData()) != GIF_OK)
                return false;
            ++i;
        } while (i < exts.size() && exts[i].function == 0);
        if (EGifPutExtensionTrailer(gif) != GIF_OK)
            return false;
    }
    return true;
}

} // namespace

Gif Read(const QByteArray &file)
{
    Gif out;
    Source src{&file, 0};
    int err = 0;
    GifFileType *gif = DGifOpen(&src, readFn, &err);
    if (!gif) {
        out.error = QString::fromLatin1(GifErrorString(err));
        return out;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        out.error = QString::fromLatin1(GifErrorString(gif->Error));
        DGifCloseFile(gif, &err);
        return out;
    }
    out.ok = true;
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    out.background = gif->SBackGroundColor;
    out.globalMap = mapOf(gif->SColorMap);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &s = gif->SavedImages[i];
        Frame f;
        f.left = s.ImageDesc.Left;
        f.top = s.ImageDesc.Top;
        f.width = s.ImageDesc.Width;
        f.height = s.ImageDesc.Height;
        f.interlaced = s.ImageDesc.Interlace;
        f.localMap = mapOf(s.ImageDesc.ColorMap);
        f.indices = QByteArray(reinterpret_cast<const char *>(s.RasterBits), qsizetype(f.width) * f.height);
        f.exts = extsOf(s.ExtensionBlockCount, s.ExtensionBlocks);
        out.frames.append(f);
    }
    out.trailingExts = extsOf(gif->ExtensionBlockCount, gif->ExtensionBlocks);
    DGifCloseFile(gif, &err);
    return out;
}

QByteArray Write(const Gif &g)
{
    QByteArray bytes;
    int err = 0;
    GifFileType *gif = EGifOpen(&bytes, writeFn, &err);
    if (!gif)
        return {};
    EGifSetGifVersion(gif, true);
    ColorMapObject *global = makeMap(g.globalMap);
    bool ok = EGifPutScreenDesc(gif, g.width, g.height, 8, g.background, global) == GIF_OK;
    GifFreeMapObject(global);
    for (const Frame &f : g.frames) {
        ok = ok && putExts(gif, f.exts);
        ColorMapObject *local = makeMap(f.localMap);
        ok = ok && EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local) == GIF_OK;
        GifFreeMapObject(local);
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        QList<int> rows;
        if (f.interlaced) {
            for (int p = 0; p < 4; ++p)
                for (int y = start[p]; y < f.height; y += step[p])
                    rows.append(y);
        } else {
            for (int y = 0; y < f.height; ++y)
                rows.append(y);
        }
        for (int y : rows) {
            if (!ok)
                break;
            QByteArray line = f.indices.mid(qsizetype(y) * f.width, f.width);
            ok = EGifPutLine(gif, reinterpret_cast<GifPixelType *>(line.data()), f.width) == GIF_OK;
        }
    }
    ok = ok && putExts(gif, g.trailingExts);
    if (EGifCloseFile(gif, &err) != GIF_OK || !ok)
        return {};
    return bytes;
}

QString Dump(const Gif &g)
{
    if (!g.ok)
        return QStringLiteral("error: %1\n").arg(g.error);
    QString s;
    const auto map = [&](const char *what, const QVector<QRgb> &m) {
        s += QStringLiteral("%1 %2:").arg(QLatin1String(what)).arg(m.size());
        for (QRgb c : m)
            s += QStringLiteral(" %1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        s += QLatin1Char('\n');
    };
    const auto exts = [&](const QList<Ext> &list) {
        for (const Ext &e : list)
            s += QStringLiteral("ext %1: %2\n").arg(e.function, 2, 16, QLatin1Char('0')).arg(QString::fromLatin1(e.bytes.toHex()));
    };
    s += QStringLiteral("screen %1x%2 background %3\n").arg(g.width).arg(g.height).arg(g.background);
    map("global", g.globalMap);
    for (int i = 0; i < g.frames.size(); ++i) {
        const Frame &f = g.frames[i];
        exts(f.exts);
        s += QStringLiteral("frame %1: %2,%3 %4x%5%6\n")
                 .arg(i).arg(f.left).arg(f.top).arg(f.width).arg(f.height)
                 .arg(f.interlaced ? QStringLiteral(" interlaced") : QString());
        map("local", f.localMap);
        for (int y = 0; y < f.height; ++y)
            s += QString::fromLatin1(f.indices.mid(qsizetype(y) * f.width, f.width).toHex(' ')) + QLatin1Char('\n');
    }
    exts(g.trailingExts);
    return s;
}

} // namespace giforacle
