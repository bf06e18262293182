// The flat look: its colour arithmetic and scheme, menu measuring, which
// widgets it takes, and rendered pixels offscreen with the look on and off.
// Expected colours are worked out by hand from a fixed palette:
// button face (212,208,200), button shadow (128,128,128), highlight (49,106,197).
#include "XPLook.h"

#include "InfoField.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEnterEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace zk;

namespace {

struct Rgb
{
    int r, g, b;
    bool operator==(const Rgb &) const = default;
};

Rgb rgb(QRgb c) { return {qRed(c), qGreen(c), qBlue(c)}; }

std::ostream &operator<<(std::ostream &os, const Rgb &c)
{
    return os << '(' << c.r << ',' << c.g << ',' << c.b << ')';
}

// A known palette for the pixel tests, the process's own given back after.
class XPLookPixels : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        QPalette p = saved;
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            p.setColor(group, QPalette::Button, QColor(212, 208, 200));
            p.setColor(group, QPalette::Window, QColor(212, 208, 200));
            p.setColor(group, QPalette::Dark, QColor(128, 128, 128));
            p.setColor(group, QPalette::Highlight, QColor(49, 106, 197));
            p.setColor(group, QPalette::Base, QColor(255, 255, 255));
            p.setColor(group, QPalette::WindowText, QColor(0, 0, 0));
        }
        QApplication::setPalette(p);
    }
    void TearDown() override { QApplication::setPalette(saved); }
    QPalette saved;
};

Rgb pixel(const QImage &img, int x, int y) { return rgb(img.pixel(x, y)); }

} // namespace

TEST(XPLookColors, ArithmeticByHand)
{
    EXPECT_EQ(rgb(XPDarken(qRgb(255, 255, 255), 30)), (Rgb{225, 227, 225}));
    EXPECT_EQ(rgb(XPDarken(qRgb(10, 0, 20), 30)), (Rgb{0, 0, 0}));
    for (QRgb c : {qRgb(0, 0, 0), qRgb(49, 106, 197), qRgb(255, 0, 128)})
        EXPECT_EQ(rgb(XPLighten(c, 100)), (Rgb{255, 255, 255}));
    EXPECT_EQ(rgb(XPLighten(qRgb(10, 20, 30), 250)), (Rgb{255, 255, 255})) << "capped at 100";
    // 250 + 2.5: the half goes to the even 2.
    EXPECT_EQ(rgb(XPLighten(qRgb(250, 250, 250), 50)), (Rgb{252, 252, 252}));
    // 0 + 229.5 goes to 230, 128 + 114.3 to 242.
    EXPECT_EQ(rgb(XPLighten(qRgb(0, 0, 128), 90)), (Rgb{230, 230, 242}));
    for (int n : {1, 10, 200})
        EXPECT_EQ(rgb(XPGrey(qRgb(255, 255, 255), n)), (Rgb{240, 240, 240}));
    EXPECT_EQ(rgb(XPGrey(qRgb(10, 20, 31), 5)), (Rgb{25, 25, 25}));
}

TEST(XPLookColors, ContrastTurnsAtTheThresholds)
{
    const QRgb font = qRgb(1, 2, 3);
    EXPECT_EQ(rgb(XPContrastText(qRgb(0, 0, 128), font)), (Rgb{230, 230, 242}));
    // (150 + 150) / 2 = 150 and green 200 are still dark: 150 + 94.5 -> 244, 200 + 49.5 -> 250.
    EXPECT_EQ(rgb(XPContrastText(qRgb(150, 200, 150), font)), (Rgb{244, 250, 244}));
    EXPECT_EQ(rgb(XPContrastText(qRgb(152, 200, 150), font)), rgb(font));
    EXPECT_EQ(rgb(XPContrastText(qRgb(0, 201, 0), font)), rgb(font));
}

