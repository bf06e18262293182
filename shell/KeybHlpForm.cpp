#include "KeybHlpForm.h"
#include "ShellOpen.h"
#include "SafeFile.h"

#include "BarPopupMenu.h"
#include "HotKeys.h"
#include "MultiLanguage.h"
#include "ProgramDir.h"
#include "XPrint.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace zk {

namespace {
constexpr int kHotKeyRole = Qt::UserRole + 1;
const char *const kGroupMenus[7] = {"DateiMenuItem", "BearbeitenMenuItem", "ViewMenuItem", "ExtrasMenuItem",
                                    "OptionenMenuItem", "WinMenuItem", "HelpMenuItem"};
} // namespace

QString GermanKeyText(const QKeySequence &seq)
{
    if (seq.isEmpty())
        return {};
    QString s = seq.toString(QKeySequence::PortableText);
    // The hot-key rows and the menus speak the same German key names.
    static const std::pair<const char *, const char *> names[] = {
        {"Ctrl+", "Strg+"}, {"Shift+", "Umschalt+"}, {"Meta+", "Win+"}, {"Del", "Entf"},
        {"Ins", "Einfg"},   {"PgUp", "Bild auf"},    {"PgDown", "Bild ab"}, {"Home", "Pos1"},
        {"End", "Ende"},    {"Backspace", "Rück"},   {"Return", "Eingabe"}, {"Enter", "Eingabe"},
        {"Left", "Links"},  {"Right", "Rechts"},     {"Up", "Auf"},         {"Down", "Ab"},
        {"Space", "Leertaste"}, {"Print", "Druck"},
    };
    QStringList parts = s.split(QStringLiteral(", "));
    for (QString &part : parts) {
        for (const auto &[en, de] : names) {
            const QString e = QString::fromLatin1(en);
            if (e.endsWith(QLatin1Char('+')))
                part.replace(e, QString::fromUtf8(de));
            else if (part == e || part.endsWith(QLatin1Char('+') + e))
                part = part.left(part.size() - e.size()) + QString::fromUtf8(de);
        }
    }
    return parts.join(QStringLiteral(", "));
}

std::vector<TKeybRow> MenuRows(const QMenu *menu)
{
    std::vector<TKeybRow> rows;
    if (!menu)
        return rows;
    const auto add = [&rows](const QAction *a) {
        rows.push_back({a->text(), GermanKeyText(a->shortcut()), a->statusTip(), false});
    };
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        add(a);
        if (const QMenu *sub = a->menu())
            for (const QAction *b : sub->actions())
                if (!b->isSeparator())
                    add(b);
    }
    return rows;
}

std::vector<TKeybRow> HotKeyRows(const TZelkoraOptions &o, const std::function<QString(const QString &)> &text)
{
    static const char *const labels[6] = {"SawLabel", "SDLabel", "SvaLabel", "ZKPopupLabel", "TSSwitch1Label",
                                          "TSMPLabel"};
    const int index[6] = {o.HK1, o.HK2, o.HK3, o.HK4, o.HK5, o.HK6};
    std::vector<TKeybRow> rows;
    for (int slot = 0; slot < 6; ++slot) {
        const QString label = QString::fromLatin1(labels[slot]);
        const QChar letter = index[slot] < 15 ? HotKeyLetter(index[slot]) : QChar();
        rows.push_back({text(label + QStringLiteral(".Caption")),
                        QStringLiteral("Strg+") + (letter.isNull() ? QString() : QString(letter.toUpper())),
                        text(label + QStringLiteral(".Hint")), true});
    }
    return rows;
}

void SortRows(std::vector<TKeybRow> &rows, int column)
{
    const auto field = [column](const TKeybRow &r) -> const QString & {
        return column == 1 ? r.keys : column == 2 ? r.description : r.caption;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const TKeybRow &a, const TKeybRow &b) {
        return QString::compare(field(a), field(b), Qt::CaseInsensitive) < 0;
    });
}

QString RowsAsSavedText(const std::vector<TKeybRow> &rows)
{
    QString out;
    for (const TKeybRow &r : rows) {
        out += r.caption + QStringLiteral("; ");
        for (const QString *sub : {&r.keys, &r.description})
            if (!sub->isEmpty())
                out += *sub + QStringLiteral("; ");
        out += QLatin1Char('\n');
    }
    return out;
}

