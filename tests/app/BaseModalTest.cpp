// The dialog base: which window a dialog stays above, and who owns it.
#include "BaseModal.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<QWidget> ShownActiveWindow(const char *title)
{
    auto w = std::make_unique<QWidget>();
    w->setWindowTitle(QString::fromLatin1(title));
    w->resize(200, 100);
    w->show();
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
    return w;
}

} // namespace

TEST(BaseModalForm, StaysAboveTheWindowActiveAtCreationButBelongsToItsOpener)
{
    auto opener = std::make_unique<QWidget>();
    opener->setWindowTitle("Opener");
    opener->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(opener.get()));
    auto active = ShownActiveWindow("Active");
    ASSERT_EQ(QApplication::activeWindow(), active.get());

    QPointer<zk::TBaseModalForm> dialog = new zk::TBaseModalForm(opener.get());
    EXPECT_EQ(dialog->parent(), opener.get());
    EXPECT_EQ(dialog->OwnerWindow(), active.get());
    dialog->winId();
    ASSERT_NE(dialog->windowHandle(), nullptr);
    EXPECT_EQ(dialog->windowHandle()->transientParent(), active->windowHandle());

    // Dialogs that stay on top change their flags after construction, which
    // makes a new native window; it must still stand above the active one.
    dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.data()));
    EXPECT_EQ(dialog->windowHandle()->transientParent(), active->windowHandle())
        << "showing must not move the dialog onto its opener";
    dialog->hide();

    // The active window going away leaves the dialog alive and without a dead owner.
    active.reset();
    ASSERT_FALSE(dialog.isNull());
    EXPECT_EQ(dialog->OwnerWindow(), nullptr);
    EXPECT_EQ(dialog->windowHandle()->transientParent(), nullptr);
    dialog->show();
    EXPECT_TRUE(dialog->isVisible());
    dialog->hide();

    // The opener's end is the dialog's end.
    opener.reset();
    EXPECT_TRUE(dialog.isNull());
}

TEST(BaseModalForm, WithoutAnActiveWindowItStaysAboveItsOpener)
{
    QApplication::setActiveWindow(nullptr);
    auto opener = std::make_unique<QWidget>();
    auto *child = new QLabel("inside", opener.get());
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    zk::TBaseModalForm dialog(child);
    dialog.winId();
    EXPECT_EQ(dialog.OwnerWindow(), opener.get());
    EXPECT_EQ(dialog.windowHandle()->transientParent(), opener->windowHandle());
    zk::TBaseModalForm orphan(nullptr);
    EXPECT_EQ(orphan.parent(), nullptr);
}

TEST(BaseModalForm, SetLanguageUsesTheFormsCaptionKey)
{
    // A dialog class without a caption key keeps its caption, yet its
    // controls follow the file.
    zk::TBaseModalForm dialog;
    dialog.setWindowTitle("Eigener Titel");
    auto *label = new QLabel("Hallo", &dialog);
    label->setObjectName("GreetLabel");
    const QStringList script{"[english]", "GreetLabel.Caption=Hello", "Set_AboutDlgForm_Title=About"};
    dialog.SetLanguage(script, 1);
    EXPECT_EQ(label->text(), QString("Hello"));
    EXPECT_EQ(dialog.windowTitle(), QString("Eigener Titel"));
    dialog.SetLanguage(script, 0);
    EXPECT_EQ(label->text(), QString("Hallo"));
}
