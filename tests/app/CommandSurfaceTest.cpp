// The main window's command surface offscreen: tool-bar flags and positions
// read back from the store, the command groups switched by the idle pass,
// the picture's context menu, the language switch over every item, Qt's own
// texts, and the icons.
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "ProgramDir.h"
#include "QtTranslations.h"
#include "Registry.h"
#include "ShippedLanguage.h"
#include "ToolBarStore.h"
#include "XPHintWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QPainter>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace zk;

namespace {

const QString kGuiKey = QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0\\GUI");

class CommandSurfaceTest : public zktest::ShippedLanguageTest
{
protected:
    // The idle pass runs from the event loop, as in the program.
    static void settle() { QTest::qWait(5); }

    static void setBitmap(TMainForm &form, int w = 40, int h = 30)
    {
        auto bmp = std::make_unique<TBitmap>(w, h, pf24bit);
        form.ScanImage->Picture().SetGraphic(std::move(bmp));
        form.ScanImage->PictureChanged();
        settle();
    }
};

std::array<bool, 9> barsShown(const TMainForm &form)
{
    std::array<bool, 9> shown{};
    const auto bars = form.DockOrderToolBars();
    for (int i = 0; i < 9; ++i)
        shown[i] = !bars[i]->isHidden();
    return shown;
}

// Names of the values in one key, in the order the store file holds them.
QStringList storedValueOrder(const QString &key)
{
    QFile f(TRegistry::StoreFile(RootKey::CurrentUser));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    QStringList names;
    bool inKey = false;
    for (const QString &l : lines) {
        if (l.startsWith(u'['))
            inKey = l.mid(1, l.size() - 2).compare(key, Qt::CaseInsensitive) == 0;
        else if (inKey && l.startsWith(u'"'))
            names.append(l.mid(1, l.indexOf(u'"', 1) - 1));
    }
    return names;
}

} // namespace

TEST_F(CommandSurfaceTest, FirstRunShowsThreeBarsAndResetShowsEightWithTheFlagsWrittenInTheirOrder)
{
    {
        TMainForm form;
        settle();
        EXPECT_EQ(barsShown(form), (std::array<bool, 9>{true, true, true, false, false, false, false, false, false}));
        for (const TPaletteRow &r : PaletteTable())
            EXPECT_EQ(form.Item(r.menuItem)->isChecked(), r.defaultOn) << r.menuItem;

        form.Item("SetMPUndoMenuItem")->trigger();
        EXPECT_EQ(barsShown(form), (std::array<bool, 9>{true, true, true, true, true, true, true, true, false}));
        EXPECT_FALSE(form.Item("View2MenuItem")->isChecked());
        EXPECT_TRUE(form.Item("WordMenuItem")->isChecked());
        form.FormClose();
    }
    const auto flags = ReadPaletteFlagsFrom(kGuiKey);
    ASSERT_TRUE(flags.has_value());
    EXPECT_EQ(flags->bars, (std::array<bool, 9>{true, true, true, true, true, true, true, true, false}));

    QStringList order = storedValueOrder(kGuiKey);
    order.erase(std::remove_if(order.begin(), order.end(),
                               [](const QString &n) { return !PaletteFlagWriteOrder().contains(n); }),
                order.end());
    EXPECT_EQ(order, PaletteFlagWriteOrder());

    // The next start shows what was stored.
    TMainForm again;
    EXPECT_EQ(barsShown(again), (std::array<bool, 9>{true, true, true, true, true, true, true, true, false}));
}

TEST_F(CommandSurfaceTest, FlagsOfTheWrongTypeOrMissingGiveTheDefaults)
{
    TPaletteFlags all;
    all.bars.fill(true);
    ASSERT_TRUE(WritePaletteFlagsTo(kGuiKey, all));
    ASSERT_TRUE(ReadPaletteFlagsFrom(kGuiKey).has_value());
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kGuiKey, false));
        reg.WriteString("WordPal", "1");
    }
    EXPECT_FALSE(ReadPaletteFlagsFrom(kGuiKey).has_value());
    TMainForm form;
    EXPECT_EQ(barsShown(form), (std::array<bool, 9>{true, true, true, false, false, false, false, false, false}));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kGuiKey, false));
        reg.WriteBool("WordPal", true);
        reg.DeleteValue("ColView");
    }
    EXPECT_FALSE(ReadPaletteFlagsFrom(kGuiKey).has_value());
}

