// On a real X server, a dialog's WM_TRANSIENT_FOR names the window that was
// active when the dialog was made, even when another window opened it; that
// is what keeps the window manager from burying it under the active window.
#include "BaseModal.h"
#include "TestSupport.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The window id in WM_TRANSIENT_FOR as the server holds it; 0 when unset.
quint64 TransientFor(WId id)
{
    QByteArray out;
    if (zktest::runProgram("xprop", {"-id", QString::number(id), "WM_TRANSIENT_FOR"}, &out) != 0)
        return 0;
    const QRegularExpressionMatch m = QRegularExpression("# (0x[0-9a-fA-F]+)").match(QString::fromLatin1(out));
    return m.hasMatch() ? m.captured(1).toULongLong(nullptr, 16) : 0;
}

std::unique_ptr<QWidget> Shown(const char *title)
{
    auto w = std::make_unique<QWidget>();
    w->setWindowTitle(QString::fromLatin1(title));
    w->resize(300, 200);
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

} // namespace

TEST(BaseModalFormX11, TransientForTheWindowActiveAtCreation)
{
    ASSERT_TRUE(zktest::haveProgram("xprop"));
    auto opener = Shown("Opener");
    auto active = Shown("Active");

    for (bool stayOnTop : {false, true}) {
        SCOPED_TRACE(stayOnTop ? "stay on top" : "plain");
        active->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(active.get(), 10000));
        ASSERT_EQ(QApplication::activeWindow(), active.get());
        auto *dialog = new zk::TBaseModalForm(opener.get());
        // Stay-on-top dialogs set their flags after construction, which
        // gives them a new native window.
        if (stayOnTop)
            dialog->setWindowFlags(dialog->windowFlags() | Qt::WindowStaysOnTopHint);
        dialog->resize(200, 100);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        QApplication::sync();
        EXPECT_EQ(dialog->winId(), dialog->windowHandle()->winId());
        EXPECT_EQ(TransientFor(dialog->winId()), quint64(active->winId()));
        delete dialog;
    }
}