TEST(XPLookColors, SchemeBothColumns)
{
    TXPSchemeInput in{};
    in.color = qRgb(1, 1, 1);
    in.iconBackColor = qRgb(2, 2, 2);
    in.menuBarColor = qRgb(3, 3, 3);
    in.selectColor = qRgb(0, 0, 255);
    in.selectBorderColor = qRgb(4, 4, 4);
    in.selectFontColor = qRgb(5, 5, 5);
    in.disabledColor = qRgb(6, 6, 6);
    in.separatorColor = qRgb(7, 7, 7);
    in.checkedColor = qRgb(8, 8, 8);
    in.btnFace = qRgb(212, 208, 200);
    in.btnShadow = qRgb(128, 128, 128);
    in.highlight = qRgb(49, 106, 197);
    in.fontColor = qRgb(9, 9, 9);

    struct Row
    {
        bool system;
        int depth;
        Rgb menuBack, iconBack, selectFill, checkedFill, pressedFill, disabled, separator, shadow1, menuBar;
    };
    const Row rows[] = {
        {true, 32, {249, 248, 247}, {219, 216, 209}, {189, 207, 236}, {214, 225, 243}, {152, 180, 226},
         {141, 141, 141}, {160, 160, 160}, {122, 120, 110}, {212, 208, 200}},
        {true, 8, {255, 255, 255}, {212, 208, 200}, {255, 255, 255}, {255, 255, 255}, {255, 255, 255},
         {128, 128, 128}, {128, 128, 128}, {128, 128, 128}, {212, 208, 200}},
        {false, 24, {1, 1, 1}, {2, 2, 2}, {173, 173, 255}, {204, 204, 255}, {128, 128, 255},
         {6, 6, 6}, {7, 7, 7}, {122, 120, 110}, {3, 3, 3}},
        {false, 4, {1, 1, 1}, {2, 2, 2}, {0, 0, 255}, {255, 255, 255}, {192, 192, 192},
         {6, 6, 6}, {7, 7, 7}, {128, 128, 128}, {3, 3, 3}},
    };
    for (const Row &row : rows) {
        in.useSystemColors = row.system;
        in.depth = row.depth;
        const TXPScheme s = XPDeriveScheme(in);
        SCOPED_TRACE(testing::Message() << "system " << row.system << " depth " << row.depth);
        EXPECT_EQ(s.highColor, row.depth >= 16);
        EXPECT_EQ(rgb(s.menuBack), row.menuBack);
        EXPECT_EQ(rgb(s.iconBack), row.iconBack);
        EXPECT_EQ(rgb(s.selectFill), row.selectFill);
        EXPECT_EQ(rgb(s.checkedFill), row.checkedFill);
        EXPECT_EQ(rgb(s.pressedFill), row.pressedFill);
        EXPECT_EQ(rgb(s.disabledText), row.disabled);
        EXPECT_EQ(rgb(s.separator), row.separator);
        EXPECT_EQ(rgb(s.shadow1), row.shadow1);
        EXPECT_EQ(rgb(s.menuBar), row.menuBar);
        EXPECT_EQ(rgb(s.selectFrame), row.system ? (Rgb{49, 106, 197}) : (Rgb{4, 4, 4}));
        EXPECT_EQ(rgb(s.selectText), row.system ? (Rgb{9, 9, 9}) : (Rgb{5, 5, 5}));
    }
}

TEST(XPLookMeasure, SixRules)
{
    // Every character 7 wide, text 14 high.
    const auto width = [](const QString &t) { return int(t.size()) * 7; };
    struct Row
    {
        const char *caption, *shortcut;
        QSize image;
        bool main;
        QSize given, want;
    };
    const Row rows[] = {
        {"-", "", {}, false, {}, {5 + 24, 4}},          // a separator: 4 high, no text
        {"&Datei", "", {}, false, {}, {42 + 5 - 7 + 24, 24}}, // 14 + 10.5 -> 10 (even): 24
        {"&Datei", "", {}, true, {}, {42 + 5 - 7 + 8, 24}},   // on the menu bar: no icon column, 8 wider
        {"&Speichern", "Strg+S", {}, false, {}, {19 * 7 + 5 - 7 + 24, 24}}, // + shortcut + "WWW"
        {"Neu", "  ", {}, false, {}, {21 + 5 + 24, 24}},      // a blank shortcut counts for nothing
        {"Neu", "", {32, 32}, false, {}, {21 + 5 + 32, 38}},  // a wide glyph, image height + 6
        {"Neu", "", {16, 16}, false, {}, {21 + 5 + 24, 24}},
        {"Neu", "", {}, false, {200, 30}, {200, 30}},         // the given size wins when larger
    };
    for (const Row &r : rows) {
        TXPMenuMeasure m;
        m.caption = QString::fromUtf8(r.caption);
        m.shortcut = QString::fromUtf8(r.shortcut);
        m.image = r.image;
        m.onMainMenu = r.main;
        EXPECT_EQ(XPMeasureMenuItem(m, width, 14, r.given), r.want) << r.caption;
    }
    TXPMenuMeasure sep;
    sep.caption = QStringLiteral("-");
    EXPECT_EQ(XPMeasureMenuItem(sep, width, 40, {}).height(), 4);
}

