#pragma once
// Helpers for the picture codec tests: a picture that looks like a screen
// shot, a peak signal-to-noise measure, and thin wrappers over the outside
// programs used as independent oracles (ImageMagick, djpeg).
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QString>
#include <cmath>

namespace zktest {

// Window-like content: gradients, title bars, buttons, text, thin lines.
inline QImage screenshotLike(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient bg(0, 0, w, h);
    bg.setColorAt(0, QColor(30, 80, 160));
    bg.setColorAt(1, QColor(200, 220, 250));
    p.fillRect(img.rect(), bg);
    for (int i = 0; i < 3; ++i) {
        const QRect win(20 + i * w / 4, 20 + i * h / 6, w / 2, h / 2);
        p.fillRect(win, QColor(236, 233, 216));
        QLinearGradient title(win.topLeft(), win.topRight());
        title.setColorAt(0, QColor(0, 84, 227));
        title.setColorAt(1, QColor(61, 149, 255));
        p.fillRect(QRect(win.left(), win.top(), win.width(), 22), title);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(13);
        p.setFont(f);
        p.drawText(win.left() + 6, win.top() + 16, QStringLiteral("Zelkora - Fenster %1").arg(i + 1));
        p.setPen(Qt::black);
        for (int line = 0; line < 6; ++line)
            p.drawText(win.left() + 10, win.top() + 44 + line * 16,
                       QStringLiteral("Zeile %1: Datei speichern unter ... 0123456789").arg(line));
        p.setPen(QColor(128, 128, 128));
        p.drawRect(win.adjusted(0, 0, -1, -1));
        p.fillRect(QRect(win.right() - 90, win.bottom() - 30, 80, 22), QColor(220, 220, 220));
        p.drawRect(QRect(win.right() - 90, win.bottom() - 30, 80, 22));
        p.drawText(QRect(win.right() - 90, win.bottom() - 30, 80, 22), Qt::AlignCenter, QStringLiteral("OK"));
    }
    p.end();
    return img;
}

// PSNR over R, G and B in dB; infinity for identical pictures.
inline double psnr(const QImage &a0, const QImage &b0)
{
    const QImage a = a0.convertToFormat(QImage::Format_RGB32), b = b0.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return -1;
    double se = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *ra = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const double dr = qRed(ra[x]) - qRed(rb[x]), dg = qGreen(ra[x]) - qGreen(rb[x]),
                         db = qBlue(ra[x]) - qBlue(rb[x]);
            se += dr * dr + dg * dg + db * db;
        }
    }
    if (se == 0)
        return INFINITY;
    const double mse = se / (3.0 * a.width() * a.height());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

// A fresh folder under the sandbox for one test's files.
inline QString scratchDir(const QString &name)
{
    const QString dir = sandboxDir() + "/" + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

inline const QString kConvert = QStringLiteral("/usr/bin/convert");
inline const QString kIdentify = QStringLiteral("/usr/bin/identify");

// ImageMagick's decoding of a file (or "file[n]" for one entry) as ARGB32.
inline QImage magickDecode(const QString &source)
{
    QByteArray png;
    if (runProgram(kConvert, {source, QStringLiteral("png32:-")}, &png) != 0)
        return QImage();
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32);
}

// True when ImageMagick on this machine lists the format as readable.
inline bool magickReads(const QString &format)
{
    QByteArray out;
    if (runProgram(kIdentify, {QStringLiteral("-list"), QStringLiteral("format")}, &out) != 0)
        return false;
    for (const QByteArray &line : out.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith(format.toLatin1() + '*') || t.startsWith(format.toLatin1() + ' '))
            return t.contains(" r");
    }
    return false;
}

} // namespace zktest