TKeybHlpBMForm::TKeybHlpBMForm(std::function<QMenu *(const QString &)> menuOf, const TZelkoraOptions &options,
                               QWidget *opener)
    : TBaseModalForm(opener), m_menuOf(std::move(menuOf)), m_options(options)
{
    setObjectName(QStringLiteral("KeybHlpBMForm"));
    setWindowTitle(QStringLiteral("Tastatur-Belegung"));

    KHCmdComboBox = new QComboBox(this);
    KHCmdComboBox->setObjectName(QStringLiteral("KHCmdComboBox"));
    KHCmdComboBox->addItems({QStringLiteral("Datei"), QStringLiteral("Bearbeiten"), QStringLiteral("Ansicht"),
                             QStringLiteral("Extras"), QStringLiteral("Optionen"), QStringLiteral("Fenster"),
                             QStringLiteral("Hilfe"), QStringLiteral("Globale Hotkeys"),
                             QStringLiteral("Alle Befehle"), QStringLiteral("Keine"),
                             QString::fromUtf8("Fenster schließen")});

    KeybCmdListView = new QTreeWidget(this);
    KeybCmdListView->setObjectName(QStringLiteral("KeybCmdListView"));
    KeybCmdListView->setColumnCount(3);
    KeybCmdListView->setHeaderLabels({QStringLiteral("Befehl"), QStringLiteral("Tasten"),
                                      QStringLiteral("Beschreibung")});
    KeybCmdListView->setColumnWidth(0, 200);
    KeybCmdListView->setColumnWidth(1, 110);
    KeybCmdListView->setColumnWidth(2, 400);
    KeybCmdListView->setRootIsDecorated(false);
    KeybCmdListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    KeybCmdListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    KeybCmdListView->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid palette(mid); "
                                                  "border-bottom: 1px solid palette(mid); }"));
    KeybCmdListView->header()->setSectionsClickable(true);
    connect(KeybCmdListView->header(), &QHeaderView::sectionClicked, this,
            &TKeybHlpBMForm::KeybCmdListViewColumnClick);
    connect(KeybCmdListView, &QTreeWidget::itemDoubleClicked, this, [this] { KeybHCpyBitBtnClick(); });

    auto *buttons = new QHBoxLayout;
    const auto button = [&](QPushButton *&b, const char *name, const QString &caption, void (TKeybHlpBMForm::*slot)()) {
        b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, slot);
    };
    button(KeybHPrtBitBtn, "KeybHPrtBitBtn", QStringLiteral("Liste drucken"), &TKeybHlpBMForm::KeybHPrtBitBtnClick);
    button(KeybHCpyBitBtn, "KeybHCpyBitBtn", QStringLiteral("Kopieren"), &TKeybHlpBMForm::KeybHCpyBitBtnClick);
    button(KeybHLCpyBitBtn, "KeybHLCpyBitBtn", QStringLiteral("Liste kopieren"),
           &TKeybHlpBMForm::KeybHLCpyBitBtnClick);
    button(KeybHlpBitBtn, "KeybHlpBitBtn", QStringLiteral("&Hilfe"), &TKeybHlpBMForm::KeybHlpBitBtnClick);
    button(ListSaveBitBtn, "ListSaveBitBtn", QStringLiteral("Speichern"), &TKeybHlpBMForm::TabSaveMenuItemClick);

    KeybHlpPopupMenu = new TBarPopupMenu(this);
    KeybHlpPopupMenu->setObjectName(QStringLiteral("KeybHlpPopupMenu"));
    KeybHlpPopupMenu->VerticalText = QStringLiteral("Zelkora 5.0");
    const struct {
        const char *name, *caption;
        void (TKeybHlpBMForm::*slot)();
    } items[] = {
        {"KeybHCpyMenuItem", "Zeile kopieren", &TKeybHlpBMForm::KeybHCpyBitBtnClick},
        {"KeybHLCpyMenuItem", "Liste kopieren", nullptr}, // this entry does nothing
        {"KeybHPrtMenuItem", "Liste drucken", &TKeybHlpBMForm::KeybHPrtBitBtnClick},
        {"KeybHlpMenuItem", "Hilfe", &TKeybHlpBMForm::KeybHlpBitBtnClick},
        {"KeybHlpFontMenuItem", "Schrift...", &TKeybHlpBMForm::KeybHlpFontMenuItemClick},
        {"TabSaveMenuItem", "Speichern...", &TKeybHlpBMForm::TabSaveMenuItemClick},
        {"KeyHlpCloseMenuItem", "Schließen", &TKeybHlpBMForm::KeyHlpCloseMenuItemClick},
    };
    for (const auto &it : items) {
        QAction *a = KeybHlpPopupMenu->addAction(QString::fromUtf8(it.caption));
        a->setObjectName(QString::fromLatin1(it.name));
        if (it.slot)
            connect(a, &QAction::triggered, this, it.slot);
    }
    KeybCmdListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(KeybCmdListView, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QPoint g = KeybCmdListView->viewport()->mapToGlobal(pos);
        KeybHlpPopupMenu->Popup(g.x(), g.y());
    });

    KeybHlpXPrint = std::make_unique<TXPrint>();
    KeybHlpXPrint->SetScaling(pscMetric10);
    KeybHlpXPrint->MarginLeft = 180;
    KeybHlpXPrint->MarginTop = 20;
    KeybHlpXPrint->MarginRight = 180;
    KeybHlpXPrint->MarginBottom = 180;

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(KHCmdComboBox);
    layout->addWidget(KeybCmdListView, 1);
    layout->addLayout(buttons);
    resize(760, 460);

    connect(KHCmdComboBox, &QComboBox::activated, this, [this] { KHCmdComboBoxChange(); });
    FormCreate();
}