TEST_F(CommandSurfaceTest, ToolBarBoundsRoundTripAndRefuseOtherLengths)
{
    TToolBarBounds bounds;
    for (int i = 0; i < 9; ++i)
        bounds[i] = QRect(i * 37 - 5, i * 3, 20 + i, 24);
    const QByteArray bytes = EncodeToolBarBounds(bounds);
    ASSERT_EQ(bytes.size(), 144);
    // Left, Top, Right, Bottom of the first rectangle, little-endian.
    EXPECT_EQ(bytes.left(16), QByteArray::fromHex("fbffffff000000000f00000018000000"));
    EXPECT_EQ(DecodeToolBarBounds(bytes), bounds);
    for (int size : {0, 143, 145, 288})
        EXPECT_FALSE(DecodeToolBarBounds(QByteArray(size, '\x01')).has_value()) << size;

    // A right edge left of the left edge is no rectangle.
    QByteArray reversed = bytes;
    qToLittleEndian<qint32>(-100, reinterpret_cast<uchar *>(reversed.data()) + 8);
    EXPECT_TRUE(DecodeToolBarBounds(reversed)->at(0).isNull());

    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kGuiKey, true));
        reg.WriteBinaryData("DefToolBarPos", QByteArray(100, '\x07'));
    }
    TMainForm form;
    for (const QRect &r : form.ToolBarBounds)
        EXPECT_TRUE(r.isNull());

    form.WriteStdValsMenuItemClick();
    const auto stored = ReadToolBarBounds(kGuiKey);
    ASSERT_TRUE(stored.has_value());
    const auto bars = form.DockOrderToolBars();
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(stored->at(i), bars[i]->geometry()) << i;
}

TEST_F(CommandSurfaceTest, PicEditPaletteValuesDefaultAndRoundTrip)
{
    TMainForm form;
    EXPECT_EQ(form.Antialiasing, 1);
    EXPECT_EQ(form.Scaling, 1);
    EXPECT_EQ(form.MarkerKind, 0);
    form.Antialiasing = 0;
    form.MarkerKind = 3;
    form.WritePicEditPalFlags();
    const TPicEditPal v = ReadPicEditPal(kGuiKey + "\\PicEditPal");
    EXPECT_EQ(v.antialiasing, 0);
    EXPECT_EQ(v.scaling, 1);
    EXPECT_EQ(v.marker, 3);
}

