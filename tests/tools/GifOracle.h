#pragma once
// giflib as an independent reference for the GIF tests and benchmarks: reads
// a file into plain structures (descriptor, colour tables, extensions, pixel
// indices in row order) and writes files from them.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <QRgb>

namespace giforacle {

struct Ext
{
    int function = 0;  // extension label; sub-blocks after the first carry 0
    QByteArray bytes;  // one sub-block
};

struct Frame
{
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    QVector<QRgb> localMap; // empty: none
    QByteArray indices;     // width x height, rows top to bottom
    QList<Ext> exts;        // the extensions before the frame
};

struct Gif
{
    bool ok = false;
    QString error;
    int width = 0, height = 0, background = 0;
    QVector<QRgb> globalMap;
    QList<Frame> frames;
    QList<Ext> trailingExts;
};

// DGifSlurp over the bytes.
Gif Read(const QByteArray &file);
// EGifPutLine for every row (in file order for interlaced frames); colour
// tables are padded to a power of two. Extensions of a frame are written
// before it. Empty on failure.
QByteArray Write(const Gif &gif);
// A text listing of everything Read gives.
QString Dump(const Gif &gif);

} // namespace giforacle
