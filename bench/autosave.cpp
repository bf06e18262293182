// The automatic save of the 1920 x 1080 desktop capture as BMP, beside the
// picture core's own BMP file write of the same picture, taking turns in one
// run. Goal: the automatic save within 1.5 x the raw write. Both write to
// the same folder and make the file durable before renaming it into place;
// so that both leave the disk with the same data, each automatic save's
// file is removed untimed before the next turn.
#include "BenchKit.h"
#include "Bitmap.h"
#include "PictureFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const zk::TBitmap picture = zkbench::Desktop();
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("raw.bmp"));
    zk::TZelkoraOptions o;
    o.PersSave = true;
    o.OutDir = dir.path();
    o.FileName = QStringLiteral("Shot");
    o.FileTyp = zk::ptBmp;
    o.BmpPixForm = zk::pf24bit;
    zk::TBitmap rawPicture = picture; // SaveToFile is not const
    QString written;
    const zkbench::Result r = zkbench::Turns(
        [&] { written = zk::AutoSavePicture(picture, o); }, [&] { rawPicture.SaveToFile(raw); },
        zkbench::Rounds(21), [&] {
            if (!written.isEmpty())
                QFile::remove(written);
        },
        {});
    if (written.isEmpty() || QFileInfo(written).size() != QFileInfo(raw).size()) {
        std::fprintf(stderr, "the automatic save wrote no file of the raw write's size\n");
        return 1;
    }
    zkbench::Print("automatic save as BMP, desktop", r, 1.5);
    return 0;
}