TEST_F(CommandSurfaceTest, GroupsFollowThePictureAndUnbuiltCommandsStayOff)
{
    TMainForm form;
    // What the areas switched on at start is what exists.
    QSet<QString> builtAtStart;
    for (TCommandGroup g : {TCommandGroup::File, TCommandGroup::Edit, TCommandGroup::Cursor, TCommandGroup::View})
        for (const QString &n : CommandGroup(g))
            if (form.Item(n)->isEnabled())
                builtAtStart.insert(n);
    ASSERT_TRUE(builtAtStart.contains("MirrorHMenuItem"));
    ASSERT_TRUE(builtAtStart.contains("SaveMenuItem"));
    ASSERT_TRUE(builtAtStart.contains("PrintMenuItem"));
    ASSERT_TRUE(builtAtStart.contains("TestMenuItem"));

    settle();
    for (TCommandGroup g : {TCommandGroup::File, TCommandGroup::Edit, TCommandGroup::Cursor, TCommandGroup::View})
        for (const QString &n : CommandGroup(g))
            EXPECT_FALSE(form.Item(n)->isEnabled()) << "without a picture: " << n.toStdString();
    EXPECT_EQ(form.ScanImage->size(), QSize(0, 0));

    setBitmap(form);
    // Printing needs a printer besides: button and menu item alike.
    const QStringList printing = {"PrintToolButton", "PrintMenuItem"};
    for (TCommandGroup g : {TCommandGroup::File, TCommandGroup::Edit, TCommandGroup::Cursor, TCommandGroup::View})
        for (const QString &n : CommandGroup(g))
            EXPECT_EQ(form.Item(n)->isEnabled(), builtAtStart.contains(n) && (!printing.contains(n) || form.PrinterExists()))
                << "with a bitmap: " << n.toStdString();
    EXPECT_TRUE(builtAtStart.contains("PrintToolButton"));

    // Not exactly a bitmap: edit and cursor groups go off, files stay on.
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::red);
    QTemporaryDir dir;
    const QString jpg = dir.path() + "/photo.jpg";
    ASSERT_TRUE(img.save(jpg, "JPG"));
    form.Options.OAsBmp = false;
    form.OpenPictureFile(jpg);
    settle();
    ASSERT_EQ(form.StatusPanelText(6), QString("jpg"));
    EXPECT_TRUE(form.Item("JpgScaleToolButton")->isEnabled());
    EXPECT_FALSE(form.Item("MirrorHMenuItem")->isEnabled());
    EXPECT_TRUE(form.Item("SaveMenuItem")->isEnabled());

    setBitmap(form);
    form.SetStatusPanelText(6, "bmp");
    settle();
    EXPECT_FALSE(form.Item("JpgScaleToolButton")->isEnabled());
    EXPECT_TRUE(form.Item("MirrorHMenuItem")->isEnabled());

    // The idle pass ran and nothing re-arms it: no polling.
    settle();
    EXPECT_FALSE(form.findChild<QTimer *>("IdleTimer")->isActive());
    const QTimer *date = form.findChild<QTimer *>("DateTimer");
    EXPECT_TRUE(date->isActive());
    EXPECT_GE(date->interval(), 1000);

    // Emptied panels are filled again by the next pass.
    form.SetStatusPanelText(4, QString());
    form.SetStatusPanelText(0, QString());
    settle();
    EXPECT_EQ(form.StatusPanelText(4), QString("X: 0   Y: 0"));
    EXPECT_EQ(form.StatusPanelText(0), form.Text("statbar_app_run"));
}

TEST_F(CommandSurfaceTest, AnIdlePassWithNothingNewChangesNoCommand)
{
    // With a bitmap, a JPEG and no picture: once the pass has run, another
    // tells no menu or bar anything (a command switched on by its group and
    // off again by the print rule would change twice each pass).
    TMainForm form;
    int changes = 0;
    for (QAction *a : form.findChildren<QAction *>())
        QObject::connect(a, &QAction::changed, &form, [&changes] { ++changes; });
    const auto quietPass = [&](const char *what) {
        settle();
        changes = 0;
        form.ZKApplicationEventsIdle();
        EXPECT_EQ(changes, 0) << what;
    };
    quietPass("no picture");
    setBitmap(form);
    quietPass("bitmap");
    EXPECT_EQ(form.Item("PrintToolButton")->isEnabled(), form.PrinterExists());
    EXPECT_EQ(form.Item("PrintMenuItem")->isEnabled(), form.PrinterExists());
    EXPECT_TRUE(form.Item("MirrorHMenuItem")->isEnabled());
    form.SetStatusPanelText(6, "jpg");
    quietPass("jpg");
    EXPECT_TRUE(form.Item("JpgScaleToolButton")->isEnabled());
    EXPECT_TRUE(form.Item("JpgScaleMenuItem")->isEnabled());
}

TEST_F(CommandSurfaceTest, PasteFollowsTheClipboard)
{
    TMainForm form;
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QGuiApplication::clipboard()->setImage(img);
    settle();
    EXPECT_TRUE(form.ClipboardHasPicture());
    EXPECT_TRUE(form.Item("PasteMenuItem")->isEnabled());
    EXPECT_TRUE(form.Item("PasteToolButton")->isEnabled());
    QGuiApplication::clipboard()->setText("no picture");
    settle();
    EXPECT_FALSE(form.Item("PasteMenuItem")->isEnabled());
    EXPECT_FALSE(form.Item("PasteToolButton")->isEnabled());
}

