// The history lists: order, limit, case-variant replacement, the registry and
// ini stores read back independently, the mirrored menu items and their
// clicks, and the history combo box driven by simulated input.
#include "HistList.h"
#include "IniFile.h"
#include "Registry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFocusEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>
#include <vector>

#include <ostream>

// Readable failure messages for the entries.
static void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

using zk::RootKey;
using zk::THistoryCombo;
using zk::THistoryList;
using zk::TRegistry;

namespace {

const QString kBase = QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0");

// A registry path of its own for each test, so cases never see each other's values.
QString TestKey(const char *name)
{
    return kBase + QStringLiteral("\\HistTest\\") + QLatin1String(name);
}

// The values of one section as the registry class itself reports them.
struct RegView
{
    explicit RegView(const QString &path, const QString &section)
    {
        exists = reg.OpenKey(path + QLatin1Char('\\') + section, false);
    }
    bool Has(const QString &name) const { return exists && reg.ValueExists(name); }
    QString Get(const QString &name) const { return reg.ReadString(name); }

    TRegistry reg{RootKey::CurrentUser};
    bool exists = false;
};

void WriteRegValues(const QString &path, const QString &section,
                    const std::vector<std::pair<QString, QString>> &values)
{
    TRegistry reg(RootKey::CurrentUser);
    // Start from an empty section so a repeated run sees the same values.
    reg.DeleteKey(path + QLatin1Char('\\') + section);
    ASSERT_TRUE(reg.OpenKey(path + QLatin1Char('\\') + section, true));
    for (const auto &[name, text] : values)
        reg.WriteString(name, text);
}

QStringList Captions(const QMenu &menu)
{
    QStringList out;
    for (QAction *a : menu.actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

void FlushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString SandboxFile(const QString &name)
{
    const QString dir = zktest::sandboxDir() + QStringLiteral("/histtest");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

QByteArray ReadRaw(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

// ------------------------------------------------------------ list behaviour

TEST(HistoryList, NewestFirstMovesRepeatsAndKeepsMaxCount)
{
    THistoryList list;
    EXPECT_EQ(list.MaxCount, 10);
    EXPECT_TRUE(list.UseRegistry);
    EXPECT_EQ(list.Count(), 0);

    list.AddHistory("a");
    list.AddHistory("b");
    list.AddHistory("c");
    EXPECT_EQ(list.Items(), QStringList({"c", "b", "a"}));

    // A repeat moves to the top instead of appearing twice.
    list.AddHistory("a");
    EXPECT_EQ(list.Items(), QStringList({"a", "c", "b"}));

    THistoryList full;
    for (int i = 1; i <= 10; ++i)
        full.AddHistory(QStringLiteral("/pics/%1.bmp").arg(i));
    ASSERT_EQ(full.Count(), 10);
    full.AddHistory("/pics/11.bmp");
    ASSERT_EQ(full.Count(), 10);
    EXPECT_EQ(full.Strings(0), "/pics/11.bmp");
    EXPECT_EQ(full.Strings(9), "/pics/2.bmp");
    EXPECT_EQ(full.IndexOf("/pics/1.bmp"), -1);

    // A smaller limit set later trims on the next addition.
    full.MaxCount = 3;
    full.AddHistory("/pics/12.bmp");
    EXPECT_EQ(full.Items(), QStringList({"/pics/12.bmp", "/pics/11.bmp", "/pics/10.bmp"}));

    full.MaxCount = 0;
    full.AddHistory("x");
    EXPECT_EQ(full.Count(), 0);
}

TEST(HistoryList, EntryDifferingOnlyInCaseIsReplacedByNewSpelling)
{
    THistoryList list;
    list.AddHistory("x");
    list.AddHistory("c:\\a.bmp");
    ASSERT_EQ(list.Items(), QStringList({"c:\\a.bmp", "x"}));
    list.AddHistory("C:\\A.bmp");
    EXPECT_EQ(list.Items(), QStringList({"C:\\A.bmp", "x"}));

    // Letters beyond ASCII fold too.
    list.AddHistory("/home/jörg/Ärger.PNG");
    list.AddHistory("/home/JÖRG/ärger.png");
    EXPECT_EQ(list.Items(), QStringList({"/home/JÖRG/ärger.png", "C:\\A.bmp", "x"}));

    // Names that differ in more than case stay apart.
    list.AddHistory("x ");
    list.AddHistory("/home/jorg/arger.png");
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(list.IndexOf("X"), 4);
}

// ------------------------------------------------------------------- stores

TEST(HistoryStore, RegistryValuesReadBackByAFreshList)
{
    const QString path = TestKey("RoundTrip");
    const QString section = "Recent";
    // Older values, one inside the list's range and one beyond MaxCount.
    WriteRegValues(path, section, {{"History5", "stale"}, {"History10", "beyond"}});

    THistoryList list;
    list.AddHistory("/tmp/one.bmp");
    list.AddHistory("/tmp/two words.jpg");
    list.AddHistory("/tmp/Ünïcode & more.png");
    list.SaveHistory(path, section);

    {
        RegView view(path, section);
        ASSERT_TRUE(view.exists);
        EXPECT_EQ(view.Get("History0"), "/tmp/Ünïcode & more.png");
        EXPECT_EQ(view.Get("History1"), "/tmp/two words.jpg");
        EXPECT_EQ(view.Get("History2"), "/tmp/one.bmp");
        for (int i = 3; i <= 9; ++i)
            EXPECT_FALSE(view.Has(QStringLiteral("History%1").arg(i))) << i;
        EXPECT_EQ(view.Get("History10"), "beyond");
        EXPECT_EQ(view.reg.GetDataType("History0"), zk::RegDataType::String);
    }

    THistoryList fresh;
    fresh.AddHistory("something that must go");
    fresh.LoadHistory(path, section);
    EXPECT_EQ(fresh.Items(), list.Items());
}

TEST(HistoryStore, FullListWritesTenValuesAndGapsCloseUpOnLoad)
{
    const QString path = TestKey("Full");
    THistoryList list;
    for (int i = 0; i < 11; ++i)
        list.AddHistory(QStringLiteral("entry %1").arg(i));
    list.SaveHistory(path, "S");
    {
        RegView view(path, "S");
        for (int i = 0; i <= 9; ++i)
            EXPECT_EQ(view.Get(QStringLiteral("History%1").arg(i)), QStringLiteral("entry %1").arg(10 - i));
        EXPECT_FALSE(view.Has("History10"));
    }

    // History1 missing, History3 empty: later values still load.
    WriteRegValues(path, "Gaps", {{"History0", "a"}, {"History2", "b"}, {"History3", ""}, {"History4", "c"}});
    THistoryList gaps;
    gaps.LoadHistory(path, "Gaps");
    EXPECT_EQ(gaps.Items(), QStringList({"a", "b", "c"}));

    // Only indexes below MaxCount are read.
    gaps.MaxCount = 3;
    gaps.LoadHistory(path, "Gaps");
    EXPECT_EQ(gaps.Items(), QStringList({"a", "b"}));

    // A key that was never written is an empty list on a first run.
    THistoryList none;
    none.AddHistory("old");
    none.LoadHistory(TestKey("NeverWritten"), "Nothing");
    EXPECT_EQ(none.Count(), 0);
}

TEST(HistoryStore, IniFileSectionHoldsNumberedLines)
{
    const QString file = SandboxFile("history.ini");
    QFile::remove(file);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Other]\nKeep=yes\n[Paths]\nHistory4=old four\nHistory12=far\n");
    }

    THistoryList list;
    list.UseRegistry = false;
    list.AddHistory("/srv/a");
    list.AddHistory("/srv/b");
    list.SaveHistory(file, "Paths");

    const QString raw = QString::fromUtf8(ReadRaw(file));
    EXPECT_TRUE(raw.contains("History0=/srv/b")) << qPrintable(raw);
    EXPECT_TRUE(raw.contains("History1=/srv/a")) << qPrintable(raw);
    EXPECT_FALSE(raw.contains("History4")) << qPrintable(raw);
    EXPECT_TRUE(raw.contains("History12=far")) << qPrintable(raw);
    EXPECT_TRUE(raw.contains("Keep=yes")) << qPrintable(raw);
    // The values sit in their own section, after its header.
    EXPECT_GT(raw.indexOf("History0="), raw.indexOf("[Paths]"));

    THistoryList fresh;
    fresh.UseRegistry = false;
    fresh.LoadHistory(file, "Paths");
    EXPECT_EQ(fresh.Items(), QStringList({"/srv/b", "/srv/a"}));

    // Hand-written file with a gap.
    const QString gapFile = SandboxFile("gaps.ini");
    {
        QFile f(gapFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[H]\r\nHistory0=first\r\nHistory2=third\r\n");
    }
    THistoryList gaps;
    gaps.UseRegistry = false;
    gaps.LoadHistory(gapFile, "H");
    EXPECT_EQ(gaps.Items(), QStringList({"first", "third"}));
}

TEST(HistoryStore, UnwritableIniFileIsReportedNotIgnored)
{
    // A regular file where a folder should be: nothing can be created below it.
    const QString blocker = SandboxFile("not-a-folder");
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("x");
    }
    THistoryList list;
    list.UseRegistry = false;
    list.AddHistory("entry");
    EXPECT_THROW(list.SaveHistory(blocker + "/h.ini", "S"), std::runtime_error);
    EXPECT_FALSE(QFile::exists(blocker + "/h.ini"));
}

namespace {

// Points the settings folder below a regular file for one scope, so every
// registry write fails the way a full or read-only disk makes it fail.
struct UnwritableConfigHome
{
    UnwritableConfigHome()
        : saved(qgetenv("XDG_CONFIG_HOME"))
    {
        const QString blocker = SandboxFile("config-blocker");
        QFile f(blocker);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write("x");
        qputenv("XDG_CONFIG_HOME", (blocker + "/config").toLocal8Bit());
    }
    ~UnwritableConfigHome() { qputenv("XDG_CONFIG_HOME", saved); }
    QByteArray saved;
};

} // namespace

TEST(HistoryStore, UnwritableRegistryIsReportedAndAClosingBoxSurvivesIt)
{
    const QString path = TestKey("Unwritable");
    WriteRegValues(path, "FMDir", {{"History0", "/kept"}});
    {
        UnwritableConfigHome blocked;
        THistoryList list;
        list.AddHistory("/lost");
        EXPECT_THROW(list.SaveHistory(path, "FMDir"), std::runtime_error);

        // The box reports the failure from its destructor instead of ending
        // the program.
        auto combo = std::make_unique<THistoryCombo>();
        combo->SetRegistryPath(path);
        combo->SetIniSection("FMDir");
        EXPECT_EQ(combo->count(), 0); // nothing readable there either
        combo->setEditText("/typed");
        combo->setFocus();
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(combo.get(), &leave);
        EXPECT_EQ(combo->HistoryItems(), QStringList({"/typed"}));
        combo.reset();
    }
    RegView view(path, "FMDir");
    EXPECT_EQ(view.Get("History0"), "/kept");
    EXPECT_FALSE(view.Has("History1"));
}

// -------------------------------------------------------------------- menus

TEST(HistoryMenus, PopupMenuHoldsExactlyTheNumberedEntries)
{
    THistoryList list;
    for (int i = 10; i >= 1; --i)
        list.AddHistory(QStringLiteral("/img/%1.png").arg(i));

    QMenu popup;
    popup.addAction("existing");
    list.SetMenu(&popup);
    // Binding adds the entries and leaves what was there.
    ASSERT_EQ(popup.actions().size(), 11);
    EXPECT_EQ(popup.actions().at(0)->text(), "existing");
    EXPECT_EQ(popup.actions().at(1)->text(), "&1 /img/1.png");
    EXPECT_EQ(popup.actions().at(10)->text(), "&10 /img/10.png");
    for (QAction *a : popup.actions().mid(1)) {
        EXPECT_TRUE(a->isEnabled());
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(a->shortcut().isEmpty());
    }

    // A rebuild leaves only the generated items.
    list.AddHistory("/img/new.png");
    FlushDeletes();
    QStringList expected{"&1 /img/new.png"};
    for (int i = 1; i <= 9; ++i)
        expected << QStringLiteral("&%1 /img/%2.png").arg(i + 1).arg(i);
    EXPECT_EQ(Captions(popup), expected);

    list.Clear();
    FlushDeletes();
    EXPECT_TRUE(popup.actions().isEmpty());

    // Binding another menu empties the first one.
    list.AddHistory("/img/x.png");
    QMenu other;
    list.SetMenu(&other);
    EXPECT_TRUE(popup.actions().isEmpty());
    EXPECT_EQ(Captions(other), QStringList({"&1 /img/x.png"}));
    EXPECT_EQ(list.BoundMenu(), &other);
}

TEST(HistoryMenus, MenuItemGetsSeparatorAndEntriesBelowItsOwnItems)
{
    QMenu fileMenu;
    QMenu *open = fileMenu.addMenu("&Öffnen");
    open->addAction("Datei...");
    open->addAction("Ordner...");

    THistoryList list;
    // The item of an empty list still ends with a separator.
    list.SetMenuItem(open->menuAction());
    EXPECT_EQ(Captions(*open), QStringList({"Datei...", "Ordner...", "-"}));
    EXPECT_EQ(list.BoundMenuItem(), open->menuAction());

    list.AddHistory("/a.bmp");
    list.AddHistory("/b & c.bmp");
    FlushDeletes();
    EXPECT_EQ(Captions(*open), QStringList({"Datei...", "Ordner...", "-", "&1 /b && c.bmp", "&2 /a.bmp"}));

    // Loading replaces the items too, so none shows a vanished entry.
    const QString path = TestKey("MenuLoad");
    WriteRegValues(path, "R", {{"History0", "/loaded.jpg"}});
    list.LoadHistory(path, "R");
    FlushDeletes();
    EXPECT_EQ(Captions(*open), QStringList({"Datei...", "Ordner...", "-", "&1 /loaded.jpg"}));

    // Rebinding gives the old item back its own sub-items only.
    QMenu *recent = fileMenu.addMenu("Zuletzt");
    list.SetMenuItem(recent);
    FlushDeletes();
    EXPECT_EQ(Captions(*open), QStringList({"Datei...", "Ordner..."}));
    EXPECT_EQ(Captions(*recent), QStringList({"-", "&1 /loaded.jpg"}));

    // An item without sub-items gets a sub-menu for the entries, and loses it
    // with the list.
    QAction plain("Zuletzt geöffnet");
    {
        THistoryList own;
        own.AddHistory("/z.gif");
        own.SetMenuItem(&plain);
        QMenu *made = plain.menu();
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(Captions(*made), QStringList({"-", "&1 /z.gif"}));
    }
    EXPECT_EQ(plain.menu(), nullptr);

    // Both bindings at once: the popup first, then the item.
    QMenu popup;
    list.SetMenu(&popup);
    list.AddHistory("/both.png");
    FlushDeletes();
    EXPECT_EQ(Captions(popup), QStringList({"&1 /both.png", "&2 /loaded.jpg"}));
    EXPECT_EQ(Captions(*recent), QStringList({"-", "&1 /both.png", "&2 /loaded.jpg"}));
}

TEST(HistoryMenus, ClickingAnItemReportsItsEntryWithTheBoundItemAsSender)
{
    QMenu fileMenu;
    QMenu *open = fileMenu.addMenu("Öffnen");
    QMenu popup;

    THistoryList list;
    list.AddHistory("/first.bmp");
    list.AddHistory("/second & third.bmp");
    list.AddHistory("/newest.bmp");
    list.SetMenu(&popup);
    list.SetMenuItem(open);

    std::vector<std::pair<QObject *, QString>> clicks;
    list.OnHistoryClick = [&](QObject *sender, const QString &text) {
        clicks.emplace_back(sender, text);
        // Opening a file puts it on top again, which rebuilds the very menu
        // whose item is being clicked.
        list.AddHistory(text);
    };

    // A real mouse click on the second entry of the shown popup menu.
    popup.popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popup));
    QAction *second = popup.actions().at(1);
    ASSERT_EQ(second->text(), "&2 /second && third.bmp");
    QTest::mouseClick(&popup, Qt::LeftButton, {}, popup.actionGeometry(second).center());
    FlushDeletes();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].first, open->menuAction());
    EXPECT_EQ(clicks[0].second, "/second & third.bmp");
    EXPECT_EQ(list.Items(), QStringList({"/second & third.bmp", "/newest.bmp", "/first.bmp"}));
    EXPECT_EQ(Captions(popup), QStringList({"&1 /second && third.bmp", "&2 /newest.bmp", "&3 /first.bmp"}));

    // The mnemonic digit picks the entry from the keyboard.
    popup.popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popup));
    QTest::keyClick(&popup, Qt::Key_3);
    FlushDeletes();
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[1].second, "/first.bmp");

    // The sub-menu's items report the same way.
    const QList<QAction *> subItems = open->actions();
    ASSERT_EQ(subItems.size(), 4); // separator + 3 entries
    subItems.at(3)->trigger();
    ASSERT_EQ(clicks.size(), 3u);
    EXPECT_EQ(clicks[2].first, open->menuAction());
    EXPECT_EQ(clicks[2].second, "/newest.bmp");
}

