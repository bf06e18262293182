// The main window's status bar driven by clicks: which panel runs which
// action at every boundary, the questions answered Yes and No, the single
// cell and back, and the side-bar menus the window carries.
#include "BarPopupMenu.h"
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "Options.h"
#include "PrPrevForm.h"
#include "ShippedLanguage.h"
#include "Registry.h"
#include "SmallControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPrinter>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zk;

namespace {

class RecordingForm : public TMainForm
{
public:
    RecordingForm()
    {
        Options.EndDlg = false;
        Options.SysKeys = false;
        StatusHooks.ShowAboutBox = [this] { calls << "about"; };
        StatusHooks.ShowFileProperties = [this](const QString &f, bool bmp) {
            calls << QStringLiteral("props %1 %2").arg(f).arg(bmp);
        };
    }
    QStringList calls;
};

// Answers the next message box with `button` and records its name.
void answerNextBox(QMessageBox::StandardButton button, QStringList *seen)
{
    QTimer::singleShot(0, [button, seen] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                *seen << box->objectName();
                if (box->button(button))
                    box->button(button)->click();
                else
                    box->close();
                return;
            }
    });
}

int panelLeft(const TContrStatusBar &bar, int index)
{
    return bar.PanelRect(index).left();
}

class StatusBarTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
};

} // namespace

TEST_F(StatusBarTest, ClicksAtEveryPanelBoundaryRunThatPanelsActionOrNone)
{
    RecordingForm form;
    form.resize(900, 500);
    form.show();
    TContrStatusBar *bar = form.ZKStatusBar;
    ASSERT_EQ(bar->Panels.size(), 13u);
    form.ZKStatusBarResize();
    EXPECT_EQ(bar->Panels[0].Width, bar->width() - 426);
    form.FHasFileName = true;
    form.FFileName = QStringLiteral("/tmp/x.png");

    // Left and right edge of the two panels without questions.
    for (int x : {panelLeft(*bar, 10), panelLeft(*bar, 10) + 23})
        form.ZKStatusBarClick(QPoint(x, 5));
    form.ZKStatusBarClick(QPoint(panelLeft(*bar, 11), 5));
    form.ZKStatusBarClick(QPoint(panelLeft(*bar, 11) + 24, 5)); // spacer 12
    form.ZKStatusBarClick(QPoint(bar->width() + 5, 5));         // past the last
    QStringList boxes;
    answerNextBox(QMessageBox::No, &boxes);
    form.ZKStatusBarClick(QPoint(panelLeft(*bar, 10) - 1, 5)); // panel 9 asks
    answerNextBox(QMessageBox::No, &boxes);
    form.ZKStatusBarClick(QPoint(panelLeft(*bar, 8), 5)); // panel 8 asks
    EXPECT_EQ(form.calls, (QStringList{"props /tmp/x.png 0", "props /tmp/x.png 0", "about"}));
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0].startsWith("msgdlg_autocreate_"));
    EXPECT_TRUE(boxes[1].startsWith("msgdlg_after_scan_min_"));
}

TEST_F(StatusBarTest, MinimiseAndAutosaveSwitchOnlyAfterYes)
{
    RecordingForm form;
    form.resize(900, 500);
    form.show();
    QStringList boxes;
    const bool before = form.Options.MinAScan;
    answerNextBox(QMessageBox::No, &boxes);
    form.StatusPanelAction(8);
    EXPECT_EQ(form.Options.MinAScan, before);
    answerNextBox(QMessageBox::Yes, &boxes);
    form.StatusPanelAction(8);
    EXPECT_EQ(form.Options.MinAScan, !before);
    EXPECT_EQ(boxes[1], before ? "msgdlg_after_scan_min_dea" : "msgdlg_after_scan_min_act");

    form.Options.PersSave = true;
    answerNextBox(QMessageBox::Yes, &boxes);
    form.StatusPanelAction(9);
    EXPECT_FALSE(form.Options.PersSave);
    EXPECT_FALSE(form.Item("AutoFileMenuItem")->isChecked());
    EXPECT_EQ(boxes.last(), "msgdlg_autocreate_dea");

    // No picture: the size and convert panels say so.
    answerNextBox(QMessageBox::Ok, &boxes);
    form.StatusPanelAction(6);
    EXPECT_EQ(boxes.last(), "showmsg_nofileload");
}

