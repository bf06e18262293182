// The settings dialog under a real X server: the context-menu key pressed in
// a text field runs all defaults once, and the field's own menu stays shut.
#include "HistList.h"
#include "OptionDlg.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zk;

TEST(SettingsDialogX11, MenuKeyInATextFieldRunsAllDefaultsOnce)
{
    if (!std::getenv("ZK_TEST_X11") || !std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(zktest::haveProgram("xdotool"));
    QTemporaryDir programDir;
    SetProgramDirOverride(programDir.path());
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    {
        TOptionDlgBMForm dlg;
        QStringList messages;
        dlg.Prompts.Message = [&](const QString &key, const QString &) { messages << key; };
        dlg.Prompts.Confirm = [](const QString &, const QString &) { return true; };
        dlg.FileNameHistoryCombo->setEditText(QStringLiteral("Mein_"));
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg, 5000));
        QLineEdit *field = nullptr; // the first text field the user can type in
        for (int page = 0; !field && page < dlg.OptionPageControl->count(); ++page)
            for (QLineEdit *e : dlg.OptionPageControl->widget(page)->findChildren<QLineEdit *>())
                if (!field && e->isEnabled() && !e->isReadOnly()) {
                    dlg.OptionPageControl->setCurrentIndex(page);
                    field = e;
                }
        ASSERT_NE(field, nullptr);
        QApplication::processEvents();
        field->setFocus();
        // An editable combo box holds the focus for its text field.
        ASSERT_TRUE(zktest::waitFor(
            [&] { return QApplication::focusWidget() == field || QApplication::focusWidget() == field->parentWidget(); },
            5000));

        bool fieldMenu = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                fieldMenu = true;
                popup->close();
            }
        });
        watch.start(5);
        ASSERT_EQ(zktest::runProgram("xdotool", {"key", "Menu"}), 0);
        EXPECT_TRUE(zktest::waitFor([&] { return !messages.isEmpty(); }, 5000));
        QTest::qWait(300); // a second run or a late menu would show by now
        watch.stop();
        EXPECT_EQ(messages, QStringList{"showmsg_std_settings_was_set"});
        EXPECT_FALSE(fieldMenu) << "the text field opened its own menu";
        EXPECT_EQ(dlg.FileNameHistoryCombo->currentText(), QStringLiteral("Scan_"));
    }
    SetProgramDirOverride(QString());
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}
