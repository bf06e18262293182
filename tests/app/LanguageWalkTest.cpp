// Every text a user reads, in every language: the main window with both
// explorer windows, the settings dialog and the forms the menus open, and the
// titles and filters of our file dialogs. A text that reads the same as its
// German one is untranslated, unless the language file gives that same word
// under the same key in both sections (a deliberate "OK", "Standard", ...).
#include "AviViewForm.h"
#include "Bitmap.h"
#include "CoordScan.h"
#include "DialogSupport.h"
#include "DirBDForm.h"
#include "EditDialogs.h"
#include "ExtractForm.h"
#include "FileSplitForm.h"
#include "IconLinkExtForm.h"
#include "FolderExplorerSetup.h"
#include "ImageControl.h"
#include "ImgGalForm.h"
#include "ImgPreviewForm.h"
#include "JpgScaleForm.h"
#include "KeybHlpForm.h"
#include "KonvForms.h"
#include "ContrClassForm.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "NavBDForm.h"
#include "OptionDlg.h"
#include "PrPrevForm.h"
#include "ProgramDir.h"
#include "RecorderForm.h"
#include "Registry.h"
#include "SaveAviEdtForm.h"
#include "SendForms.h"
#include "ShippedLanguage.h"
#include "SmallControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QStackedLayout>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace zk;

