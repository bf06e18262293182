// Icons made on first use: nothing is read before the icon is drawn or asked
// about, and then it answers as the icon made at once would.
#include "LazyIcon.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

using namespace zk;

TEST(LazyIcon, MadeOnlyWhenDrawnThenLikeTheIconItself)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.path() + "/mark.png";
    QImage img(24, 24, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter(&img).fillRect(4, 6, 10, 12, Qt::red);
    ASSERT_TRUE(img.save(file));

    int made = 0;
    const QIcon lazy = LazyIcon([&made, file] {
        ++made;
        return QIcon(file);
    });
    QIcon copy = lazy;
    EXPECT_FALSE(copy.isNull()) << "a layout may ask without making it";
    EXPECT_EQ(made, 0);

    const QIcon direct(file);
    for (const QSize size : {QSize(24, 24), QSize(16, 16), QSize(48, 48)}) {
        EXPECT_EQ(copy.actualSize(size), direct.actualSize(size));
        EXPECT_EQ(copy.pixmap(size).toImage(), direct.pixmap(size).toImage()) << size.width();
    }
    EXPECT_EQ(lazy.availableSizes(), direct.availableSizes());
    EXPECT_EQ(made, 1) << "copies share what was made";

    // A missing file is known to be no icon without reading anything.
    EXPECT_TRUE(LazyFileIcon(dir.path() + "/none.svg").isNull());
    EXPECT_FALSE(LazyFileIcon(file).isNull());
    EXPECT_EQ(LazyFileIcon(file).pixmap(24, 24).toImage(), direct.pixmap(24, 24).toImage());
}