TEST(XPLookClasses, FirstMatchAndContainers)
{
    QDialog form;
    auto *icon = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_DialogOkButton), "OK", &form);
    auto *group = new QGroupBox(&form);
    auto *inner = new QWidget(group);
    auto *inGroup = new QPushButton("x", inner);
    auto *panel = new QFrame(&form);
    auto *inPanel = new QCheckBox(panel);
    auto *scroll = new QScrollArea(&form);
    auto *content = new QWidget;
    auto *inScroll = new QLineEdit(content);
    scroll->setWidget(content);
    auto *tabs = new QTabWidget(&form);
    auto *page = new QWidget;
    tabs->addTab(page, "p");
    auto *inPage = new QRadioButton(page);
    auto *bar = new QToolBar(&form);
    auto *barButton = new QToolButton(bar);
    auto *speed = new QToolButton(&form);

    EXPECT_EQ(XPControlKind(new QPushButton("b", &form)), xcButton);
    EXPECT_EQ(XPControlKind(icon), xcBitBtn);
    EXPECT_EQ(XPControlKind(new QSpinBox(&form)), xcButton);
    EXPECT_EQ(XPControlKind(new QComboBox(&form)), xcCombo);
    EXPECT_EQ(XPControlKind(new QPlainTextEdit(&form)), xcMemo);
    EXPECT_EQ(XPControlKind(new QTextEdit(&form)), xcRichEdit);
    EXPECT_EQ(XPControlKind(speed), xcSpeedButton);
    EXPECT_EQ(XPControlKind(barButton), 0) << "a tool bar's button is the bar's";
    EXPECT_EQ(XPControlKind(panel), xcPanel);
    EXPECT_EQ(XPControlKind(scroll), 0) << "a scroll area is a frame, but no panel";
    EXPECT_EQ(XPControlKind(new QLabel(&form)), 0);
    EXPECT_EQ(XPControlKind(group), xcGroupBox);

    EXPECT_EQ(XPContainerKind(&form), xccForm);
    EXPECT_EQ(XPContainerKind(inGroup->parentWidget()), xccGroupBox) << "through the layout widget";
    EXPECT_EQ(XPContainerKind(inPanel->parentWidget()), xccPanel);
    EXPECT_EQ(XPContainerKind(inScroll->parentWidget()), xccScrollBox);
    EXPECT_EQ(XPContainerKind(inPage->parentWidget()), xccTabSheet);
    EXPECT_EQ(XPContainerKind(bar), xccToolbar);
    QMainWindow main;
    auto *central = new QWidget;
    main.setCentralWidget(central);
    EXPECT_EQ(XPContainerKind(central), xccForm);
}