namespace {

using Texts = QMap<QString, QString>; // where it shows -> what it says

void put(Texts &out, const QString &where, const QString &text)
{
    if (!text.trimmed().isEmpty())
        out.insert(where, text);
}

QString nameIn(const QObject *o)
{
    if (!o->objectName().isEmpty())
        return o->objectName();
    const QObject *p = o->parent();
    return QString::fromLatin1(o->metaObject()->className()) + u'#' +
           QString::number(p ? p->children().indexOf(const_cast<QObject *>(o)) : 0);
}

QString pathOf(const QObject *o, const QObject *root)
{
    QString path = nameIn(o);
    for (const QObject *p = o->parent(); p && p != root; p = p->parent())
        path = nameIn(p) + u'/' + path;
    return path;
}

// What one object shows, by the kind of control it is.
void collect(Texts &out, QObject *o, const QObject *root)
{
    const QString at = pathOf(o, root);
    if (auto *a = qobject_cast<QAction *>(o)) {
        if (a->isSeparator())
            return;
        put(out, at + QStringLiteral(".text"), a->text());
        put(out, at + QStringLiteral(".toolTip"), a->toolTip());
        put(out, at + QStringLiteral(".statusTip"), a->statusTip());
        return;
    }
    auto *w = qobject_cast<QWidget *>(o);
    if (!w || qobject_cast<QFileDialog *>(w->window()))
        return;
    if (w->isWindow() || qobject_cast<QDockWidget *>(w) || qobject_cast<QToolBar *>(w))
        put(out, at + QStringLiteral(".title"), w->windowTitle());
    put(out, at + QStringLiteral(".toolTip"), w->toolTip());
    put(out, at + QStringLiteral(".statusTip"), w->statusTip());
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        put(out, at + QStringLiteral(".text"), b->text());
    if (auto *l = qobject_cast<QLabel *>(w))
        put(out, at + QStringLiteral(".text"), l->text());
    if (auto *g = qobject_cast<QGroupBox *>(w))
        put(out, at + QStringLiteral(".text"), g->title());
    if (auto *m = qobject_cast<QMenu *>(w))
        put(out, at + QStringLiteral(".text"), m->title());
    if (auto *t = qobject_cast<QTabBar *>(w))
        for (int i = 0; i < t->count(); ++i)
            put(out, at + QStringLiteral(".tab") + QString::number(i), t->tabText(i));
    if (auto *c = qobject_cast<QComboBox *>(w); c && !c->isEditable())
        for (int i = 0; i < c->count(); ++i)
            put(out, at + QStringLiteral(".item") + QString::number(i), c->itemText(i));
    if (auto *t = qobject_cast<QTreeWidget *>(w))
        for (int i = 0; i < t->topLevelItemCount(); ++i)
            put(out, at + QStringLiteral(".row") + QString::number(i), t->topLevelItem(i)->text(0));
    if (auto *h = qobject_cast<QHeaderView *>(w); h && h->model())
        for (int i = 0; i < h->count(); ++i)
            put(out, at + QStringLiteral(".head") + QString::number(i), h->model()->headerData(i, h->orientation()).toString());
}

// Qt's own dialogs and the inner parts of its composite controls carry Qt's
// texts, not ours; the titles and filters of our file dialogs are read
// where a command opens them.
bool qtsOwn(const QObject *o)
{
    // Containers Qt puts around our own controls: the pages of a tab widget
    // and its tab bar, a scroll area's view.
    static const QStringList holders = {QStringLiteral("qt_tabwidget_stackedwidget"),
                                        QStringLiteral("qt_tabwidget_tabbar"),
                                        QStringLiteral("qt_scrollarea_viewport")};
    for (; o; o = o->parent())
        if ((o->objectName().startsWith(QLatin1String("qt_")) && !holders.contains(o->objectName())) ||
            qobject_cast<const QFileDialog *>(o) ||
            qobject_cast<const QColorDialog *>(o) || qobject_cast<const QFontDialog *>(o))
            return true;
    return false;
}

Texts textsOf(QObject *root)
{
    Texts out;
    collect(out, root, root->parent());
    for (QObject *o : root->findChildren<QObject *>())
        if (!qtsOwn(o))
            collect(out, o, root->parent());
    return out;
}

// Title and filters of the file dialog a command opens, the dialog closed
// unanswered.
Texts fileDialogTexts(const QString &name, const std::function<void()> &command)
{
    Texts out;
    const bool opened = zktest::WithModal(command, [&](QWidget *w) {
        if (auto *d = qobject_cast<QFileDialog *>(w)) {
            put(out, name + QStringLiteral(".title"), d->windowTitle());
            const QStringList filters = d->nameFilters();
            // The words of an entry, without its patterns.
            for (int i = 0; i < filters.size(); ++i)
                put(out, name + QStringLiteral(".filter") + QString::number(i), filters[i].section(QStringLiteral(" ("), 0, 0));
        }
        w->close();
    });
    EXPECT_TRUE(opened) << name.toStdString();
    return out;
}

// A value as the forms show it: whole, either half of a hint, each line.
QSet<QString> pieces(const QString &value)
{
    QSet<QString> out{value};
    for (const QString &part : value.split(u'|'))
        out.insert(part);
    for (const QString &line : value.split(u'\n'))
        out.insert(line);
    return out;
}

// Texts the file gives as the same word in German and the other language.
QSet<QString> sameWords(const QStringList &script, const QString &language)
{
    QHash<QString, QString> german;
    for (const LanguageEntry &e : LanguageSection(script, QStringLiteral("german")))
        german.insert(e.key, e.value);
    QSet<QString> out;
    for (const LanguageEntry &e : LanguageSection(script, language))
        if (german.contains(e.key))
            out.unite(pieces(e.value).intersect(pieces(german.value(e.key))));
    return out;
}

// The program's name, the one text every language shows as it is.
const QString kProductName = QStringLiteral("Zelkora 5.0");

// Texts that are names in every language: the system's font families, each
// language's own name in the language choice, the explorer's node names the
// program finds its folders by, and the picture format "Bitmap".
bool namedTheSameEverywhere(const QString &where, const QString &text)
{
    for (const char *place : {"/FontComboBox.item", "/LangRadioGroup/", "/InternTreeView.row"})
        if (where.contains(QLatin1String(place)))
            return true;
    return text == QLatin1String("Bitmap");
}

// Words to translate: two letters or more, some of them small. Numbers,
// keys and names written in capitals ("&BMP", "RGB") read the same everywhere.
bool hasWords(const QString &text)
{
    int letters = 0, small = 0;
    for (QChar c : text) {
        letters += c.isLetter();
        small += c.isLower();
    }
    return letters >= 2 && small > 0;
}

// The program in one language, as its language menu switches it.
void switchTo(TMainForm &main, int language)
{
    main.GermanMenuItemClick(main.Item(QStringList{"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem",
                                                    "SpanMenuItem", "FranceMenuItem"}[language]));
}

// The forms a menu item opens, made as their openers make them.
std::vector<std::unique_ptr<QWidget>> makeForms(TMainForm &main, QPrinter &printer)
{
    TScanHost *noHost = nullptr;
    std::vector<std::unique_ptr<QWidget>> forms;
    forms.emplace_back(new TOptionDlgBMForm(&main));
    forms.emplace_back(new TSmtpBMForm(&main));
    forms.emplace_back(new TMapiConfigBMForm(&main));
    forms.emplace_back(new TAttachBMForm(&main));
    forms.emplace_back(new TKeybHlpBMForm([&main](const QString &n) { return main.SubMenu(n); }, main.Options, &main));
    forms.emplace_back(new TJpgScaleBMForm(main.ScanImage, &main));
    forms.emplace_back(new TPrPrevForm(&printer, &main));
    forms.emplace_back(new TAviViewBMForm(&main));
    forms.emplace_back(new TAskAviViewBMForm(&main));
    forms.emplace_back(new TCoordScanBMForm(noHost, &main, QSize(800, 600)));
    forms.emplace_back(new TRecorderForm(&main));
    forms.emplace_back(new TSaveAviEdtForm(&main));
    forms.emplace_back(new TScaleBMForm(&main));
    forms.emplace_back(new TGraphDimBMForm(&main));
    forms.emplace_back(new TNewDimPicBMForm(&main));
    forms.emplace_back(new TBorderPropertyBMForm(&main));
    forms.emplace_back(new TAntialiasing2BMForm(&main));
    forms.emplace_back(new TRGBChannelsBMForm(&main));
    forms.emplace_back(new TWatermarkBMForm(&main));
    forms.emplace_back(new TWmBatchModeBMForm(&main));
    forms.emplace_back(new TDateFindBMForm(&main, &main.Options));
    forms.emplace_back(new TSelSysDirBMForm(&main));
    forms.emplace_back(new TContrClassForm(&main));
    forms.emplace_back(new TDynEntryDelBMForm(qobject_cast<TDirBDForm *>(main.DirBDForm.data())));
    forms.emplace_back(new TExtractBMForm(main.Options, &main));
    forms.emplace_back(new TIcoResBatchBMForm(&main));
    forms.emplace_back(new TIconLinkExtBMForm(&main));
    forms.emplace_back(new TFileSplitBMForm(&main));
    forms.emplace_back(new TByteTempBMForm(&main));
    {
        auto *konv = new TAllKonvBMForm(&main); // every job form made
        for (int tab = 3; tab >= 0; --tab)
            konv->SetTabIndex(tab);
        forms.emplace_back(konv);
    }
    forms.emplace_back(main.MakePreviewForm(&main, 3));
    forms.emplace_back(new TSlideConfigBMForm(&main));
    forms.emplace_back(new TImgGalBMForm(&main));
    return forms;
}

// The forms follow the language as the main window hands it to them.
void setLanguage(const std::vector<std::unique_ptr<QWidget>> &forms, const QStringList &script, int language)
{
    for (const auto &f : forms) {
        if (auto *d = dynamic_cast<TBaseModalForm *>(f.get()))
            d->SetLanguage(script, language);
        else if (auto *r = dynamic_cast<TRecorderForm *>(f.get()))
            r->SetLanguage(script, language);
        else if (auto *e = dynamic_cast<TSaveAviEdtForm *>(f.get()))
            e->SetLanguage(script, language);
        else if (auto *w = dynamic_cast<TContrClassForm *>(f.get()))
            w->SetLanguage(script, language);
    }
}

using LanguageWalk = zktest::ShippedLanguageTest;

} // namespace