TEST(HistoryMenus, ItemsOfAnOlderListStateDoNothing)
{
    QMenu popup;
    THistoryList list;
    list.AddHistory("/a");
    list.AddHistory("/b");
    list.AddHistory("/c");
    list.SetMenu(&popup);
    int calls = 0;
    list.OnHistoryClick = [&](QObject *, const QString &) { ++calls; };

    // Held past a rebuild (as a menu might during its own click handling).
    QPointer<QAction> third = popup.actions().at(2);
    list.Clear();
    ASSERT_FALSE(third.isNull()); // deletion waits for the event loop
    third->trigger();
    EXPECT_EQ(calls, 0);
    FlushDeletes();
    EXPECT_TRUE(third.isNull());

    // Without a handler a click is simply ignored; with a popup-only binding
    // the sender is null.
    list.AddHistory("/d");
    list.OnHistoryClick = nullptr;
    popup.actions().at(0)->trigger();
    bool called = false;
    QObject *seenSender = &popup;
    list.OnHistoryClick = [&](QObject *sender, const QString &text) {
        called = true;
        seenSender = sender;
        EXPECT_EQ(text, "/d");
    };
    popup.actions().at(0)->trigger();
    EXPECT_TRUE(called);
    EXPECT_EQ(seenSender, nullptr);

    // A list that goes away takes its items along.
    QMenu popup2;
    {
        THistoryList gone;
        gone.AddHistory("/e");
        gone.SetMenu(&popup2);
        gone.OnHistoryClick = [&](QObject *, const QString &) { ++calls; };
        ASSERT_EQ(popup2.actions().size(), 1);
        third = popup2.actions().at(0);
    }
    EXPECT_TRUE(popup2.actions().isEmpty());
    if (third)
        third->trigger(); // must not reach the destroyed list
    EXPECT_EQ(calls, 0);
}