TEST(XPLookHooking, TagsNarrowedSetsAndDefaults)
{
    QDialog form;
    auto *layout = new QVBoxLayout(&form);
    auto *plain = new QPushButton("a");
    auto *tagged = new QPushButton("b");
    tagged->setProperty("Tag", 999);
    auto *group = new QGroupBox;
    group->setProperty("Tag", 999);
    auto *inTaggedGroup = new QPushButton("c", group);
    auto *panel = new QFrame;
    auto *inPanel = new QPushButton("d", panel);
    auto *otherGroup = new QGroupBox;
    auto *inGroup = new QPushButton("e", otherGroup);
    for (QWidget *w : {static_cast<QWidget *>(plain), static_cast<QWidget *>(tagged), static_cast<QWidget *>(group),
                       static_cast<QWidget *>(panel), static_cast<QWidget *>(otherGroup)})
        layout->addWidget(w);

    TXPLook look(&form);
    EXPECT_EQ(look.DimLevel, 30);
    EXPECT_EQ(look.GrayLevel, 10);
    EXPECT_EQ(look.IconWidth, 24);
    EXPECT_EQ(look.XPContainers(), 0x3FF);
    EXPECT_EQ(look.XPControls(), 0xFFFF);
    EXPECT_TRUE(look.DrawSelect && look.UseSystemColors());
    EXPECT_FALSE(look.Active() || look.Gradient || look.FlatMenu || look.AutoDetect || look.OverrideOwnerDraw());
    EXPECT_EQ(look.objectName(), QStringLiteral("QDialogXPLook"));

    look.SetActive(true);
    EXPECT_EQ(look.HookedAs(plain), xcButton);
    EXPECT_EQ(plain->style(), look.Style());
    EXPECT_EQ(look.HookedAs(tagged), 0);
    EXPECT_EQ(look.HookedAs(inTaggedGroup), 0) << "its parent says 999";
    EXPECT_EQ(look.HookedAs(inGroup), xcButton);
    EXPECT_NE(look.SubClassOf(plain), nullptr);

    // Narrowed containers re-hook at once while active...
    look.SetXPContainers(xccForm | xccPanel);
    EXPECT_EQ(look.HookedAs(inGroup), 0);
    EXPECT_EQ(inGroup->style(), QApplication::style());
    EXPECT_EQ(look.HookedAs(inPanel), xcButton);
    // ...and narrowed controls too; while inactive they are only stored.
    look.SetXPControls(xcGroupBox | xcPanel);
    EXPECT_EQ(look.HookedAs(plain), 0);
    EXPECT_EQ(look.HookedAs(panel), xcPanel);
    look.SetActive(false);
    EXPECT_TRUE(look.HookedWidgets().isEmpty());
    look.SetXPControls(kAllXPControls);
    EXPECT_EQ(look.XPControls(), kAllXPControls);
    EXPECT_TRUE(look.HookedWidgets().isEmpty());
    EXPECT_EQ(plain->style(), QApplication::style());
}

TEST(XPLookHooking, OwnStyleKeptUnlessOverriddenAndAddedWidgetsTaken)
{
    QDialog form;
    auto *layout = new QVBoxLayout(&form);
    auto *own = new QPushButton("own");
    std::unique_ptr<QStyle> ownStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    own->setStyle(ownStyle.get());
    layout->addWidget(own);
    TXPLook look(&form);
    look.SetActive(true);
    EXPECT_EQ(own->style(), ownStyle.get());
    look.SetOverrideOwnerDraw(true);
    EXPECT_EQ(own->style(), look.Style()) << "taken over at once";
    look.SetOverrideOwnerDraw(false);
    EXPECT_EQ(own->style(), ownStyle.get()) << "and given back";

    auto *later = new QLineEdit;
    layout->addWidget(later);
    QApplication::processEvents();
    EXPECT_EQ(look.HookedAs(later), xcEdit);

    // A field whose style only follows the application's takes the look
    // like a plain edit and gets its style back.
    auto *field = new TInfoField;
    layout->addWidget(field);
    QApplication::processEvents();
    EXPECT_EQ(look.HookedAs(field), xcEdit);
    EXPECT_EQ(field->style(), look.Style());
    look.SetActive(false);
    EXPECT_EQ(field->style(), TFieldStyle::Instance());
}

TEST(XPLookHooking, DestroyedWidgetsAndLookEndCleanly)
{
    auto *form = new QDialog;
    auto *layout = new QVBoxLayout(form);
    auto *gone = new QPushButton("gone");
    auto *stays = new QLineEdit;
    layout->addWidget(gone);
    layout->addWidget(stays);
    auto *look = new TXPLook(form);
    look->SetActive(true);
    delete gone;
    EXPECT_EQ(look->HookedWidgets().size(), 1);
    // Ending the look gives the live widgets the application style back.
    delete look;
    EXPECT_EQ(stays->style(), QApplication::style());
    look = new TXPLook(form);
    look->SetActive(true);
    delete form; // the form goes with its look on
    QApplication::processEvents();
}

