// The keyboard reference: groups from the real main window's menus, German
// key names, sorting that keeps the hot-key rows marked, copying without a
// selection, the saved text, and 300 rows printed to PDF read back with
// poppler (pages, header on each, column positions).
#include "KeybHlpForm.h"
#include "MainForm.h"
#include "Registry.h"
#include "TestSupport.h"
#include "XPrint.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace zk;

namespace {

void pickGroup(TKeybHlpBMForm &f, int group)
{
    f.KHCmdComboBox->setCurrentIndex(group);
    f.KHCmdComboBoxChange();
}

} // namespace

TEST(KeybHlp, GroupsKeyNamesAndSortingKeepHotKeysMarked)
{
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    TMainForm main;
    main.Options.HK1 = 14;
    main.Options.HK2 = 15;
    TKeybHlpBMForm form([&main](const QString &n) { return main.SubMenu(n); }, main.Options, &main);
    form.show();
    EXPECT_EQ(form.Rows().size(), MenuRows(main.SubMenu("DateiMenuItem")).size());
    const auto open = std::find_if(form.Rows().begin(), form.Rows().end(),
                                   [](const TKeybRow &r) { return r.keys == "Strg+O"; });
    EXPECT_NE(open, form.Rows().end());

    pickGroup(form, 7);
    ASSERT_EQ(form.Rows().size(), 6u);
    EXPECT_EQ(form.Rows()[0].keys, "Strg+Y");
    EXPECT_EQ(form.Rows()[1].keys, "Strg+");

    pickGroup(form, 8);
    const size_t all = form.Rows().size();
    EXPECT_GT(all, 6u);
    form.KeybCmdListViewColumnClick(1);
    EXPECT_TRUE(form.Rows().front().keys.isEmpty());
    int blue = 0;
    for (int i = 0; i < form.KeybCmdListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = form.KeybCmdListView->topLevelItem(i);
        const bool hot = item->foreground(0).color() == QColor(0, 0, 255);
        EXPECT_EQ(hot, form.Rows()[i].hotKey) << i;
        blue += hot;
    }
    EXPECT_EQ(blue, 6);

    pickGroup(form, 9);
    EXPECT_EQ(form.KeybCmdListView->topLevelItemCount(), 0);
    QStringList seen;
    QTimer::singleShot(0, [&seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen << box->objectName();
            box->button(QMessageBox::Ok)->click();
        }
    });
    form.KeybHCpyBitBtnClick();
    EXPECT_EQ(seen, QStringList{"showmsg_no_lvline_selected"});
    pickGroup(form, 10);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(GermanKeyText(QKeySequence("Ctrl+Shift+Del")), "Strg+Umschalt+Entf");
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}

TEST(KeybHlp, SavedTextSkipsEmptySubItems)
{
    std::vector<TKeybRow> rows = {{"Öffnen...", "Strg+O", "Grafik öffnen"}, {"Beenden", "", ""}};
    EXPECT_EQ(RowsAsSavedText(rows), QString::fromUtf8("Öffnen...; Strg+O; Grafik öffnen; \nBeenden; \n"));
    QMenu menu;
    TKeybHlpBMForm form([&menu](const QString &) { return &menu; }, TZelkoraOptions(), nullptr);
    menu.addAction(QString::fromUtf8("Öffnen..."))->setShortcut(QKeySequence("Ctrl+O"));
    pickGroup(form, 0);
    QTemporaryDir dir;
    ASSERT_TRUE(form.SaveList(dir.filePath("list.txt")));
    QFile f(dir.filePath("list.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), QString::fromUtf8("Öffnen...; Strg+O; \n"));
}

TEST(KeybHlp, ThreeHundredRowsPrintOnPagesWithHeaderAndColumns)
{
    if (!zktest::haveProgram("pdftotext") || !zktest::haveProgram("pdfinfo"))
        GTEST_SKIP() << "needs poppler-utils";
    QMenu menu;
    for (int i = 0; i < 300; ++i)
        menu.addAction(QStringLiteral("Befehlszeile%1").arg(i, 3, 10, QLatin1Char('0')));
    TKeybHlpBMForm form([&menu](const QString &) { return &menu; }, TZelkoraOptions(), nullptr);
    pickGroup(form, 0);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("keys.pdf");
    form.KeybHlpXPrint->SetOutputFile(pdf);
    ASSERT_TRUE(form.PrintList());

    QByteArray info, text;
    ASSERT_EQ(zktest::runProgram("pdfinfo", {pdf}, &info), 0);
    const int pages = QRegularExpression(R"(Pages:\s+(\d+))").match(QString::fromUtf8(info)).captured(1).toInt();
    EXPECT_GT(pages, 2);
    ASSERT_EQ(zktest::runProgram("pdftotext", {"-bbox", pdf, "-"}, &text), 0);
    const QString bbox = QString::fromUtf8(text);
    EXPECT_EQ(bbox.count(">Beschreibung<"), pages);
    EXPECT_TRUE(bbox.contains(">Befehlszeile299<"));
    const double mm = 72.0 / 25.4;
    const auto xOf = [&](const QString &word) {
        return QRegularExpression(QStringLiteral(R"re(xMin="([\d.]+)"[^>]*>%1<)re").arg(word))
            .match(bbox).captured(1).toDouble();
    };
    EXPECT_NEAR(xOf("Befehl"), (18 + 5) * mm, 1.5);
    EXPECT_NEAR(xOf("Tasten"), (18 + 75) * mm, 1.5);
    EXPECT_NEAR(xOf("Beschreibung"), (18 + 115) * mm, 1.5);
}