TKeybHlpBMForm::~TKeybHlpBMForm() = default;

QString TKeybHlpBMForm::HelpPage()
{
    return HelpPageFile(QStringLiteral("keybhlp"));
}

void TKeybHlpBMForm::FormCreate()
{
    KeybHlpBitBtn->setEnabled(!HelpPage().isEmpty());
}

QString TKeybHlpBMForm::text(const char *key, const QString &fallback) const
{
    const auto *ml = findChild<TMultiLanguage *>(QString(), Qt::FindDirectChildrenOnly);
    const QString t = ml ? ml->GetText(QString::fromLatin1(key)) : QString();
    return t.isEmpty() ? fallback : t;
}

void TKeybHlpBMForm::message(const char *key, const QString &fallback)
{
    QMessageBox box(QMessageBox::Information, windowTitle(), text(key, fallback), QMessageBox::Ok, this);
    box.setObjectName(QString::fromLatin1(key));
    box.exec();
}

void TKeybHlpBMForm::showEvent(QShowEvent *e)
{
    TBaseModalForm::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TKeybHlpBMForm::showHeaders()
{
    const char *const keys[3] = {"KeybCmdListView_Columns[0]_Caption", "KeybCmdListView_Columns[1]_Caption",
                                 "KeybCmdListView_Columns[2]_Caption"};
    const QString defaults[3] = {QStringLiteral("Befehl"), QStringLiteral("Tasten"), QStringLiteral("Beschreibung")};
    QStringList headers;
    for (int i = 0; i < 3; ++i)
        headers << text(keys[i], defaults[i]);
    KeybCmdListView->setHeaderLabels(headers);
}

void TKeybHlpBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    showHeaders();
}

void TKeybHlpBMForm::FormShow()
{
    showHeaders();
    KHCmdComboBox->setCurrentIndex(0);
    KHCmdComboBoxChange();
}

void TKeybHlpBMForm::KHCmdComboBoxChange()
{
    const int group = KHCmdComboBox->currentIndex();
    if (group == 10) {
        close();
        return;
    }
    m_rows.clear();
    const auto addMenu = [this](int i) {
        const std::vector<TKeybRow> r = MenuRows(m_menuOf ? m_menuOf(QString::fromLatin1(kGroupMenus[i])) : nullptr);
        m_rows.insert(m_rows.end(), r.begin(), r.end());
    };
    const auto hotKeys = [this] {
        const std::vector<TKeybRow> r =
            HotKeyRows(m_options, [this](const QString &k) { return text(k.toLatin1().constData(), k); });
        m_rows.insert(m_rows.end(), r.begin(), r.end());
    };
    if (group >= 0 && group <= 6)
        addMenu(group);
    else if (group == 7)
        hotKeys();
    else if (group == 8) {
        for (int i : {0, 1, 2, 3, 4, 6})
            addMenu(i);
        hotKeys();
    }
    fillList();
}

void TKeybHlpBMForm::fillList()
{
    KeybCmdListView->setUpdatesEnabled(false);
    KeybCmdListView->clear();
    QFont bold = KeybCmdListView->font();
    bold.setBold(true);
    for (const TKeybRow &r : m_rows) {
        auto *item = new QTreeWidgetItem(KeybCmdListView, {r.caption, r.keys, r.description});
        item->setData(0, kHotKeyRole, r.hotKey);
        // A row with a key stands out; the global hot keys also in blue,
        // wherever sorting has put them.
        if (!r.keys.isEmpty())
            for (int c = 0; c < 3; ++c)
                item->setFont(c, bold);
        if (r.hotKey)
            for (int c = 0; c < 3; ++c)
                item->setForeground(c, QColor(0, 0, 255));
    }
    KeybCmdListView->setUpdatesEnabled(true);
}