// -------------------------------------------------------------------- combo

namespace {

// A small dialog: the combo box and an edit to move the focus to.
struct ComboForm
{
    ComboForm()
    {
        auto *layout = new QVBoxLayout(&window);
        combo = new THistoryCombo(&window);
        other = new QLineEdit(&window);
        layout->addWidget(combo);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
    }
    bool Ready() { return QTest::qWaitForWindowActive(&window); }
    QStringList Items() const
    {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemText(i);
        return out;
    }
    // Types into the box and leaves it with Tab, as a user does.
    void TypeAndLeave(const QString &text)
    {
        combo->setFocus(Qt::MouseFocusReason);
        combo->lineEdit()->selectAll();
        QTest::keyClick(combo, Qt::Key_Delete);
        QTest::keyClicks(combo, text);
        QTest::keyClick(combo, Qt::Key_Tab);
    }

    QWidget window;
    THistoryCombo *combo = nullptr;
    QLineEdit *other = nullptr;
};

} // namespace

TEST(HistoryCombo, LoadsOnceBothPathAndSectionAreSet)
{
    const QString path = TestKey("ComboLoad");
    WriteRegValues(path, "DKv", {{"History0", "/data/in"}, {"History1", "/data/old"}});

    {
        THistoryCombo combo;
        EXPECT_TRUE(combo.isEditable());
        EXPECT_FALSE(combo.ManualUpdate());
        combo.SetIniSection("DKv");
        EXPECT_EQ(combo.count(), 0);
        combo.SetRegistryPath(path);
        ASSERT_EQ(combo.count(), 2);
        EXPECT_EQ(combo.itemText(0), "/data/in");
        EXPECT_EQ(combo.itemText(1), "/data/old");

        // The ini file name and the registry path exclude each other.
        combo.SetIniFileName("/tmp/zk.ini");
        EXPECT_TRUE(combo.RegistryPath().isEmpty());
        EXPECT_EQ(combo.IniFileName(), "/tmp/zk.ini");
        combo.setProperty("RegistryPath", path);
        EXPECT_TRUE(combo.IniFileName().isEmpty());
        EXPECT_EQ(combo.property("IniSection").toString(), "DKv");
    }

    // A box with a section but no registry path neither loads nor saves.
    {
        ComboForm form;
        ASSERT_TRUE(form.Ready());
        form.combo->SetIniSection("FindPlace");
        form.combo->SetIniFileName(SandboxFile("never.ini"));
        EXPECT_EQ(form.combo->count(), 0);
        form.TypeAndLeave("/typed/here");
        EXPECT_EQ(form.Items(), QStringList({"/typed/here"}));
    }
    EXPECT_FALSE(QFile::exists(SandboxFile("never.ini")));
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists("FindPlace"));
    EXPECT_FALSE(reg.KeyExists(kBase + "\\FindPlace"));
}