TEST_F(CommandSurfaceTest, TopMenuSetsCheckMarksAndRecentItem)
{
    TMainForm form;
    form.Options.Loupe = true;
    form.Options.Stretch = true;
    form.Options.OAsBmp = false;
    form.Options.ExtGrafikEditor = true;
    form.Options.ExtGrEdtPath = programDir.path() + "/missing-editor";
    form.SetStatusPanelText(0, "busy");
    form.DateiMenuItemClick();
    EXPECT_TRUE(form.StatusPanelText(0).isEmpty());
    EXPECT_TRUE(form.Item("KoordLoupMenuItem")->isChecked());
    EXPECT_TRUE(form.Item("GsMenuItem")->isChecked());
    EXPECT_FALSE(form.Item("FileAsBmpMenuItem")->isChecked());
    EXPECT_FALSE(form.Item("ExtGraphMenuItem")->isChecked()); // the editor is not there
    EXPECT_FALSE(form.Item("NewOpenMenuItem")->isEnabled());   // nothing opened yet
    EXPECT_FALSE(form.Item("JpgScaleMenuItem")->isEnabled());
    EXPECT_FALSE(form.Item("PrintPrevMenuItem")->isEnabled());
}

TEST_F(CommandSurfaceTest, ContextMenuSharesThePictureMenuAndSwapsOnlyTheFocusEntries)
{
    TMainForm form;
    settle();
    EXPECT_FALSE(form.PopupBuilt);
    setBitmap(form);
    ASSERT_TRUE(form.PopupBuilt);
    const QList<QAction *> grafik = form.SubMenu("GrafikMenuItem")->actions();
    const QList<QAction *> menu = form.GrEdtBarPopupMenu->actions();
    ASSERT_GE(menu.size(), grafik.size() + 4);
    EXPECT_EQ(menu.mid(0, grafik.size()), grafik); // the same actions, not copies
    EXPECT_TRUE(menu[grafik.size()]->isSeparator());
    EXPECT_EQ(menu[grafik.size() + 1], form.Item("CutterMenuItem"));
    QAction *shell = menu[grafik.size() + 3];
    ASSERT_NE(shell->menu(), nullptr);
    EXPECT_FALSE(shell->isEnabled()); // until the file list exists
    EXPECT_EQ(shell->text(), QString("Shell"));
    const QList<QAction *> plain = menu;

    form.Options.FocusMode = true;
    form.GrEdtPopupMenuPopup();
    const QList<QAction *> focused = form.GrEdtBarPopupMenu->actions();
    ASSERT_EQ(focused.size(), plain.size() + 3);
    EXPECT_EQ(focused.mid(0, plain.size()), plain);
    EXPECT_TRUE(focused[plain.size()]->isSeparator());
    EXPECT_EQ(focused[plain.size() + 1], form.Item("ObjStretchMenuItem"));
    EXPECT_EQ(focused[plain.size() + 2], form.Item("NormViewMenuItem"));
    form.GrEdtPopupMenuPopup(); // again: nothing doubles
    EXPECT_EQ(form.GrEdtBarPopupMenu->actions().size(), focused.size());

    form.Options.FocusMode = false;
    form.GrEdtPopupMenuPopup();
    EXPECT_EQ(form.GrEdtBarPopupMenu->actions(), plain);
    // The borrowed items still live in the focus frame's menu.
    EXPECT_EQ(form.FocObjPopupMenu->actions().size(), 2);

    // A file list's "Shell" menu: copies enabled by the file name, 6 off, 8 on.
    QMenu fileList;
    QList<QAction *> originals;
    for (int i = 0; i < 10; ++i)
        originals.append(fileList.addAction(QString("Entry %1").arg(i)));
    int ran = 0;
    QObject::connect(originals[2], &QAction::triggered, [&ran] { ++ran; });
    form.FileListShellMenu = &fileList;
    form.FHasFileName = false;
    form.GrEdtPopupMenuPopup();
    const QList<QAction *> copies = shell->menu()->actions();
    ASSERT_EQ(copies.size(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(copies[i]->isEnabled(), i == 8) << i;
    form.FHasFileName = true;
    form.GrEdtPopupMenuPopup();
    const QList<QAction *> again = shell->menu()->actions();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(again[i]->isEnabled(), i != 6) << i;
    again[2]->trigger();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(form.GrEdtBarPopupMenu->actions(), plain);
}

namespace {

struct Shown
{
    QString text, toolTip, statusTip;
    bool operator==(const Shown &) const = default;
};

// Every text the switch may touch: items, sub-menu titles, bar titles.
QMap<QString, Shown> shownTexts(const TMainForm &form)
{
    QMap<QString, Shown> all;
    for (QAction *a : form.findChildren<QAction *>())
        if (!a->objectName().isEmpty())
            all.insert(a->objectName(), {a->text(), a->toolTip(), a->statusTip()});
    for (QToolBar *b : form.findChildren<QToolBar *>())
        all.insert(b->objectName(), {b->windowTitle(), b->toolTip(), b->statusTip()});
    return all;
}

} // namespace

TEST_F(CommandSurfaceTest, EveryItemFollowsEachLanguageAndGermanRestoresEveryText)
{
    TMainForm form;
    // The items of closed menus take their texts once the loop runs.
    QCoreApplication::processEvents();
    const QMap<QString, Shown> german = shownTexts(form);
    const QStringList script = form.ZKMultiLanguage->Script();
    ASSERT_FALSE(script.isEmpty());

    // Every tool button, bar and menu item of the window has both entries.
    const QList<LanguageEntry> de = LanguageSection(script, "german");
    QSet<QString> deKeys;
    for (const LanguageEntry &e : de)
        deKeys.insert(e.key);
    // The crop buttons belong to the mouse tools, which bring their own texts.
    const QSet<QString> elsewhere = {"CutterToolButton", "CutterEnterToolButton", "AMenuItem", "MarkMenuItem"};
    for (auto it = german.cbegin(); it != german.cend(); ++it) {
        const bool item = it.key().contains("MenuItem") || it.key().contains("ToolButton") ||
                          it.key().contains("ToolBar") || it.key().contains("Menuitem");
        if (elsewhere.contains(it.key()) || !item)
            continue;
        EXPECT_TRUE(deKeys.contains(it.key() + ".Caption")) << it.key().toStdString();
        EXPECT_TRUE(deKeys.contains(it.key() + ".Hint")) << it.key().toStdString();
    }

    for (int language : {1, 2, 3, 4, 0}) {
        form.GermanMenuItemClick(form.Item(QStringList{"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem",
                                                       "SpanMenuItem", "FranceMenuItem"}[language]));
        ASSERT_EQ(form.Options.Language, language);
        const QMap<QString, Shown> now = shownTexts(form);
        for (const LanguageEntry &e : LanguageSection(script, LanguageName(language))) {
            const qsizetype dot = e.key.indexOf(u'.');
            if (dot < 0)
                continue;
            const QString name = e.key.left(dot);
            const QString prop = e.key.mid(dot + 1);
            if (!now.contains(name))
                continue; // a control of another form
            if (prop == "Caption") {
                EXPECT_EQ(now[name].text, e.value) << e.key.toStdString() << " in " << language;
            } else if (prop == "Hint") {
                EXPECT_EQ(now[name].statusTip, e.value.section(u'|', -1)) << e.key.toStdString();
            }
        }
        EXPECT_EQ(form.StatusPanelText(4), form.Text("statbar_graphic_txt"));
    }
    const QMap<QString, Shown> back = shownTexts(form);
    for (auto it = german.cbegin(); it != german.cend(); ++it)
        EXPECT_EQ(back.value(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(CommandSurfaceTest, QtOwnTextsAndTheQuitQuestionFollowTheLanguage)
{
    TMainForm form;
    form.Options.EndDlg = true;
    struct Case
    {
        const char *item;
        QString yes, no;
    };
    const Case cases[] = {
        {"GermanMenuItem", "&Ja", "&Nein"}, {"FranceMenuItem", "&Oui", "&Non"}, {"ItalMenuItem", "&S\u00ec", "&No"},
        {"SpanMenuItem", "&S\u00ed", "&No"}, {"EnglishMenuItem", "&Yes", "&No"},
    };
    for (const Case &c : cases) {
        form.GermanMenuItemClick(form.Item(c.item));
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), c.yes) << c.item;
        // As in a running program, the switch's own events are done before
        // the question comes.
        QCoreApplication::sendPostedEvents();
        // The quit question is answered "No" as soon as it shows.
        QString shownYes, shownNo;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_TRUE(box && box->objectName() == "CloseQueryBox");
            shownYes = box->button(QMessageBox::Yes)->text();
            shownNo = box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        });
        bool canClose = true;
        form.FormCloseQuery(canClose);
        EXPECT_FALSE(canClose) << c.item;
        EXPECT_EQ(shownYes, c.yes) << c.item;
        EXPECT_EQ(shownNo, c.no) << c.item;
    }
    form.GermanMenuItemClick(form.Item("GermanMenuItem"));
    EXPECT_EQ(QtCatalogueCode(7), QString("de"));
}

TEST_F(CommandSurfaceTest, EveryToolButtonShowsItsOwnIconAtBothSizes)
{
    TMainForm form;
    int buttons = 0;
    for (QToolBar *bar : form.DockOrderToolBars()) {
        for (QAction *a : bar->actions()) {
            if (a->isSeparator())
                continue;
            ++buttons;
            for (int size : {16, 24}) {
                const QImage img = a->icon().pixmap(size, size).toImage();
                ASSERT_FALSE(img.isNull()) << a->objectName().toStdString();
                int inked = 0;
                for (int y = 0; y < img.height(); ++y)
                    for (int x = 0; x < img.width(); ++x)
                        inked += qAlpha(img.pixel(x, y)) > 128;
                // Drawn, and not a filled square.
                EXPECT_GT(inked, size * size / 10) << a->objectName().toStdString() << " at " << size;
                EXPECT_LT(inked, size * size) << a->objectName().toStdString() << " at " << size;
            }
        }
    }
    EXPECT_EQ(buttons, 51);
    // A menu item of the same command shares the button's picture.
    EXPECT_EQ(form.Item("SaveMenuItem")->icon().cacheKey(), form.Item("SaveToolButton")->icon().cacheKey());
}

TEST_F(CommandSurfaceTest, HiddenBarAndShortCutFromTheBarMenu)
{
    TMainForm form;
    QAction *item = form.Item("StandardMenuItem");
    item->trigger();
    EXPECT_TRUE(form.StandardToolBar->isHidden());
    EXPECT_FALSE(form.PaletteFlags[0]);
    // Short cuts of the main menu, sub-menus included, are found from anywhere.
    item->setShortcut(QKeySequence("Ctrl+Shift+F11"));
    EXPECT_TRUE(form.FormShortCut(QKeySequence("Ctrl+Shift+F11")));
    EXPECT_FALSE(form.StandardToolBar->isHidden());
    EXPECT_TRUE(form.PaletteFlags[0]);
    EXPECT_FALSE(form.FormShortCut(QKeySequence("Ctrl+Shift+F10")));
    form.Item("UndoMenuItem")->setEnabled(false);
    EXPECT_FALSE(form.FormShortCut(QKeySequence("Ctrl+Z")));
}

TEST_F(CommandSurfaceTest, TipPanelHasAOnePixelFrame)
{
    TXPHintWindow style;
    QImage img(20, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    QStyleOption opt;
    opt.rect = img.rect();
    opt.palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
    opt.palette.setColor(QPalette::ToolTipText, Qt::black);
    {
        QPainter p(&img);
        style.drawPrimitive(QStyle::PE_PanelTipLabel, &opt, &p);
    }
    for (QPoint edge : {QPoint(0, 0), QPoint(19, 9), QPoint(10, 0), QPoint(0, 5)})
        EXPECT_EQ(img.pixelColor(edge), QColor(Qt::black)) << edge.x() << "," << edge.y();
    EXPECT_EQ(img.pixelColor(1, 1), QColor(255, 255, 220));
    EXPECT_EQ(img.pixelColor(10, 5), QColor(255, 255, 220));
}
