// The preview's Next on a 1920x1080 JPEG and PNG (the real photo and the
// real desktop capture): loading the next picture of the sequence, showing
// it and fitting the window, beside the bare decode of the same file by our
// codecs, taking turns in one run. Goal: Next at most 1.3 x the decode.
#include "BenchKit.h"
#include "ImgPreviewForm.h"
#include "Graphic.h"
#include "PictureClasses.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void runOne(const char *name, const zk::TBitmap &picture, const char *format)
{
    QTemporaryDir dir;
    const QImage img = picture.ToImage();
    // Two copies: Next always goes from the first to the second.
    for (const char *n : {"1", "2"})
        if (!img.save(dir.filePath(QStringLiteral("%1.%2").arg(QLatin1String(n), QLatin1String(format))), nullptr, 90)) {
            std::fprintf(stderr, "cannot write the %s picture\n", format);
            std::exit(2);
        }
    zk::TImgPreviewBMForm preview;
    preview.SetMode(2);
    preview.WinDimCheckBox->setChecked(true);
    preview.Prompts.ChooseFolder = [&](const QString &) { return dir.path(); };
    if (!preview.FormShow())
        std::exit(2);
    const QString second = dir.filePath(QStringLiteral("2.%1").arg(QLatin1String(format)));
    zk::TPicture bare;
    const zkbench::Result r = zkbench::Turns([&] { preview.NextBitBtnClick(); }, [&] { bare.LoadFromFile(second); },
                                             zkbench::Rounds(15), [&] { preview.FirstBitBtnClick(); }, {});
    zkbench::Print(name, r, 1.3);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zk::RegisterPictureCodecs();
    runOne("preview Next, JPEG photo 1920x1080", zkbench::Photo(), "jpg");
    runOne("preview Next, PNG desktop 1920x1080", zkbench::Desktop(), "png");
    return 0;
}