TEST_F(LanguageWalk, EveryVisibleTextFollowsEachLanguage)
{
    TMainForm main;
    CreateFolderExplorer(main);
    auto bmp = std::make_unique<TBitmap>(41, 27, pf24bit);
    main.ScanImage->Picture().SetGraphic(std::move(bmp));
    main.ScanImage->PictureChanged();
    QTest::qWait(5);
    const QStringList script = main.ZKMultiLanguage->Script();
    ASSERT_FALSE(script.isEmpty());

    QPrinter printer;
    const std::vector<std::unique_ptr<QWidget>> forms = makeForms(main, printer);

    const auto everything = [&](int language) {
        switchTo(main, language);
        Texts all = fileDialogTexts("GrafOpenPictureDialog", [&] { main.OpenClick(nullptr); });
        all.insert(fileDialogTexts("ZKSaveDialog", [&] { main.SaveAsClick(&main); }));
        all.insert(fileDialogTexts("KachOpenPictureDialog", [&] { main.Kacheln1Click(); }));
        setLanguage(forms, script, language);
        all.insert(textsOf(&main)); // with the dialogs the window owns
        const QList<QWidget *> owned = main.findChildren<QWidget *>();
        for (const auto &f : forms)
            if (!owned.contains(f.get()))
                all.insert(textsOf(f.get()));
        // Panel 6 names the picture's file type, never a word.
        for (int panel = 0; panel < 13; ++panel)
            if (panel != 6)
                put(all, QStringLiteral("ZKStatusBar.panel%1").arg(panel), main.StatusPanelText(panel));
        return all;
    };

    const Texts german = everything(0);
    ASSERT_GT(german.size(), 1200) << "the walk reached the forms";
    for (int language = 1; language < 5; ++language) {
        const QString name = LanguageName(language);
        SCOPED_TRACE(name.toStdString());
        const QSet<QString> same = sameWords(script, name);
        const Texts now = everything(language);
        const auto *options = static_cast<const TOptionDlgBMForm *>(forms.front().get());
        EXPECT_EQ(options->LineColComboBox->ItemColor(2), TColor(0)) << "a colour stays with its translated row";
        QStringList listed;
        for (auto it = german.cbegin(); it != german.cend(); ++it)
            if (now.value(it.key()) == it.value() && hasWords(it.value()) && !same.contains(it.value()) &&
                it.value() != kProductName && !namedTheSameEverywhere(it.key(), it.value()))
                listed << it.key() + QStringLiteral(" = ") + it.value();
        EXPECT_TRUE(listed.isEmpty()) << listed.size() << " texts stay German:\n"
                                      << listed.join(u'\n').toStdString();
    }
    // And back: German again shows what it showed first.
    const Texts back = everything(0);
    for (auto it = german.cbegin(); it != german.cend(); ++it)
        EXPECT_EQ(back.value(it.key()), it.value()) << it.key().toStdString();
}

