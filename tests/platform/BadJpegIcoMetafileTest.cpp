// The folder of known-bad JPEG, icon and metafile files: each must fail with
// a message and leave the picture object as it was.
#include "Icon.h"
#include "Jpeg.h"
#include "Metafile.h"
#include "PictureOracles.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace zk;
using namespace zktest;

namespace {

std::unique_ptr<TGraphic> filled(const QString &kind)
{
    const TBitmap bmp = TBitmap::FromImage(screenshotLike(21, 13));
    std::unique_ptr<TGraphic> g;
    if (kind == QLatin1String("jpeg"))
        g = std::make_unique<TJPEGImage>();
    else if (kind == QLatin1String("ico"))
        g = std::make_unique<TIcon>();
    else
        g = std::make_unique<TMetafile>();
    g->Assign(bmp);
    return g;
}

TEST(BadJpegIcoMetafileFiles, EveryKnownBadFileFailsCleanly)
{
    int seen = 0;
    for (const QString &kind : {QStringLiteral("jpeg"), QStringLiteral("ico"), QStringLiteral("metafile")}) {
        const QDir dir(QStringLiteral(ZK_SOURCE_DIR "/tests/data/bad/") + kind);
        const QStringList files = dir.entryList(QDir::Files);
        EXPECT_FALSE(files.isEmpty()) << kind.toStdString();
        for (const QString &name : files) {
            auto g = filled(kind);
            const QImage before = g->ToImage();
            try {
                g->LoadFromFile(dir.filePath(name));
                ADD_FAILURE() << name.toStdString() << " loaded";
            } catch (const EInvalidGraphic &e) {
                EXPECT_FALSE(e.message().isEmpty()) << name.toStdString();
            }
            EXPECT_EQ(g->Width(), 21) << name.toStdString();
            EXPECT_EQ(g->ToImage(), before) << name.toStdString();
            ++seen;
        }
    }
    EXPECT_GE(seen, 12);
}

} // namespace
