// The main window's flat look: the menu item, the stored choice across a
// restart, the settings dialog's OK, the dialogs' look by their option, the
// floating bar's wrapped buttons, and tool tips still framed as before.
#include "MainForm.h"
#include "OptionDlg.h"
#include "ShippedLanguage.h"
#include "ToolBarFlow.h"
#include "XPHintWindow.h"
#include "XPLook.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace zk;

namespace {

class XPLookAppTest : public zktest::ShippedLanguageTest
{
};

QImage tipPanel(QStyle *style)
{
    QImage img(40, 20, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    QStyleOption opt;
    opt.rect = img.rect();
    opt.palette = QApplication::palette();
    style->drawPrimitive(QStyle::PE_PanelTipLabel, &opt, &p, nullptr);
    return img;
}

} // namespace

TEST_F(XPLookAppTest, MenuItemSwitchesAndTheChoiceSurvivesARestart)
{
    {
        TMainForm form;
        ASSERT_NE(form.ZKXPLook, nullptr);
        EXPECT_EQ(form.ZKXPLook->objectName(), QStringLiteral("ZKXPLook"));
        EXPECT_FALSE(form.ZKXPLook->Active());
        QAction *item = form.Item(QStringLiteral("XPStyleMenuItem"));
        ASSERT_TRUE(item->isEnabled());
        item->trigger();
        EXPECT_TRUE(form.Options.XPMenStyle);
        EXPECT_TRUE(form.ZKXPLook->Active());
        EXPECT_EQ(form.ZKMainMenu->style(), form.ZKXPLook->Style());
        QMenu *edit = form.SubMenu(QStringLiteral("BearbeitenMenuItem"));
        ASSERT_NE(edit, nullptr);
        EXPECT_TRUE(form.ZKXPLook->HookedAs(edit) & xcMainMenu);
        EXPECT_EQ(form.StandardToolBar->style(), form.ZKXPLook->Style());
        form.SaveOptions();
    }
    TMainForm again;
    EXPECT_TRUE(again.Options.XPMenStyle);
    EXPECT_TRUE(again.ZKXPLook->Active());
    EXPECT_TRUE(again.Item(QStringLiteral("XPStyleMenuItem"))->isChecked());
    again.Item(QStringLiteral("XPStyleMenuItem"))->trigger();
    EXPECT_FALSE(again.Options.XPMenStyle);
    EXPECT_FALSE(again.ZKXPLook->Active());
    EXPECT_EQ(again.ZKMainMenu->style(), QApplication::style());
}

TEST_F(XPLookAppTest, SettingsOkSwitchesTheLookAtOnce)
{
    TMainForm form;
    // Pinned explorers that are not shown would ask first.
    form.Options.MagneticFE = false;
    TOptionDlgBMForm dlg(&form);
    dlg.SetOptions(form.Options);
    dlg.XPMenCheckBox->setChecked(true);
    form.ApplyOptionsDialog(dlg);
    EXPECT_TRUE(form.ZKXPLook->Active());
    dlg.XPMenCheckBox->setChecked(false);
    form.ApplyOptionsDialog(dlg);
    EXPECT_FALSE(form.ZKXPLook->Active());
}

TEST_F(XPLookAppTest, DialogsTakeTheirLookFromTheOption)
{
    TMainForm form;
    ASSERT_TRUE(form.FormLookHook);
    QDialog dialog(&form);
    auto *button = new QPushButton(QStringLiteral("OK"), &dialog);
    form.FormLookHook(&dialog, false);
    EXPECT_FALSE(TXPLook::FormActive(&dialog));
    EXPECT_EQ(button->style(), QApplication::style());
    form.FormLookHook(&dialog, true);
    EXPECT_TRUE(TXPLook::FormActive(&dialog));
    EXPECT_EQ(button->style(), TXPLook::OfForm(&dialog)->Style());
    EXPECT_FALSE(form.ZKXPLook->Active()) << "the main window's menus follow their own option";
    form.FormLookHook(&dialog, false);
    EXPECT_EQ(button->style(), QApplication::style());
}

TEST_F(XPLookAppTest, WrappedFloatingBarButtonsAndToolTipsUnderTheLook)
{
    TMainForm form;
    form.Options.XPMenStyle = true;
    form.ApplyXPLook();
    auto *flow = form.StandardToolBar->findChild<TToolBarFlow *>();
    ASSERT_NE(flow, nullptr);
    flow->SetWrapping(true);
    flow->Relayout();
    QApplication::processEvents();
    ASSERT_FALSE(flow->Buttons().isEmpty());
    for (QToolButton *b : flow->Buttons())
        EXPECT_EQ(form.ZKXPLook->HookedAs(b), xcToolbar) << b->objectName().toStdString();
    flow->SetWrapping(false);

    // The look's style sits over the program's tool-tip style.
    TXPHintWindow hint;
    EXPECT_EQ(tipPanel(form.ZKXPLook->Style()), tipPanel(&hint));
}

// The docked windows' title buttons keep the icons the wrapped style gives,
// in either layout direction, however often a layout asks.
TEST(XPHintWindowTest, DockTitleButtonsShowTheWrappedStylesIcons)
{
    auto *hint = new TXPHintWindow; // the style it wraps is the application's
    QStyle *plain = QStyleFactory::create(QApplication::style()->name());
    ASSERT_NE(plain, nullptr);
    for (const Qt::LayoutDirection direction : {Qt::LeftToRight, Qt::RightToLeft}) {
        for (const QStyle::StandardPixmap button : {QStyle::SP_TitleBarCloseButton, QStyle::SP_TitleBarNormalButton}) {
            QStyleOptionDockWidget option;
            option.direction = direction;
            const QImage expected = plain->standardIcon(button, &option).pixmap(16).toImage();
            for (int ask = 0; ask < 2; ++ask)
                EXPECT_EQ(hint->standardIcon(button, &option).pixmap(16).toImage(), expected) << int(button);
        }
    }
    delete plain;
    delete hint;
}