namespace {

// The key letter of a menu text: the one after a single '&'.
QChar keyLetter(const QString &text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

// Pairs of items in one menu that share their key letter, as
// "menu: first / second (letter)". A shared letter makes the key step
// between the items instead of choosing one.
QMap<QString, QString> sharedKeys(const QList<QWidget *> &menus)
{
    QMap<QString, QString> out; // the pair -> their texts
    for (QWidget *w : menus) {
        QHash<QChar, QAction *> seen;
        for (QAction *a : w->actions()) {
            if (a->isSeparator() || !a->isVisible())
                continue;
            const QChar key = keyLetter(a->text());
            if (key.isNull())
                continue;
            const auto name = [](QAction *a) {
                return a->objectName().isEmpty() && a->menu() ? a->menu()->objectName() : a->objectName();
            };
            if (QAction *first = seen.value(key))
                out.insert(name(first) + QStringLiteral(" / ") + name(a),
                           first->text() + QStringLiteral(" / ") + a->text());
            else
                seen.insert(key, a);
        }
    }
    return out;
}

} // namespace

namespace {

// The clashes of a translation that its German original does not have.
QStringList clashesOfItsOwn(const QMap<QString, QString> &now, const QMap<QString, QString> &german)
{
    QStringList added;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (!german.contains(it.key()))
            added << it.key() + QStringLiteral(" = ") + it.value();
    return added;
}

} // namespace

TEST_F(LanguageWalk, TranslatedMenusGiveEachItemItsOwnKey)
{
    TMainForm main;
    CreateFolderExplorer(main);
    QList<QWidget *> menus{main.menuBar()};
    for (QMenu *m : main.findChildren<QMenu *>())
        menus << m;
    const auto clashes = [&](int language) {
        switchTo(main, language);
        return sharedKeys(menus);
    };
    // The German texts are the program's originals; a translation adds no
    // clash of its own.
    const QMap<QString, QString> german = clashes(0);
    for (int language = 1; language < 5; ++language) {
        SCOPED_TRACE(LanguageName(language).toStdString());
        const QStringList added = clashesOfItsOwn(clashes(language), german);
        EXPECT_TRUE(added.isEmpty()) << added.size() << " pairs:\n" << added.join(u'\n').toStdString();
    }
}

namespace {

// A page of a stack (a tab widget's, or one a form switches itself): only
// the current page is shown, so the keys of two pages never meet.
bool isPage(const QWidget *w)
{
    const QWidget *holder = w->parentWidget();
    const auto *stack = holder ? qobject_cast<const QStackedLayout *>(holder->layout()) : nullptr;
    return stack && stack->indexOf(const_cast<QWidget *>(w)) >= 0;
}

struct Keyed {
    QString where; // within its window
    QString text;
    QChar key;
    QHash<const QWidget *, const QWidget *> pages; // stack holder -> page
};

// The key letters a window's shown controls carry. A control hidden by its
// form (or inside a hidden part) has no working key; one on a page behind
// the current one has it when its page is chosen.
void keysOf(QWidget *w, QHash<QWidget *, QList<Keyed>> &out)
{
    QWidget *window = w->window();
    if (w == window || qtsOwn(w))
        return;
    Keyed k;
    for (const QWidget *x = w; x && x != window; x = x->parentWidget()) {
        if (isPage(x))
            k.pages.insert(x->parentWidget(), x);
        else if (x->isHidden())
            return;
    }
    const auto add = [&](const QString &where, const QString &text) {
        k.where = where;
        k.text = text;
        k.key = keyLetter(text);
        if (k.key.isLetterOrNumber())
            out[window] << k;
    };
    const QString at = pathOf(w, window);
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        add(at, b->text());
    else if (auto *l = qobject_cast<QLabel *>(w))
        add(at, l->text());
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        add(at, g->title());
    else if (auto *t = qobject_cast<QTabBar *>(w))
        for (int i = 0; i < t->count(); ++i)
            if (t->isTabVisible(i))
                add(at + QStringLiteral(".tab") + QString::number(i), t->tabText(i));
}

// Two controls meet unless some stack shows them on different pages.
bool meet(const Keyed &a, const Keyed &b)
{
    for (auto it = a.pages.cbegin(); it != a.pages.cend(); ++it)
        if (b.pages.contains(it.key()) && b.pages.value(it.key()) != it.value())
            return false;
    return true;
}

// Pairs of controls of one window that share their key letter, as
// "window: first / second" -> their texts. Alt with a shared letter steps
// between the controls instead of choosing one.
QMap<QString, QString> sharedControlKeys(const QList<QWidget *> &roots, qsizetype &keys)
{
    QSet<QWidget *> widgets;
    for (QWidget *root : roots) {
        widgets.insert(root);
        for (QWidget *w : root->findChildren<QWidget *>())
            widgets.insert(w);
    }
    QHash<QWidget *, QList<Keyed>> keyed;
    for (QWidget *w : widgets)
        keysOf(w, keyed);
    QMap<QString, QString> out;
    keys = 0;
    for (auto it = keyed.cbegin(); it != keyed.cend(); ++it) {
        QList<Keyed> all = it.value();
        keys += all.size();
        std::sort(all.begin(), all.end(), [](const Keyed &a, const Keyed &b) { return a.where < b.where; });
        for (qsizetype i = 0; i < all.size(); ++i)
            for (qsizetype j = i + 1; j < all.size(); ++j)
                if (all[i].key == all[j].key && meet(all[i], all[j]))
                    out.insert(nameIn(it.key()) + QStringLiteral(": ") + all[i].where + QStringLiteral(" / ") +
                                   all[j].where,
                               all[i].text + QStringLiteral(" / ") + all[j].text);
    }
    return out;
}

} // namespace

TEST_F(LanguageWalk, TranslatedFormsGiveEachControlItsOwnKey)
{
    TMainForm main;
    CreateFolderExplorer(main);
    const QStringList script = main.ZKMultiLanguage->Script();
    ASSERT_FALSE(script.isEmpty());
    QPrinter printer;
    const std::vector<std::unique_ptr<QWidget>> forms = makeForms(main, printer);
    QList<QWidget *> roots{&main}; // with the dialogs the window owns
    for (const auto &f : forms)
        roots << f.get();
    qsizetype keys = 0;
    const auto clashes = [&](int language) {
        switchTo(main, language);
        setLanguage(forms, script, language);
        return sharedControlKeys(roots, keys);
    };
    // As with the menus, a clash the German form has is the original's.
    const QMap<QString, QString> german = clashes(0);
    ASSERT_GT(keys, 100) << "the walk reached the forms' keys";
    for (int language = 1; language < 5; ++language) {
        SCOPED_TRACE(LanguageName(language).toStdString());
        const QStringList added = clashesOfItsOwn(clashes(language), german);
        EXPECT_TRUE(added.isEmpty()) << added.size() << " pairs:\n" << added.join(u'\n').toStdString();
    }
}

// A window started in a language takes the items of its closed menus
// after it is up; once the loop has run, it says everything a switch to the
// same language would make it say, and its menu bar is translated at once.
TEST_F(LanguageWalk, AWindowStartedInALanguageSaysWhatASwitchToItSays)
{
    for (const int language : {1, 4}) {
        SCOPED_TRACE(LanguageName(language).toStdString());
        {
            TRegistry reg;
            ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0\\Options"), true));
            reg.WriteInteger(QStringLiteral("Language"), language);
        }
        TMainForm main;
        CreateFolderExplorer(main);
        const QString fileMenu = main.Item("DateiMenuItem")->text();
        EXPECT_NE(fileMenu, QStringLiteral("&Datei"));
        QCoreApplication::processEvents();
        const Texts started = textsOf(&main);
        // The status bar's panels too (the window writes them before the bar
        // is made).
        QStringList panels;
        for (int i = 0; i < 8; ++i)
            panels << main.StatusPanelText(i);
        switchTo(main, language);
        const Texts switched = textsOf(&main);
        EXPECT_EQ(main.Item("DateiMenuItem")->text(), fileMenu);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(main.StatusPanelText(i), panels[i]) << "panel " << i;
        EXPECT_NE(panels[2], QStringLiteral("Farbcodes aus"));
        QStringList differ;
        for (auto it = switched.cbegin(); it != switched.cend(); ++it)
            if (started.value(it.key()) != it.value())
                differ << it.key() + ": \"" + started.value(it.key()) + "\" / \"" + it.value() + "\"";
        EXPECT_GT(started.size(), 1000);
        EXPECT_TRUE(differ.isEmpty()) << differ.join(u'\n').toStdString();
        main.Options.EndDlg = false;
    }
}