TEST(HistoryCombo, LeavingTheBoxAddsItsTextAndDestroyingSavesTheList)
{
    const QString path = TestKey("ComboSave");
    WriteRegValues(path, "SmtpHost", {{"History0", "mail.example.org"}, {"History1", "smtp.example.net"}});

    {
        ComboForm form;
        ASSERT_TRUE(form.Ready());
        form.combo->SetRegistryPath(path);
        form.combo->SetIniSection("SmtpHost");
        ASSERT_EQ(form.Items(), QStringList({"mail.example.org", "smtp.example.net"}));

        form.TypeAndLeave("relay.local");
        EXPECT_EQ(QApplication::focusWidget(), form.other);
        EXPECT_EQ(form.Items(), QStringList({"relay.local", "mail.example.org", "smtp.example.net"}));
        EXPECT_EQ(form.combo->currentText(), "relay.local");

        // Another spelling of an existing host replaces it; completion from
        // the list keeps the spelling typed.
        form.TypeAndLeave("SMTP.example.NET");
        EXPECT_EQ(form.combo->currentText(), "SMTP.example.NET");
        EXPECT_EQ(form.Items(), QStringList({"SMTP.example.NET", "relay.local", "mail.example.org"}));

        // Leaving an emptied box adds the empty text like any other.
        form.TypeAndLeave("");
        EXPECT_EQ(form.Items(), QStringList({"", "SMTP.example.NET", "relay.local", "mail.example.org"}));
    }

    {
        RegView view(path, "SmtpHost");
        EXPECT_EQ(view.Get("History0"), "");
        EXPECT_EQ(view.Get("History1"), "SMTP.example.NET");
        EXPECT_EQ(view.Get("History2"), "relay.local");
        EXPECT_EQ(view.Get("History3"), "mail.example.org");
        EXPECT_FALSE(view.Has("History4"));
    }

    // The next run's box shows them again.
    THistoryCombo next;
    next.SetRegistryPath(path);
    next.SetIniSection("SmtpHost");
    EXPECT_EQ(next.HistoryItems(), QStringList({"SMTP.example.NET", "relay.local", "mail.example.org"}));
    EXPECT_EQ(next.count(), 3);
}

