#include "Colors.h"

#include <QApplication>
#include <QPalette>
#include <gtest/gtest.h>

using namespace zk;

TEST(Colors, PlainValuesAreBlueGreenRed)
{
    EXPECT_EQ(TColorToQColor(0x00FF8000), QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(TColorToQColor(clSkyBlue), QColor(0xA6, 0xCA, 0xF0));
    EXPECT_EQ(QColorToTColor(QColor(0x12, 0x34, 0x56)), 0x00563412);
    EXPECT_EQ(QColorToTColor(QColor::fromHsv(0, 255, 255)), clRed);
    EXPECT_FALSE(TColorToQColor(clNone).isValid());
    EXPECT_FALSE(TColorToQColor(clDefault).isValid());
}

TEST(Colors, SystemColoursFollowTheApplicationPalette)
{
    const QPalette saved = QApplication::palette();
    QPalette p = saved;
    p.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
    p.setColor(QPalette::Active, QPalette::Highlight, QColor(200, 100, 50));
    p.setColor(QPalette::Active, QPalette::ToolTipBase, QColor(255, 255, 225));
    QApplication::setPalette(p);
    EXPECT_EQ(TColorToQColor(clBtnFace), QColor(1, 2, 3));
    EXPECT_EQ(TColorToQColor(static_cast<TColor>(0x8000000F)), QColor(1, 2, 3));
    EXPECT_EQ(TColorToQColor(clHighlight), QColor(200, 100, 50));
    EXPECT_EQ(TColorToQColor(clInfoBk), QColor(255, 255, 225));
    QApplication::setPalette(saved);
    // An index beyond the table is not a colour the user chose: black.
    EXPECT_EQ(TColorToQColor(static_cast<TColor>(0x80000040)), QColor(Qt::black));
}

TEST(Colors, NamesReadAndWriteAsTheLanguageFileHasThem)
{
    TColor c = 0;
    // The program's own names win by name; the class library's value of a
    // name keeps that name when written.
    struct Own { const char *name; TColor value; };
    for (const Own o : {Own{"clSkyBlue", 0x00FFC800}, Own{"clcream", 0x00A6CAF0}, Own{"clBrown", 0x00003090},
                        Own{"clMetal", 0x00909090}, Own{"clGradientInactiveCaption", static_cast<TColor>(0x8000001C)}}) {
        ASSERT_TRUE(ColorFromName(o.name, &c)) << o.name;
        EXPECT_EQ(c, o.value) << o.name;
        EXPECT_EQ(ColorToName(o.value).toLower(), QString(o.name).toLower());
    }
    EXPECT_EQ(ColorToName(0xF0CAA6), "clSkyBlue");
    EXPECT_EQ(ColorToName(0xF0FBFF), "clCream");
    ASSERT_TRUE(ColorFromName("CLBTNFACE", &c));
    EXPECT_EQ(c, static_cast<TColor>(0x8000000F));
    ASSERT_TRUE(ColorFromName("$00FF8000", &c));
    EXPECT_EQ(c, 0x00FF8000);
    ASSERT_TRUE(ColorFromName("$80000005", &c));
    EXPECT_EQ(c, clWindow);
    ASSERT_TRUE(ColorFromName("-2147483643", &c)); // clWindow as a signed number
    EXPECT_EQ(c, clWindow);
    ASSERT_TRUE(ColorFromName("255", &c));
    EXPECT_EQ(c, clRed);
    c = 42;
    EXPECT_FALSE(ColorFromName("clNoSuchColour", &c));
    EXPECT_FALSE(ColorFromName("$1FFFFFFFF", &c));
    EXPECT_FALSE(ColorFromName("4294967295", &c));
    EXPECT_FALSE(ColorFromName("", &c));
    EXPECT_EQ(c, 42);

    EXPECT_EQ(ColorToName(clRed), "clRed");
    EXPECT_EQ(ColorToName(clWindowText), "clWindowText");
    EXPECT_EQ(ColorToName(clNone), "clNone");
    EXPECT_EQ(ColorToName(0x00123456), "$00123456");
    // Every name reads back as itself.
    for (const char *n : {"clBlack", "clMaroon", "clGreen", "clOlive", "clNavy", "clPurple", "clTeal", "clGray",
                          "clSilver", "clLime", "clYellow", "clBlue", "clFuchsia", "clAqua", "clWhite",
                          "clMoneyGreen", "clCream", "clMedGray", "clScrollBar", "clBackground", "clMenuBar",
                          "clGradientInactiveCaption", "clHotLight", "cl3DLight", "clDefault"}) {
        TColor v = 0;
        ASSERT_TRUE(ColorFromName(n, &v)) << n;
        EXPECT_EQ(ColorToName(v), n);
    }
}