void TKeybHlpBMForm::KeybCmdListViewColumnClick(int column)
{
    SortColumn = column;
    SortRows(m_rows, column);
    fillList();
}

void TKeybHlpBMForm::KeybHCpyBitBtnClick()
{
    const QTreeWidgetItem *item = KeybCmdListView->currentItem();
    if (!item || !item->isSelected()) {
        message("showmsg_no_lvline_selected", QStringLiteral("Es ist keine Zeile ausgewählt."));
        return;
    }
    QGuiApplication::clipboard()->setText(item->text(0) + QStringLiteral("\n------\n") + item->text(1) +
                                          QStringLiteral("\n------\n") + item->text(2));
}

void TKeybHlpBMForm::KeybHLCpyBitBtnClick()
{
    if (m_rows.empty())
        return;
    QString all;
    for (const TKeybRow &r : m_rows)
        all += r.caption + QLatin1Char('\t') + r.keys + QLatin1Char('\t') + r.description + QLatin1Char('\n');
    QGuiApplication::clipboard()->setText(all);
}

bool TKeybHlpBMForm::SaveList(const QString &fileName)
{
    TSafeFile file(fileName);
    const QByteArray bytes = RowsAsSavedText(m_rows).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        message("showmsg_list_not_saved", QStringLiteral("Die Liste konnte nicht gespeichert werden:") +
                                              QLatin1Char(' ') + fileName);
        return false;
    }
    return true;
}

void TKeybHlpBMForm::TabSaveMenuItemClick()
{
    QFileDialog dialog(this, QStringLiteral("Tabelle speichern unter"));
    dialog.setObjectName(QStringLiteral("KeyHlpSaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setNameFilter(QStringLiteral("Text (*.txt)"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        SaveList(dialog.selectedFiles().first());
}

bool TKeybHlpBMForm::PrintList()
{
    TXPrint &xp = *KeybHlpXPrint;
    xp.SetTitle(QStringLiteral("Zelkora 5.0 Tastatur-Hilfe"));
    xp.SetFont(KeybCmdListView->font());
    if (!xp.BeginDoc()) {
        message("showmsg_no_printer", QStringLiteral("Es ist kein Drucker installiert."));
        return false;
    }
    xp.SetFontSize(KeybCmdListView->font().pointSize() > 0 ? KeybCmdListView->font().pointSize() : 10);
    QPainter &p = xp.Canvas();
    const int xs[3] = {50, 750, 1150};
    // Fonts are laid out in the painter's own units, before its mapping.
    const auto lineHeight = [&p](const QString &) { return qRound(QFontMetricsF(p.font(), p.device()).height()) + 5; };
    int y = 100;
    const auto header = [&] {
        QFont f = p.font();
        const QFont plain = f;
        f.setBold(true);
        p.setFont(f);
        const QStringList h = {KeybCmdListView->headerItem()->text(0), KeybCmdListView->headerItem()->text(1),
                               KeybCmdListView->headerItem()->text(2)};
        for (int c = 0; c < 3; ++c)
            p.drawText(xs[c], y, h[c]);
        y += 2 * lineHeight(h[0]);
        p.setFont(plain);
    };
    header();
    for (const TKeybRow &r : m_rows) {
        const int next = y + lineHeight(r.caption);
        if (next >= xp.PrintHeight() - 100) {
            xp.NewPage();
            y = 100;
            header();
        }
        p.drawText(xs[0], y, r.caption);
        p.drawText(xs[1], y, r.keys);
        p.drawText(xs[2], y, r.description);
        y += lineHeight(r.caption);
    }
    xp.EndDoc();
    return true;
}

void TKeybHlpBMForm::KeybHPrtBitBtnClick()
{
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    text("msgdlg_woult_keyboardhlp_list_print", QStringLiteral("Die Liste jetzt drucken?")),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("msgdlg_woult_keyboardhlp_list_print"));
    if (box.exec() == QMessageBox::Yes)
        PrintList();
}

void TKeybHlpBMForm::KeybHlpFontMenuItemClick()
{
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, KeybCmdListView->font(), this);
    if (!ok)
        return;
    KeybCmdListView->setFont(f);
    KeybHlpXPrint->SetFont(f);
    fillList();
}

void TKeybHlpBMForm::KeybHlpBitBtnClick()
{
    ShowHelpPage(this, QStringLiteral("keybhlp"));
}

void TKeybHlpBMForm::KeyHlpCloseMenuItemClick()
{
    close();
}

} // namespace zk
