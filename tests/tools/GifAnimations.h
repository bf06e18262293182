#pragma once
// Small animations built with giflib for the painter tests, and ImageMagick's
// "-coalesce" frames of a file as the reference of what a player shows.
#include "GifOracle.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QString>

#include <utility>

namespace gifanim {

// A graphic control extension.
inline giforacle::Ext gce(int disposal, int delay, int transparentIndex = -1)
{
    QByteArray b;
    b.append(char((disposal << 2) | (transparentIndex >= 0 ? 1 : 0)));
    b.append(char(delay & 0xFF));
    b.append(char(delay >> 8));
    b.append(char(transparentIndex >= 0 ? transparentIndex : 0));
    return {0xF9, b};
}

// The loop extension with its count.
inline QList<giforacle::Ext> loopExt(int count)
{
    QByteArray data;
    data.append(char(1));
    data.append(char(count & 0xFF));
    data.append(char(count >> 8));
    return {{0xFF, QByteArray("NETSCAPE2.0")}, {0, data}};
}

// A frame of one colour index.
inline giforacle::Frame frame(int l, int t, int w, int h, char fill, QList<giforacle::Ext> exts = {})
{
    giforacle::Frame f;
    f.left = l;
    f.top = t;
    f.width = w;
    f.height = h;
    f.indices = QByteArray(w * h, fill);
    f.exts = std::move(exts);
    return f;
}

// Global table black, red, green, blue; background index 0.
inline QByteArray animation(QList<giforacle::Frame> frames, int w = 8, int h = 6)
{
    giforacle::Gif g;
    g.width = w;
    g.height = h;
    g.globalMap = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    g.frames = std::move(frames);
    return giforacle::Write(g);
}

// Transparency, disposals 1-3, a local table, and a disposed first frame that
// leaves part of the screen uncovered (what lay below shows there).
inline QList<QByteArray> compositionCases()
{
    giforacle::Frame local = frame(4, 3, 3, 3, 1, {gce(1, 5)});
    local.localMap = {qRgb(10, 20, 30), qRgb(200, 100, 50)};
    giforacle::Frame holes = frame(0, 0, 8, 6, 2, {gce(1, 5, 0)});
    for (int i = 0; i < holes.indices.size(); i += 3)
        holes.indices[i] = 0; // transparent pixels show what lies below
    return {
        animation({frame(0, 0, 8, 6, 3, {gce(1, 5)}), frame(1, 1, 4, 3, 1, {gce(2, 5)}), frame(5, 2, 2, 2, 2, {gce(1, 5)})}),
        animation({frame(0, 0, 8, 6, 3, {gce(1, 5)}), frame(2, 1, 3, 3, 1, {gce(3, 5)}), frame(0, 4, 2, 2, 2, {gce(1, 5)})}),
        animation({frame(0, 0, 8, 6, 1, {gce(1, 5)}), holes, local}),
        animation({frame(1, 1, 4, 3, 1, {gce(2, 5)}), frame(5, 2, 2, 2, 3, {gce(1, 5)}), frame(0, 0, 2, 2, 2)}),
    };
}

// ImageMagick's composed frames (ARGB32) of the file; empty on failure.
inline QList<QImage> coalesced(const QByteArray &gif, const QDir &dir)
{
    const QString file = dir.filePath(QStringLiteral("coalesce-in.gif"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(gif) != gif.size())
        return {};
    f.close();
    const QString pattern = dir.filePath(QStringLiteral("coalesce-out_%d.png"));
    // "-alpha set" changes no pixel of a frame; without it ImageMagick's
    // composition turns the transparent, never covered part of its canvas
    // into the background colour from the second frame on, though its first
    // frame shows that part transparent.
    if (QProcess::execute(QStringLiteral("/usr/bin/convert"),
                          {file, QStringLiteral("-alpha"), QStringLiteral("set"), QStringLiteral("-coalesce"),
                           QStringLiteral("PNG32:") + pattern}) != 0)
        return {};
    QList<QImage> out;
    for (int i = 0;; ++i) {
        const QString name = dir.filePath(QStringLiteral("coalesce-out_%1.png").arg(i));
        if (!QFile::exists(name))
            break;
        out << QImage(name).convertToFormat(QImage::Format_ARGB32);
        QFile::remove(name);
    }
    return out;
}

} // namespace gifanim
