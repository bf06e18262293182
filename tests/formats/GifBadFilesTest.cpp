// Damaged files: each fails with a clear error or loads with warnings; none
// crashes or reads past its bytes, and a failed load changes nothing.
#include "GIFImage.h"
#include "GifTestKit.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace zk;
using namespace gifkit;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A picture to load over, so a failure can be seen to leave it alone.
QByteArray baseFile()
{
    std::mt19937 rng(9);
    giforacle::Gif src;
    src.width = src.height = 6;
    src.globalMap = randomMap(rng, 4);
    src.frames.append({0, 0, 6, 6, false, {}, randomIndices(rng, 36, 4), {}});
    return giforacle::Write(src);
}

TEST(GifBadFiles, TheFolderOfBadFilesFailsOrWarns)
{
    const QDir dir(QStringLiteral(ZK_SOURCE_DIR "/tests/data/bad/gif"));
    const QStringList files = dir.entryList({"*.gif"}, QDir::Files);
    ASSERT_GE(files.size(), 10);
    const QByteArray base = baseFile();
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        // The pixel limit keeps a lying descriptor from asking for gigabytes.
        TGIFImage img;
        ASSERT_TRUE(load(img, base).error.isEmpty());
        const QByteArray before = img.SaveToBytes();
        const QByteArray bytes = readFile(dir.filePath(name));
        ASSERT_FALSE(bytes.isEmpty());
        const Loaded l = load(img, bytes);
        if (!l.error.isEmpty()) {
            EXPECT_EQ(img.SaveToBytes(), before);
            continue;
        }
        // What did load is a sound picture: it saves, and reads back the same.
        if (img.Images().Count() == 0)
            continue;
        TGIFImage again;
        ASSERT_TRUE(load(again, img.SaveToBytes()).error.isEmpty());
        ASSERT_EQ(again.Images().Count(), img.Images().Count());
        for (int i = 0; i < img.Images().Count(); ++i)
            EXPECT_EQ(frameBytes(*again.Images()[i]), frameBytes(*img.Images()[i]));
    }
}

TEST(GifBadFiles, ExpectedMessages)
{
    const QDir dir(QStringLiteral(ZK_SOURCE_DIR "/tests/data/bad/gif"));
    struct Case
    {
        const char *file;
        TGIFMsg message;
        bool error;
    };
    const Case cases[] = {
        {"code-size-0.gif", TGIFMsg::BadCodeSize, true},
        {"code-size-9.gif", TGIFMsg::BadCodeSize, true},
        {"code-size-12.gif", TGIFMsg::BadCodeSize, true},
        {"circular-codes.gif", TGIFMsg::BadCode, false},
        {"code-beyond-table.gif", TGIFMsg::BadCode, false},
        {"huge-subblock-length.gif", TGIFMsg::PrematureEOF, false},
        {"huge-frame.gif", TGIFMsg::ImageTooLarge, true},
        {"app-extension-size-5.gif", TGIFMsg::BadAppExtensionSize, true},
        {"loop-extension-short.gif", TGIFMsg::InvalidData, true},
        {"truncated-header.gif", TGIFMsg::PrematureEOF, true},
        {"bad-signature.gif", TGIFMsg::BadSignature, true},
        {"comment-cut.gif", TGIFMsg::PrematureEOF, true},
        {"unknown-block.gif", TGIFMsg::UnknownBlockType, false},
        {"cut-in-descriptor.gif", TGIFMsg::PrematureEOF, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        TGIFImage img;
        const Loaded l = load(img, readFile(dir.filePath(QLatin1String(c.file))));
        if (c.error)
            EXPECT_EQ(l.error, GIFMessage(c.message));
        else
            EXPECT_TRUE(l.error.isEmpty() && l.warnings.contains(GIFMessage(c.message))) << l.error.toStdString();
    }
}

// Every prefix of a file with extensions, two frames and a trailer loads or
// fails cleanly; a prefix that holds whole frames keeps them.
TEST(GifBadFiles, EveryCutOfAFile)
{
    std::mt19937 rng(21);
    giforacle::Gif src;
    src.width = 9;
    src.height = 7;
    src.globalMap = randomMap(rng, 8);
    giforacle::Frame a{0, 0, 9, 7, false, {}, randomIndices(rng, 63, 8), {{0xFE, "a comment"}}};
    giforacle::Frame b{2, 1, 5, 5, true, randomMap(rng, 3), randomIndices(rng, 25, 3),
                       {{0xF9, QByteArray("\x01\x05\x00\x02", 4)}}};
    src.frames = {a, b};
    const QByteArray file = giforacle::Write(src);
    ASSERT_FALSE(file.isEmpty());
    const QList<qsizetype> blocks = blockOffsets(file);
    ASSERT_EQ(blocks.size(), 5);
    for (qsizetype n = 0; n < file.size(); ++n) {
        const QByteArray cut = file.left(n);
        TGIFImage img;
        const Loaded l = load(img, cut);
        if (n < 13) {
            EXPECT_EQ(l.error, GIFMessage(TGIFMsg::PrematureEOF)) << n;
            continue;
        }
        if (n == blocks[2] || n == blocks[4]) {
            // Whole frames and nothing else: a file without its trailer.
            EXPECT_TRUE(l.error.isEmpty()) << n;
            EXPECT_TRUE(l.warnings.isEmpty()) << n;
            EXPECT_EQ(img.Images().Count(), n == blocks[2] ? 1 : 2);
        }
        if (l.error.isEmpty() && n >= blocks[2]) {
            EXPECT_EQ(frameBytes(*img.Images()[0]), a.indices) << n;
        }
    }
}

} // namespace