TEST(HistoryCombo, ManualUpdateAndOpeningTheListDoNotAddTheText)
{
    ComboForm form;
    ASSERT_TRUE(form.Ready());
    form.combo->SetManualUpdate(true);
    form.TypeAndLeave("kept out");
    EXPECT_EQ(form.combo->count(), 0);
    EXPECT_EQ(form.combo->currentText(), "kept out");

    form.combo->SetManualUpdate(false);
    form.combo->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(form.combo, " now");
    // The drop-down list and a context menu take the focus without leaving
    // the box.
    form.combo->showPopup();
    QTest::qWait(20);
    form.combo->hidePopup();
    QMenu context;
    context.addAction("Einfügen");
    context.popup(form.combo->mapToGlobal(QPoint(5, 5)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&context));
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(&context, Qt::Key_Escape);
    ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), form.combo);
    EXPECT_EQ(form.combo->count(), 0);
    QTest::keyClick(form.combo, Qt::Key_Tab);
    EXPECT_EQ(form.Items(), QStringList({"kept out now"}));
}

TEST(HistoryCombo, RefillingTheListKeepsTheTypedText)
{
    const QString path = TestKey("ComboRefill");
    WriteRegValues(path, "MKn", {{"History0", "/out/one"}, {"History1", "/out/two"}});

    ComboForm form;
    ASSERT_TRUE(form.Ready());
    form.combo->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(form.combo, "/half/typ");
    form.combo->lineEdit()->setCursorPosition(3);

    QSignalSpy edits(form.combo, &QComboBox::editTextChanged);
    QSignalSpy texts(form.combo, &QComboBox::currentTextChanged);
    // The form sets its storage properties while the user's text stands.
    form.combo->SetRegistryPath(path);
    form.combo->SetIniSection("MKn");
    EXPECT_EQ(form.Items(), QStringList({"/out/one", "/out/two"}));
    EXPECT_EQ(form.combo->currentText(), "/half/typ");
    EXPECT_EQ(form.combo->lineEdit()->cursorPosition(), 3);
    // Nothing the form would take for a change by the user.
    EXPECT_EQ(edits.count(), 0);
    EXPECT_EQ(texts.count(), 0);

    // Typing goes on where it was.
    form.combo->lineEdit()->end(false);
    QTest::keyClicks(form.combo, "ed");
    EXPECT_EQ(form.combo->currentText(), "/half/typed");

    // A text equal to an item stays that text after a refill as well.
    form.combo->setCurrentIndex(1);
    form.combo->SetIniSection("MKn");
    EXPECT_EQ(form.combo->currentText(), "/out/two");
    EXPECT_EQ(form.combo->currentIndex(), 1);
}
