// Start-up makes every codec reachable by extension: a picture saved through
// the class found for each extension loads back through the same lookup.
#include "Bitmap.h"
#include "Graphic.h"
#include "PictureClasses.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;

TEST(PictureCodecs, EveryCodecIsFoundByExtensionAndRoundTrips)
{
    RegisterPictureCodecs();
    RegisterPictureCodecs(); // a second call changes nothing

    TBitmap source;
    source.SetPixelFormat(pf24bit);
    source.SetSize(16, 8);
    for (int y = 0; y < 8; ++y) {
        uchar *row = source.ScanLine(y);
        for (int x = 0; x < 16; ++x) {
            row[3 * x] = uchar(x * 16);
            row[3 * x + 1] = uchar(y * 32);
            row[3 * x + 2] = 200;
        }
    }

    QTemporaryDir dir;
    for (const char *ext : {"bmp", "BMP", "png", "jpg", "jpeg", "ico", "wmf", "emf"}) {
        SCOPED_TRACE(ext);
        ASSERT_NE(TPicture::FindFileFormat(QString::fromLatin1(ext)), nullptr);
        std::unique_ptr<TGraphic> g = TPicture::CreateForExtension(QString::fromLatin1(ext));
        ASSERT_TRUE(g);
        g->Assign(source);
        const QString file = dir.path() + "/p." + QString::fromLatin1(ext);
        g->SaveToFile(file);
        ASSERT_TRUE(QFile::exists(file));

        TPicture back;
        back.LoadFromFile(file);
        EXPECT_EQ(back.Width(), 16);
        EXPECT_EQ(back.Height(), 8);
    }
    EXPECT_EQ(TPicture::FindFileFormat("xyz"), nullptr);
}