TEST_F(XPLookPixels, ButtonOutlineHoverAndDisabled)
{
    QDialog form;
    form.setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(&form);
    auto *button = new QPushButton("Abbrechen");
    auto *off = new QPushButton("Aus");
    off->setEnabled(false);
    button->setMinimumSize(90, 28);
    off->setMinimumSize(90, 28);
    layout->addWidget(button);
    layout->addWidget(off);
    form.resize(form.sizeHint());
    form.adjustSize();
    TXPLook look(&form);
    look.SetActive(true);

    const auto shot = [](QPushButton *b) { return b->grab().toImage(); };
    QImage img = shot(button);
    const int midY = img.height() / 2;
    // Outline lighten(shadow, 30): 128 + 38.1 -> 166; fill lighten(face, 16).
    EXPECT_EQ(pixel(img, 0, midY), (Rgb{166, 166, 166}));
    EXPECT_EQ(pixel(img, 4, 4), (Rgb{219, 216, 209}));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(button, &enter);
    img = shot(button);
    // Hover: fill lighten(face, 60) = (238,236,233); outline
    // lighten(lighten(highlight, 60), 30) = (198,213,239).
    EXPECT_EQ(pixel(img, 4, 4), (Rgb{238, 236, 233}));
    EXPECT_EQ(pixel(img, 0, midY), (Rgb{198, 213, 239}));

    const QImage before = shot(off);
    QEnterEvent enterOff(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(off, &enterOff);
    EXPECT_EQ(shot(off), before) << "hover on a disabled button changes nothing";
    EXPECT_EQ(pixel(before, 4, 4), (Rgb{219, 216, 209}));
}

TEST_F(XPLookPixels, MenuHighlightSeparatorAndSwitchingBack)
{
    QWidget form;
    auto *menu = new QMenu(&form);
    QAction *one = menu->addAction(QStringLiteral("Eins"));
    QAction *sep = menu->addSeparator();
    menu->addAction(QStringLiteral("Zwei"));
    menu->adjustSize();
    const QImage stock = menu->grab().toImage();

    TXPLook look(&form);
    look.SetActive(true);
    ASSERT_EQ(look.HookedAs(menu), xcPopupMenu);
    menu->adjustSize();
    menu->setActiveAction(one);
    const QImage on = menu->grab().toImage();
    const QRect row = menu->actionGeometry(one);
    const QRect line = menu->actionGeometry(sep);
    EXPECT_EQ(line.height(), 4);
    // Highlight fill lighten(highlight, 68) = (189,207,236), its frame the highlight.
    EXPECT_EQ(pixel(on, row.right() - 3, row.center().y()), (Rgb{189, 207, 236}));
    EXPECT_EQ(pixel(on, row.right(), row.center().y()), (Rgb{49, 106, 197}));
    // Separator lighten(shadow, 25) = (160,160,160) over the text part; the
    // icon column lighten(face, 16), the rest lighten(face, 86) = (249,248,247).
    EXPECT_EQ(pixel(on, line.left() + 24 + 12, line.center().y()), (Rgb{160, 160, 160}));
    EXPECT_EQ(pixel(on, line.left() + 3, line.top()), (Rgb{219, 216, 209}));
    EXPECT_EQ(pixel(on, line.left() + 24 + 4, line.top()), (Rgb{249, 248, 247}));

    // The flat frame lies inside the popup: its two-pixel shadow along the
    // right edge is darken(face, 76) = (136,134,124).
    look.FlatMenu = true;
    menu->adjustSize();
    const QImage flat = menu->grab().toImage();
    EXPECT_EQ(pixel(flat, flat.width() - 1, flat.height() / 2), (Rgb{136, 134, 124}));
    EXPECT_EQ(pixel(flat, flat.width() - 2, flat.height() / 2), (Rgb{136, 134, 124}));

    look.SetActive(false);
    menu->setActiveAction(nullptr);
    menu->adjustSize();
    EXPECT_EQ(menu->grab().toImage(), stock);
}

TEST_F(XPLookPixels, ControlsBackToStockPixels)
{
    QDialog form;
    auto *layout = new QVBoxLayout(&form);
    layout->addWidget(new QPushButton("OK"));
    layout->addWidget(new QLineEdit("Text"));
    layout->addWidget(new QCheckBox("Haken"));
    layout->addWidget(new QRadioButton("Knopf"));
    auto *combo = new QComboBox;
    combo->addItem("Eins");
    layout->addWidget(combo);
    auto *group = new QGroupBox("Gruppe");
    new QVBoxLayout(group);
    group->layout()->addWidget(new QSpinBox);
    layout->addWidget(group);
    layout->addWidget(new QPlainTextEdit);
    form.adjustSize();
    const QImage stock = form.grab().toImage();
    TXPLook look(&form);
    look.SetActive(true);
    EXPECT_NE(form.grab().toImage(), stock);
    look.SetActive(false);
    EXPECT_EQ(form.grab().toImage(), stock);
}

TEST_F(XPLookPixels, ToolButtonsBandEditAndCheckBox)
{
    QMainWindow form;
    auto *bar = new QToolBar(&form);
    form.addToolBar(bar);
    QAction *on = bar->addAction(QStringLiteral("An"));
    on->setCheckable(true);
    on->setChecked(true);
    bar->addAction(QStringLiteral("Aus"));
    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    auto *edit = new QLineEdit(QStringLiteral("Text"));
    auto *box = new QCheckBox(QStringLiteral("Haken"));
    layout->addWidget(edit);
    layout->addWidget(box);
    form.setCentralWidget(central);
    form.resize(300, 200);
    form.show();
    // Neither the edit nor the box holds the focus (focus counts as hover).
    central->setFocusPolicy(Qt::StrongFocus);
    central->setFocus();
    QApplication::processEvents();
    TXPLook look(&form);
    look.SetActive(true);
    QApplication::processEvents();

    // A checked tool button: checked fill lighten(highlight, 80) = (214,225,243)
    // framed in the highlight, one pixel below the button's top; above it and
    // around the plain button the bar background lighten(face, 16).
    auto *checked = qobject_cast<QToolButton *>(bar->widgetForAction(on));
    ASSERT_NE(checked, nullptr);
    ASSERT_EQ(look.HookedAs(checked), xcToolbar);
    QImage img = checked->grab().toImage();
    EXPECT_EQ(pixel(img, img.width() / 2, 0), (Rgb{219, 216, 209}));
    EXPECT_EQ(pixel(img, img.width() / 2, 1), (Rgb{49, 106, 197}));
    EXPECT_EQ(pixel(img, 3, img.height() / 2), (Rgb{214, 225, 243}));
    // The bar's band: lighten(face, 6) = (215,211,203).
    EXPECT_EQ(look.HookedAs(bar), xcToolbar | xcControlbar);
    img = bar->grab().toImage();
    EXPECT_EQ(pixel(img, img.width() - 2, img.height() - 2), (Rgb{215, 211, 203}));

    // The edit's one-pixel frame: darken(parent, 60) = (152,150,140) at rest,
    // lighten(highlight, 60) = (173,195,232) under the mouse.
    img = edit->grab().toImage();
    EXPECT_EQ(pixel(img, 0, img.height() / 2), (Rgb{152, 150, 140}));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(edit, &enter);
    img = edit->grab().toImage();
    EXPECT_EQ(pixel(img, 0, img.height() / 2), (Rgb{173, 195, 232}));

    // The check box at rest: outlined in the button shadow, filled with the
    // window colour; checked, the mark is the highlight.
    box->setChecked(true);
    QStyleOptionButton opt;
    opt.initFrom(box);
    const QRect r = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box);
    img = box->grab().toImage();
    EXPECT_EQ(pixel(img, r.left(), r.center().y()), (Rgb{128, 128, 128}));
    EXPECT_EQ(pixel(img, r.right() - 1, r.bottom() - 1), (Rgb{255, 255, 255}));
    bool mark = false;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            mark = mark || pixel(img, x, y) == Rgb{49, 106, 197};
    EXPECT_TRUE(mark);
}