TEST_F(StatusBarTest, SizePanelAndSingleCellRoundTrip)
{
    RecordingForm form;
    form.resize(900, 500);
    form.show();
    form.ScanImage->Picture().Bitmap().SetSize(640, 480);
    form.ScanImage->PictureChanged();
    // Any change of the picture, and a language switch, show the new size.
    EXPECT_TRUE(form.StatusPanelText(4).endsWith("640 x 480"));
    form.ApplyLanguage();
    EXPECT_TRUE(form.StatusPanelText(4).endsWith("640 x 480"));
    form.StatusPanelAction(4);
    EXPECT_TRUE(form.StatusPanelText(4).endsWith(": 640 x 480")) << form.StatusPanelText(4).toStdString();

    QStringList before;
    for (int i = 0; i < 13; ++i)
        before << form.StatusPanelText(i);
    QAction *oneCell = form.Item("LongHintsMenuItem");
    ASSERT_TRUE(oneCell->isEnabled());
    oneCell->trigger();
    EXPECT_TRUE(form.ZKStatusBar->SimplePanel());
    EXPECT_TRUE(form.Options.OnceCellStatbar);
    EXPECT_FALSE(form.Options.StatBar);
    form.ZKStatBarPopupMenuPopup();
    const QString captionInOneCell = oneCell->text();
    oneCell->trigger();
    form.ZKStatBarPopupMenuPopup();
    EXPECT_NE(oneCell->text(), captionInOneCell);
    EXPECT_FALSE(form.ZKStatusBar->SimplePanel());
    QStringList after;
    for (int i = 0; i < 13; ++i)
        after << form.StatusPanelText(i);
    after[0] = before[0]; // panel 0 follows the hint
    EXPECT_EQ(after, before);
    EXPECT_EQ(form.ZKStatusBar->height(), 20);

    // The four side-bar menus; the View menu's copy has no bar.
    for (auto *menu : {form.TrayBarPopupMenu, form.ZKStatBarPopupMenu, form.GrEdtBarPopupMenu,
                       form.MenStatBarPopupMenu})
        EXPECT_TRUE(qobject_cast<TBarPopupMenu *>(menu));
    QMenu *viewCopy = form.Item("AMenuItem")->menu();
    ASSERT_TRUE(viewCopy);
    EXPECT_FALSE(qobject_cast<TBarPopupMenu *>(viewCopy));
    EXPECT_EQ(viewCopy->actions(), form.MenStatBarPopupMenu->actions());

    // The next start shows the single cell the options keep.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(OptionsStore::KeyPath), true));
    reg.WriteBool("OnceCellStatbar", true);
    reg.WriteBool("StatBar", false);
    RecordingForm again;
    EXPECT_TRUE(again.ZKStatusBar->SimplePanel());
    EXPECT_EQ(again.ZKStatusBar->maximumHeight(), 20);
}

// The given widths suit a small font and the German texts; in every language
// each text panel is at least that wide and wide enough for what it shows,
// and a click still finds the panel it lands on.
using StatusBarLanguages = zktest::ShippedLanguageTest;

TEST_F(StatusBarLanguages, TextPanelsFitTheirTextInEveryLanguage)
{
    {
        RecordingForm form;
        form.resize(900, 500);
        form.show();
        form.ScanImage->Picture().Bitmap().SetSize(4001, 3007);
        form.ScanImage->PictureChanged();
        TContrStatusBar *bar = form.ZKStatusBar;
        const QFontMetrics fm(bar->font());
        for (const char *item : {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem", "SpanMenuItem", "FranceMenuItem"}) {
            form.GermanMenuItemClick(form.Item(item));
            form.StatusPanelAction(4);
            form.ZKStatusBarResize();
            for (const auto &[panel, least] : {std::pair{2, 90}, {4, 110}, {6, 70}}) {
                const QRect r = bar->PanelRect(panel);
                EXPECT_GE(r.width(), least) << item << " panel " << panel;
                EXPECT_GE(r.width(), fm.horizontalAdvance(form.StatusPanelText(panel)) + 4)
                    << item << ": " << form.StatusPanelText(panel).toStdString();
                EXPECT_EQ(StatusPanelAt(bar->PanelWidths(), r.right()), panel);
            }
            EXPECT_EQ(bar->PanelRect(12).right(), bar->width() - 1) << "the bar ends with its last panel";
        }
    }
    {
        QPrinter printer;
        TPrPrevForm preview(&printer);
        preview.show();
        preview.DateTimeTimerTimer();
        const QRect clock = preview.PrPrevStatusBar->PanelRect(0);
        EXPECT_GE(clock.width(), 130);
        EXPECT_GE(clock.width(), QFontMetrics(preview.PrPrevStatusBar->font())
                                         .horizontalAdvance(preview.PrPrevStatusBar->PanelText(0)) + 4);
    }
}

TEST_F(StatusBarLanguages, APointerMoveShowsTheRestingTextOfTheLanguageNowChosen)
{
    RecordingForm form;
    form.ScanImage->Picture().Bitmap().SetSize(40, 30);
    form.ScanImage->PictureChanged();
    const struct {
        const char *item;
        bool numberMark;
        const char *text;
    } steps[] = {{"GermanMenuItem", false, "Bereit"},
                 {"EnglishMenuItem", false, "Ready"},
                 {"EnglishMenuItem", true, "Place a number in the picture"},
                 {"ItalMenuItem", true, "Inserisci un numero nell'immagine"},
                 {"ItalMenuItem", false, "Pronto"}};
    for (const auto &s : steps) {
        form.GermanMenuItemClick(form.Item(s.item));
        form.NumberMarkActive = s.numberMark;
        form.ScanImageMouseMove(TShiftState{}, 5, 6);
        EXPECT_EQ(form.StatusPanelText(0), QString::fromUtf8(s.text)) << s.item;
    }
}
