// The folder explorer under a window manager: floating, it stays above the
// main window even when the main window is raised; docked into the left area
// and floated again, it keeps its trees.
#include "DirBDForm.h"
#include "Options.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QMainWindow>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace zk;

namespace {

// Client windows bottom to top, as the window manager stacks them.
QList<quint64> stacking()
{
    QByteArray out;
    if (zktest::runProgram("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}, &out, 5000) != 0)
        return {};
    QList<quint64> ids;
    const QRegularExpression hex("0x[0-9a-fA-F]+");
    for (auto it = hex.globalMatch(QString::fromLatin1(out)); it.hasNext();)
        ids.append(it.next().captured().toULongLong(nullptr, 16));
    return ids;
}

} // namespace

TEST(FolderExplorerX11, FloatingStaysAboveTheMainWindowAndDocksBackWithItsTrees)
{
    if (!zktest::haveX11())
        GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";
    if (!zktest::haveProgram("xprop"))
        GTEST_SKIP() << "needs xprop";
    QMainWindow main;
    main.setWindowTitle("ZkExplorerMain");
    main.setCentralWidget(new QWidget);
    main.resize(640, 480);
    TZelkoraOptions options;
    auto *form = new TDirBDForm(&main, &options);
    main.addDockWidget(Qt::LeftDockWidgetArea, form);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    EXPECT_EQ(form->DockTag(), 0);
    form->InternTreeView->setCurrentItem(form->InternNode(8));

    form->setFloating(true);
    form->move(main.geometry().topLeft() + QPoint(40, 40));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    main.raise();
    main.activateWindow();
    const quint64 mainId = main.winId(), formId = form->winId();
    EXPECT_TRUE(zktest::waitFor(
        [&] {
            const QList<quint64> s = stacking();
            return s.contains(mainId) && s.contains(formId) && s.indexOf(formId) > s.indexOf(mainId);
        },
        3000))
        << "the floating explorer went below the main window";

    form->setFloating(false);
    EXPECT_TRUE(zktest::waitFor([&] { return !form->isWindow(); }, 2000));
    EXPECT_EQ(form->DockTag(), 0);
    form->setFloating(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->InternTreeView->currentItem(), form->InternNode(8));
    EXPECT_EQ(form->InternNodeCount(), TDirBDForm::kFixedNodes);
    EXPECT_EQ(form->DirPageControl->count(), 2);
}
