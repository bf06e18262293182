#include "OptionDlg.h"
#include "XPLook.h"
#include "ShellOpen.h"

#include <QMainWindow>

#include "DirBDForm.h"
#include "CaptureControl.h"
#include "EditDialogs.h"
#include "Globals.h"
#include "HistList.h"
#include "ModuleProtocol.h"
#include "MultiLanguage.h"
#include "OptionDlgRules.h"
#include "ProgramDir.h"
#include "SendForms.h"
#include "SmallControls.h"
#include "XPrint.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace zk {

// ---------------------------------------------------------------------------
// TRadioGroup

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent, int columns)
    : QGroupBox(caption, parent)
{
    m_group = new QButtonGroup(this);
    auto *grid = new QGridLayout(this);
    const int rows = int((items.size() + columns - 1) / columns);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        m_group->addButton(b, i);
        grid->addWidget(b, i % rows, i / rows);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

int TRadioGroup::ItemIndex() const { return m_group->checkedId(); }

void TRadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton *b = m_group->button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last button itself.
    if (QAbstractButton *b = m_group->checkedButton()) {
        m_group->setExclusive(false);
        b->setChecked(false);
        m_group->setExclusive(true);
    }
}

int TRadioGroup::Count() const { return int(m_group->buttons().size()); }
QAbstractButton *TRadioGroup::Button(int index) const { return m_group->button(index); }

QStringList TRadioGroup::Items() const
{
    QStringList out;
    for (int i = 0; i < Count(); ++i)
        out << m_group->button(i)->text();
    return out;
}

void TRadioGroup::SetItems(const QStringList &items)
{
    for (int i = 0; i < Count() && i < items.size(); ++i)
        m_group->button(i)->setText(items[i]);
}

QTabWidget *TTabSheet::tabs() const
{
    for (QWidget *p = parentWidget(); p; p = p->parentWidget())
        if (auto *t = qobject_cast<QTabWidget *>(p))
            return t;
    return nullptr;
}

QString TTabSheet::Caption() const
{
    QTabWidget *t = tabs();
    return t ? t->tabText(t->indexOf(const_cast<TTabSheet *>(this))) : QString();
}

void TTabSheet::SetCaption(const QString &caption)
{
    if (QTabWidget *t = tabs())
        t->setTabText(t->indexOf(this), caption);
}

TOptionSubDialogs &OptionSubDialogs()
{
    static TOptionSubDialogs dialogs;
    return dialogs;
}

namespace {

// The context-menu key anywhere in one window runs one command. The
// platform may deliver the key both as a key press and as a keyboard
// context-menu request, in either order: one press runs the command once.
class TMenuKeyWatch : public QObject
{
public:
    TMenuKeyWatch(QWidget *window, std::function<void()> command)
        : QObject(window), m_window(window), m_command(std::move(command))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        const QEvent::Type type = e->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ContextMenu)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || w->window() != m_window)
            return false;
        if (type == QEvent::ContextMenu) {
            if (static_cast<QContextMenuEvent *>(e)->reason() != QContextMenuEvent::Keyboard)
                return false;
            return trigger();
        }
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() != Qt::Key_Menu)
            return false;
        if (type == QEvent::KeyRelease) {
            m_half = false;
            return true;
        }
        return k->isAutoRepeat() ? true : trigger();
    }

private:
    // The second of the pair only closes it.
    bool trigger()
    {
        if (m_half) {
            m_half = false;
            return true;
        }
        m_half = true;
        m_command();
        return true;
    }

    QWidget *m_window;
    std::function<void()> m_command;
    bool m_half = false;
};

const char *const kHotKeyLetters = "ABEFGHIJKLMNTUY";

const char *const kHelpPages[12] = {"filereg", "progreg", "scanreg", "imgbrowsreg", "hotkeyreg", "scriptreg",
                                    "printscanreg", "timescanreg", "video", "savereg", "language", "sonstreg"};

// Draws each family in its own face; the view paints only the rows it shows.
class TFontItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        TOptionDlgBMForm::FontComboBoxDrawItem(*painter, option, index.data().toString());
    }
};

QCheckBox *check(QWidget *parent, QCheckBox *&member, const char *name, const QString &caption, QLayout *into)
{
    member = new QCheckBox(caption, parent);
    member->setObjectName(QString::fromLatin1(name));
    into->addWidget(member);
    return member;
}

QPushButton *button(QWidget *parent, QPushButton *&member, const char *name, const QString &caption)
{
    member = new QPushButton(caption, parent);
    member->setObjectName(QString::fromLatin1(name));
    return member;
}

THistoryCombo *history(QWidget *parent, THistoryCombo *&member, const char *name, const char *section)
{
    member = new THistoryCombo(parent);
    member->setObjectName(QString::fromLatin1(name));
    member->SetRegistryPath(QString::fromLatin1(kSendHistoryKey) + QStringLiteral("\\History\\") +
                            QString::fromLatin1(section));
    return member;
}

TRadioGroup *radios(QWidget *parent, TRadioGroup *&member, const char *name, const QString &caption,
                    const QStringList &items, int columns = 1)
{
    member = new TRadioGroup(caption, items, parent, columns);
    member->setObjectName(QString::fromLatin1(name));
    return member;
}

QComboBox *combo(QWidget *parent, QComboBox *&member, const char *name, const QStringList &items)
{
    member = new QComboBox(parent);
    member->setObjectName(QString::fromLatin1(name));
    member->addItems(items);
    return member;
}

TColComboBox *colors(QWidget *parent, TColComboBox *&member, const char *name)
{
    member = new TColComboBox(parent);
    member->setObjectName(QString::fromLatin1(name));
    for (const QString &c : ColComboNames())
        member->AddColorItem(c);
    return member;
}

// An edit with its up-down; both named, the up-down limited to min..max.
QWidget *upDown(QWidget *parent, QLineEdit *&edit, const char *editName, TEditUpDown *&updown,
                const char *upDownName, int min, int max)
{
    auto *box = new QWidget(parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit(box);
    edit->setObjectName(QString::fromLatin1(editName));
    edit->setMaximumWidth(70);
    updown = new TEditUpDown(box);
    updown->setObjectName(QString::fromLatin1(upDownName));
    updown->SetRange(min, max);
    updown->Associate(edit);
    row->addWidget(edit);
    row->addWidget(updown);
    row->addStretch(1);
    return box;
}

QHBoxLayout *rowOf(std::initializer_list<QWidget *> widgets, bool stretch = true)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : widgets)
        row->addWidget(w);
    if (stretch)
        row->addStretch(1);
    return row;
}

// A combo box with its browse button beside it, the combo taking the width.
QHBoxLayout *pathRow(QWidget *combo, QWidget *browse)
{
    auto *row = new QHBoxLayout;
    row->addWidget(combo, 1);
    row->addWidget(browse);
    return row;
}

// A named group box with a vertical layout.
QGroupBox *groupBox(QWidget *parent, const char *name, const QString &caption, QVBoxLayout *&layout)
{
    auto *g = new QGroupBox(caption, parent);
    g->setObjectName(QString::fromLatin1(name));
    layout = new QVBoxLayout(g);
    return g;
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, QWidget *buddy = nullptr)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QMenu *stdMenu(QWidget *owner, QMenu *&member, const char *name, const char *itemName, QWidget *area)
{
    member = new QMenu(owner);
    member->setObjectName(QString::fromLatin1(name));
    QAction *item = member->addAction(QStringLiteral("Standardwerte"));
    item->setObjectName(QString::fromLatin1(itemName));
    area->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(area, &QWidget::customContextMenuRequested, member,
                     [menu = member, area](const QPoint &p) { menu->popup(area->mapToGlobal(p)); });
    return member;
}

void setText(QObject *c, const QString &t)
{
    if (auto *combo = qobject_cast<QComboBox *>(c))
        combo->setCurrentText(t);
    else if (auto *l = qobject_cast<QLabel *>(c))
        l->setText(t);
    else if (auto *e = qobject_cast<QLineEdit *>(c))
        e->setText(t);
}

QString getText(const QObject *c)
{
    if (auto *combo = qobject_cast<const QComboBox *>(c))
        return combo->currentText();
    if (auto *l = qobject_cast<const QLabel *>(c))
        return l->text();
    if (auto *e = qobject_cast<const QLineEdit *>(c))
        return e->text();
    return {};
}

int getIndex(const QObject *c)
{
    if (auto *g = qobject_cast<const TRadioGroup *>(c))
        return g->ItemIndex();
    if (auto *combo = qobject_cast<const QComboBox *>(c))
        return combo->currentIndex();
    if (auto *list = qobject_cast<const QListWidget *>(c))
        return list->currentRow();
    return -1;
}

void setIndex(QObject *c, int i)
{
    if (auto *g = qobject_cast<TRadioGroup *>(c)) {
        g->SetItemIndex(i);
    } else if (auto *combo = qobject_cast<QComboBox *>(c)) {
        combo->setCurrentIndex(i >= 0 && i < combo->count() ? i : -1);
    } else if (auto *list = qobject_cast<QListWidget *>(c)) {
        list->setCurrentRow(i >= 0 && i < list->count() ? i : -1);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Building

TOptionDlgBMForm::TOptionDlgBMForm(QWidget *owner) : TBaseModalForm(owner)
{
    setObjectName(QStringLiteral("OptionDlgBMForm"));
    setWindowTitle(QStringLiteral("Optionen"));
    OptionMultiLanguage = new TMultiLanguage(this);
    OptionMultiLanguage->setObjectName(QStringLiteral("OptionMultiLanguage"));

    Prompts.Message = [this](const QString &key, const QString &t) {
        QMessageBox box(QMessageBox::Information, windowTitle(), t, QMessageBox::Ok, this);
        box.setObjectName(key);
        box.exec();
    };
    Prompts.Confirm = [this](const QString &title, const QString &t) {
        QMessageBox box(QMessageBox::Question, title, t, QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("OptionConfirm"));
        return box.exec() == QMessageBox::Yes;
    };
    Prompts.InputQuery = [this](const QString &caption, const QString &prompt, QString &value) {
        bool ok = false;
        const QString v = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, value, &ok);
        if (ok)
            value = v;
        return ok;
    };
    Prompts.BrowseFolder = [] { return BrowseForFolder(); };
    Prompts.ChooseProgram = [this] {
        QFileDialog dlg(this, QString(), QString(), QStringLiteral("Programmdateien (*)"));
        dlg.setObjectName(QStringLiteral("OpenProgDialog"));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setFileMode(QFileDialog::ExistingFile);
        dlg.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        const QString f = dlg.selectedFiles().first();
        return QFileInfo(f).isExecutable() ? f : QString();
    };
    Prompts.OpenUrl = [](const QString &url) { QDesktopServices::openUrl(QUrl::fromUserInput(url)); };

    SoundTestTimer = new QTimer(this);
    SoundTestTimer->setObjectName(QStringLiteral("SoundTestTimer"));
    SoundTestTimer->setSingleShot(true);
    SoundTestTimer->setInterval(2000);

    buildPages();
    wire();
    FormCreate();
}

TOptionDlgBMForm::~TOptionDlgBMForm() = default;

void TOptionDlgBMForm::buildPages()
{
    OptionPageControl = new QTabWidget(this);
    OptionPageControl->setObjectName(QStringLiteral("OptionPageControl"));
    const auto page = [this](const char *name, const QString &caption) {
        auto *w = new TTabSheet(OptionPageControl);
        w->setObjectName(QString::fromLatin1(name));
        OptionPageControl->addTab(w, caption);
        return w;
    };

    // 0 Dateien
    QWidget *p = page("FilesTabSheet", QStringLiteral("Dateien"));
    {
        auto *v = new QVBoxLayout(p);
        check(p, PersSaveCheckBox, "PersSaveCheckBox", QStringLiteral("Automatische Dateierstellung"), v);
        history(p, PathHistoryCombo, "PathHistoryCombo", "OutDir");
        button(p, PathBitBtn, "PathBitBtn", QStringLiteral("..."))->setProperty("Tag", 0);
        v->addWidget(label(p, "PathLabel", QStringLiteral("&Verzeichnis:"), PathHistoryCombo));
        v->addLayout(pathRow(PathHistoryCombo, PathBitBtn));
        v->addWidget(radios(p, FTypRadioGroup, "FTypRadioGroup", QStringLiteral("Dateityp"),
                            {QStringLiteral("Bitmap"), QStringLiteral("JPG"), QStringLiteral("GIF"),
                             QStringLiteral("WMF"), QStringLiteral("EMF"), QStringLiteral("ICO"),
                             QStringLiteral("ZKG"), QStringLiteral("TIF"), QStringLiteral("PNG")},
                            3));
        QVBoxLayout *nv = nullptr;
        auto *names = groupBox(p, "FileNameGroupBox", QStringLiteral("Dateiname"), nv);
        AiRadioButton = new QRadioButton(QStringLiteral("Name mit fortlaufender Nummer"), names);
        AiRadioButton->setObjectName(QStringLiteral("AiRadioButton"));
        DteTmeRadioButton = new QRadioButton(QStringLiteral("Name mit Datum und Uhrzeit"), names);
        DteTmeRadioButton->setObjectName(QStringLiteral("DteTmeRadioButton"));
        MiRadioButton = new QRadioButton(QStringLiteral("Name bei jedem Scan eingeben"), names);
        MiRadioButton->setObjectName(QStringLiteral("MiRadioButton"));
        history(names, FileNameHistoryCombo, "FileNameHistoryCombo", "FileName");
        for (QWidget *w : std::initializer_list<QWidget *>{AiRadioButton, DteTmeRadioButton, MiRadioButton,
                                                           FileNameHistoryCombo})
            nv->addWidget(w);
        v->addWidget(names);
        v->addStretch(1);
        stdMenu(this, FilesPopupMenu, "FilesPopupMenu", "FilesStdMenuItem", p);
    }

    // 1 Programm
    p = page("ProgTabSheet", QStringLiteral("Programm"));
    {
        auto *grid = new QGridLayout(p);
        auto *left = new QVBoxLayout;
        auto *right = new QVBoxLayout;
        check(p, TNACheckBox, "TNACheckBox", QStringLiteral("Symbol im Infobereich"), left);
        check(p, SysTrayStartCheckBox, "SysTrayStartCheckBox", QStringLiteral("Im Infobereich starten"), left);
        check(p, SysStartCheckBox, "SysStartCheckBox", QStringLiteral("Mit dem System starten"), left);
        check(p, WinCenterCheckBox, "WinCenterCheckBox", QStringLiteral("Fenster zentrieren"), left);
        check(p, StatBarCheckBox, "StatBarCheckBox", QStringLiteral("Statusleiste"), left)->setProperty("Tag", 0);
        check(p, OnePartStatBarCheckBox, "OnePartStatBarCheckBox", QStringLiteral("Einteilige Statusleiste"), left)
            ->setProperty("Tag", 1);
        check(p, StatHintsCheckBox, "StatHintsCheckBox", QStringLiteral("Hinweise in der Statusleiste"), left);
        check(p, ContHintsCheckBox, "ContHintsCheckBox", QStringLiteral("Hinweise an Steuerelementen"), left);
        check(p, ProgEndCheckBox, "ProgEndCheckBox", QStringLiteral("Beenden bestätigen"), left);
        check(p, FSCloseClickCheckBox, "FSCloseClickCheckBox", QStringLiteral("Vollbild per Klick schließen"), left);
        check(p, SaveHistoryCheckBox, "SaveHistoryCheckBox", QStringLiteral("Verlaufslisten speichern"), right);
        check(p, FileExpCheckBox, "FileExpCheckBox", QStringLiteral("Explorer anzeigen"), right);
        check(p, FEMagCheckBox, "FEMagCheckBox", QStringLiteral("Explorer magnetisch"), right);
        check(p, FEOnlyGrTypesCheckBox, "FEOnlyGrTypesCheckBox", QStringLiteral("Nur Grafikdateien"), right)->hide();
        check(p, XPMenCheckBox, "XPMenCheckBox", QStringLiteral("XP-Menüs"), right);
        check(p, XPContrCheckBox, "XPContrCheckBox", QStringLiteral("XP-Steuerelemente"), right);
        check(p, OAsBmpCheckBox, "OAsBmpCheckBox", QStringLiteral("Grafiken als Bitmap öffnen"), right);
        check(p, ExtGrEdtCheckBox, "ExtGrEdtCheckBox", QStringLiteral("Externer Grafikeditor"), right);
        check(p, ZKVisCheckBox, "ZKVisCheckBox", QStringLiteral("Zelkora nach dem Scan zeigen"), right);
        button(p, SetGrEdtButton, "SetGrEdtButton", QStringLiteral("Editor &wählen..."));
        button(p, ShlExtTypeButton, "ShlExtTypeButton", QStringLiteral("&Shell-Einstellungen..."));
        right->addWidget(SetGrEdtButton);
        right->addWidget(ShlExtTypeButton);
        colors(p, CColorComboBox, "CColorComboBox");
        colors(p, SColorComboBox, "SColorComboBox");
        left->addWidget(label(p, "CColorLabel", QStringLiteral("Hintergrundfarbe:"), CColorComboBox));
        left->addWidget(CColorComboBox);
        left->addWidget(label(p, "SColorLabel", QStringLiteral("Hintergrund der Formen:"), SColorComboBox));
        left->addWidget(SColorComboBox);
        left->addStretch(1);
        right->addStretch(1);
        grid->addLayout(left, 0, 0);
        grid->addLayout(right, 0, 1);
        stdMenu(this, ProgPopupMenu, "ProgPopupMenu", "StandardButton", p);
        MinKindMenuItem = ProgPopupMenu->addAction(QStringLiteral("Animiertes Minimieren..."));
        MinKindMenuItem->setObjectName(QStringLiteral("MinKindMenuItem"));
    }

    // 2 Scannen
    p = page("ScanTabSheet", QStringLiteral("Scannen"));
    {
        auto *grid = new QGridLayout(p);
        ScanToolListBox = new QListWidget(p);
        ScanToolListBox->setObjectName(QStringLiteral("ScanToolListBox"));
        ScanToolListBox->setMouseTracking(true);
        ScanToolListBox->addItems({QStringLiteral("Rechteck"), QStringLiteral("Dreieck"),
                                   QStringLiteral("Rundeck (Gerundetes Rechteck)"), QStringLiteral("Ellipse"),
                                   QStringLiteral("Objekt"), QStringLiteral("Gesamter Desktop"),
                                   QStringLiteral("Nach Koordinaten"), QStringLiteral("AVI-Sequenz"),
                                   QStringLiteral("Windowselement unter dem Cursor"), QStringLiteral("Twainquelle"),
                                   QStringLiteral("Dateien"), QStringLiteral("Scannen nach Text"),
                                   QStringLiteral("Remote-PC")});
        auto *left = new QVBoxLayout;
        left->addWidget(label(p, "ScanToolLabel", QStringLiteral("Scan-&Werkzeug:"), ScanToolListBox));
        left->addWidget(ScanToolListBox, 1);
        left->addWidget(button(p, ScanPrevBitBtn, "ScanPrevBitBtn", QStringLiteral("&Testen...")));
        left->addWidget(label(p, "LFaktorLabel", QStringLiteral("Lupenfaktor:")));
        left->addWidget(upDown(p, LFaktorEdit, "LFaktorEdit", LFaktorUpDown, "LFaktorUpDown", 1, 10));
        auto *right = new QVBoxLayout;
        check(p, LoupeCheckBox, "LoupeCheckBox", QStringLiteral("Lupe"), right);
        check(p, MinimizeCheckBox, "MinimizeCheckBox", QStringLiteral("Nach dem Scan minimieren"), right);
        check(p, SCrossCheckBox, "SCrossCheckBox", QStringLiteral("Fadenkreuz"), right);
        check(p, SoundCheckBox, "SoundCheckBox", QStringLiteral("Scan-Geräusch"), right);
        check(p, ZKWinCheckBox, "ZKWinCheckBox", QStringLiteral("Mit Zelkora-Fenster"), right);
        check(p, WithMouseCheckBox, "WithMouseCheckBox", QStringLiteral("Mit Mauszeiger"), right);
        check(p, CtrlScanInStatbarCheckBox, "CtrlScanInStatbarCheckBox",
              QStringLiteral("Steuerelement-Scan in der Statusleiste"), right);
        check(p, ClpbrdCheckBox, "ClpbrdCheckBox", QStringLiteral("In die Zwischenablage"), right);
        check(p, SResDelCheckBox, "SResDelCheckBox", QStringLiteral("Letztes Textergebnis löschen"), right);
        check(p, CurHintCheckBox, "CurHintCheckBox", QStringLiteral("Koordinaten am Cursor"), right);
        check(p, FillShapeCheckBox, "FillShapeCheckBox", QStringLiteral("Formen füllen"), right)->hide();
        combo(p, ScanBComboBox, "ScanBComboBox", {QStringLiteral("Gestrichelt"), QStringLiteral("Durchgehend")});
        combo(p, ScanBFComboBox, "ScanBFComboBox",
              {QStringLiteral("Normal"), QStringLiteral("Stark"), QStringLiteral("Sehr stark")});
        combo(p, DelayComboBox, "DelayComboBox", DelayItems());
        button(p, OtherValButton, "OtherValButton", QStringLiteral("..."));
        QStringList sounds;
        for (int i = 1; i <= 10; ++i)
            sounds << QStringLiteral("Soundfile %1").arg(i);
        combo(p, SndFleComboBox, "SndFleComboBox", sounds);
        button(p, SndTestBitBtn, "SndTestBitBtn", QStringLiteral("Test"));
        right->addWidget(label(p, "ScanBLabel", QStringLiteral("Rahmen:"), ScanBComboBox));
        right->addLayout(rowOf({ScanBComboBox, ScanBFComboBox}));
        right->addWidget(label(p, "DelayLabel", QStringLiteral("Verzögerung (ms):"), DelayComboBox));
        right->addLayout(rowOf({DelayComboBox, OtherValButton}));
        right->addWidget(label(p, "SndFleLabel", QStringLiteral("Geräusch:"), SndFleComboBox));
        right->addLayout(rowOf({SndFleComboBox, SndTestBitBtn}));
        right->addStretch(1);
        grid->addLayout(left, 0, 0);
        grid->addLayout(right, 0, 1);
        stdMenu(this, ScanPopupMenu, "ScanPopupMenu", "ScanStdMenuItem", p);
    }

    // 3 Grafikviewer
    p = page("ViewerTabSheet", QStringLiteral("Grafikviewer"));
    {
        auto *v = new QVBoxLayout(p);
        v->addWidget(radios(p, ProgRadioGroup, "ProgRadioGroup", QStringLiteral("Anzeigen mit"),
                            {QStringLiteral("Explorer"), QStringLiteral("Externes Programm")}));
        history(p, ExplorerHistoryCombo, "ExplorerHistoryCombo", "ImgPath");
        button(p, ExpPathBitBtn, "ExpPathBitBtn", QStringLiteral("..."))->setProperty("Tag", 1);
        history(p, ExtProgHistoryCombo, "ExtProgHistoryCombo", "ExtProgPath");
        button(p, ExtProgBitBtn, "ExtProgBitBtn", QStringLiteral("..."));
        v->addWidget(label(p, "ExplorerLabel", QStringLiteral("Verzeichnis:"), ExplorerHistoryCombo));
        v->addLayout(pathRow(ExplorerHistoryCombo, ExpPathBitBtn));
        v->addWidget(label(p, "ExtProgLabel", QStringLiteral("Programm:"), ExtProgHistoryCombo));
        v->addLayout(pathRow(ExtProgHistoryCombo, ExtProgBitBtn));
        v->addStretch(1);
        stdMenu(this, ExternPopupMenu, "ExternPopupMenu", "Standard1", p);
    }

    // 4 Hotkeys
    p = page("HotkeyTabSheet", QStringLiteral("Hotkeys"));
    {
        auto *v = new QVBoxLayout(p);
        auto *panel = new QWidget(p);
        panel->setObjectName(QStringLiteral("HotkeyPanel"));
        auto *grid = new QGridLayout(panel);
        QStringList keys;
        for (const char *c = kHotKeyLetters; *c; ++c)
            keys << QStringLiteral("STRG + %1").arg(QLatin1Char(*c));
        static const char *const labels[6] = {"Scannen aktives &Fenster:", "Scannen Desk&top:",
                                              "Scannen &variabler Bereich:", "Zelkora &Popup:",
                                              "Time&Scan umschalten:", "Maus&zeiger einfügen:"};
        for (int i = 0; i < 6; ++i) {
            const QByteArray name = QByteArray("HK") + QByteArray::number(i + 1) + "ComboBox";
            combo(panel, HKComboBoxes[size_t(i)], name.constData(), keys)->setProperty("Tag", i + 1);
            const QByteArray lname = QByteArray("HK") + QByteArray::number(i + 1) + "Label";
            grid->addWidget(label(panel, lname.constData(), QString::fromUtf8(labels[i]), HKComboBoxes[size_t(i)]),
                            i, 0);
            grid->addWidget(HKComboBoxes[size_t(i)], i, 1);
        }
        v->addWidget(panel);
        check(p, SysKeyCheckBox, "SysKeyCheckBox", QStringLiteral("Systemweite Hotkeys"), v);
        check(p, SndPicExtGrEdtCheckBox, "SndPicExtGrEdtCheckBox",
              QStringLiteral("Hotkey-Bilder an den externen Editor"), v);
        button(p, SetGrEdt2Button, "SetGrEdt2Button", QStringLiteral("Editor &wählen..."));
        button(p, MPSetButton, "MPSetButton", QStringLiteral("Mauszeiger..."));
        v->addLayout(rowOf({SetGrEdt2Button, MPSetButton}));
        SaveStatStaticText = label(p, "SaveStatStaticText", QString());
        SaveStatStaticText->setCursor(Qt::PointingHandCursor);
        SaveStatStaticText->installEventFilter(this);
        v->addWidget(SaveStatStaticText);
        v->addStretch(1);
        stdMenu(this, HotkeyPopupMenu, "HotkeyPopupMenu", "HotkeyStdMenuItem", panel);
    }

    // 5 Skript
    p = page("ScriptTabSheet", QStringLiteral("Skript"));
    {
        auto *v = new QVBoxLayout(p);
        ScriptCheckListBox = new QListWidget(p);
        ScriptCheckListBox->setObjectName(QStringLiteral("ScriptCheckListBox"));
        v->addWidget(label(p, "ScriptLabel", QStringLiteral("Aktives Skript:"), ScriptCheckListBox));
        v->addWidget(ScriptCheckListBox, 1);
    }

    // 6 Drucken
    p = page("PrintTabSheet", QStringLiteral("Drucken"));
    {
        auto *v = new QVBoxLayout(p);
        QVBoxLayout *gv = nullptr;
        auto *group = groupBox(p, "PrintGroupBox", QStringLiteral("Drucken nach dem Scan"), gv);
        check(group, AutoPrintCheckBox, "AutoPrintCheckBox", QStringLiteral("Automatisch drucken"), gv);
        check(group, DateCheckBox, "DateCheckBox", QStringLiteral("Datum"), gv);
        check(group, TimeCheckBox, "TimeCheckBox", QStringLiteral("Uhrzeit"), gv);
        check(group, UsNameCheckBox, "UsNameCheckBox", QStringLiteral("Benutzername"), gv);
        history(group, FeetTextHistoryCombo, "FeetTextHistoryCombo", "PrintText");
        gv->addWidget(label(group, "FeetTextLabel", QStringLiteral("Fußzeile:"), FeetTextHistoryCombo));
        gv->addWidget(FeetTextHistoryCombo);
        PrFontStaticText = label(group, "PrFontStaticText", QString());
        FontGrStaticText = label(group, "FontGrStaticText", QString());
        button(group, FontButton, "FontButton", QStringLiteral("&Schrift..."));
        gv->addLayout(rowOf({PrFontStaticText, FontGrStaticText, FontButton}));
        gv->addWidget(label(group, "BorderWidthLabel", QStringLiteral("Rahmenbreite:")));
        gv->addWidget(upDown(group, BorderWidthEdit, "BorderWidthEdit", BorderWidthUpDown, "BorderWidthUpDown", 0, 25));
        v->addWidget(group);
        v->addLayout(rowOf({radios(p, DocAlignRadioGroup, "DocAlignRadioGroup", QStringLiteral("Ausrichtung"),
                                   {QStringLiteral("Horizontal"), QStringLiteral("Vertikal")}),
                            radios(p, GrAlignRadioGroup, "GrAlignRadioGroup", QStringLiteral("Grafik"),
                                   {QStringLiteral("Linker Seitenrand"), QStringLiteral("Seitenmitte")})}));
        check(p, PrPrevMaxCheckBox, "PrPrevMaxCheckBox", QStringLiteral("Druckvorschau maximiert"), v);
        combo(p, PrintersComboBox, "PrintersComboBox", {});
        v->addWidget(label(p, "PrintersLabel", QStringLiteral("Drucker:"), PrintersComboBox));
        v->addWidget(PrintersComboBox);
        v->addStretch(1);
        stdMenu(this, PrintPopupMenu, "PrintPopupMenu", "Standardwerte1", group);
    }

    // 7 TimeScan
    p = page("TimeScanTabSheet", QStringLiteral("TimeScan"));
    {
        auto *v = new QVBoxLayout(p);
        QVBoxLayout *gv = nullptr;
        auto *group = groupBox(p, "TimeScanGroupBox", QStringLiteral("Zeitgesteuerter Scan"), gv);
        check(group, TimeScanCheckBox, "TimeScanCheckBox", QStringLiteral("TimeScan starten"), gv);
        gv->addWidget(radios(group, ScDestRadioGroup, "ScDestRadioGroup", QStringLiteral("Ziel"),
                             {QStringLiteral("Gesamter Desktop"), QStringLiteral("Aktives Fenster")}));
        SecScanGroupBox = new QGroupBox(QStringLiteral("Abstand in Sekunden"), group);
        SecScanGroupBox->setObjectName(QStringLiteral("SecScanGroupBox"));
        (new QVBoxLayout(SecScanGroupBox))
            ->addWidget(upDown(SecScanGroupBox, SecEdit, "SecEdit", SecUpDown, "SecUpDown", 1, 120));
        CountScanGroupBox = new QGroupBox(QStringLiteral("Anzahl der Scans"), group);
        CountScanGroupBox->setObjectName(QStringLiteral("CountScanGroupBox"));
        (new QVBoxLayout(CountScanGroupBox))
            ->addWidget(upDown(CountScanGroupBox, CountEdit, "CountEdit", CountUpDown, "CountUpDown", 1, 9999));
        gv->addWidget(SecScanGroupBox);
        gv->addWidget(CountScanGroupBox);
        v->addWidget(group);
        v->addStretch(1);
        stdMenu(this, TimeScanPopupMenu, "TimeScanPopupMenu", "Standardwerte2", group);
    }

    // 8 AVI
    p = page("AviTabSheet", QStringLiteral("AVI"));
    {
        auto *v = new QVBoxLayout(p);
        QVBoxLayout *gv = nullptr;
        auto *group = groupBox(p, "AviGroupBox", QStringLiteral("Video"), gv);
        gv->addLayout(rowOf({radios(group, PixValRadioGroup, "PixValRadioGroup", QStringLiteral("Größe"),
                                    {QStringLiteral("240 x 300"), QStringLiteral("480 x 600"),
                                     QStringLiteral("800 x 600"), QStringLiteral("1024 x 768"),
                                     QStringLiteral("1152 x 864")}),
                             radios(group, AviFrInitRadioGroup, "AviFrInitRadioGroup", QStringLiteral("Rahmen am"),
                                    {QStringLiteral("Desktop-Ursprung"), QStringLiteral("Desktop-Mitte")})}));
        history(group, TmpAviHistoryCombo, "TmpAviHistoryCombo", "TmpAviPath")->setProperty("Tag", 0);
        button(group, TmpAviPathBitBtn, "TmpAviPathBitBtn", QStringLiteral("..."))->setProperty("Tag", 2);
        history(group, AftEdtHistoryCombo, "AftEdtHistoryCombo", "AviCopyPath")->setProperty("Tag", 1);
        button(group, AfterEdtPathBitBtn, "AfterEdtPathBitBtn", QStringLiteral("..."))->setProperty("Tag", 3);
        gv->addWidget(label(group, "TmpAviLabel", QStringLiteral("Verzeichnis der Einzelbilder:"), TmpAviHistoryCombo));
        gv->addLayout(pathRow(TmpAviHistoryCombo, TmpAviPathBitBtn));
        check(group, TmpAviDelCheckBox, "TmpAviDelCheckBox", QStringLiteral("Einzelbilder danach löschen"), gv);
        gv->addWidget(label(group, "AftEdtLabel", QStringLiteral("Kopie nach der Bearbeitung:"), AftEdtHistoryCombo));
        gv->addLayout(pathRow(AftEdtHistoryCombo, AfterEdtPathBitBtn));
        check(group, AftEdtCheckBox, "AftEdtCheckBox", QStringLiteral("Einzelbilder kopieren"), gv);
        check(group, AviStretchCheckBox, "AviStretchCheckBox", QStringLiteral("Strecken"), gv);
        check(group, MoveGrabCheckBox, "MoveGrabCheckBox", QStringLiteral("Rahmen verschiebbar"), gv);
        check(group, NoTSoundCheckBox, "NoTSoundCheckBox", QStringLiteral("Ohne Zeitgeber-Geräusch"), gv);
        gv->addWidget(label(group, "AviFrameTimeLabel", QStringLiteral("Bilder pro Sekunde:")));
        gv->addWidget(upDown(group, AviFrameTimeEdit, "AviFrameTimeEdit", AviFrameTimeUpDown, "AviFrameTimeUpDown",
                             1, 100));
        gv->addWidget(label(group, "AviTimerLabel", QStringLiteral("Aufnahme-Intervall (ms):")));
        gv->addWidget(upDown(group, AviTimerEdit, "AviTimerEdit", AviTimerUpDown, "AviTimerUpDown", 100, 10000));
        AviTimerUpDown->SetIncrement(100);
        v->addWidget(group);
        v->addStretch(1);
        stdMenu(this, AviStdPopupMenu, "AviStdPopupMenu", "AviStdValMenuItem", group);
    }

    // 9 Sichern
    p = page("SaveTabSheet", QStringLiteral("Sichern"));
    {
        auto *grid = new QGridLayout(p);
        QVBoxLayout *gifv = nullptr;
        auto *gif = groupBox(p, "GifGroupBox", QStringLiteral("GIF"), gifv);
        gifv->addWidget(radios(gif, GifCompRadioGroup, "GifCompRadioGroup", QStringLiteral("Kompression"),
                               {QStringLiteral("LZW"), QStringLiteral("RLE")}));
        gifv->addWidget(radios(gif, GifDithRadioGroup, "GifDithRadioGroup", QStringLiteral("Dithering"),
                               {QStringLiteral("Nächste Farbe"), QStringLiteral("Fehlerstreuung")}));
        gifv->addWidget(button(gif, ColOptButton, "ColOptButton", QStringLiteral("&Farboptimierung...")));
        QVBoxLayout *jpgv = nullptr;
        auto *jpg = groupBox(p, "JpgGroupBox", QStringLiteral("JPG"), jpgv);
        jpgv->addWidget(radios(jpg, PixFormRadioGroup, "PixFormRadioGroup", QStringLiteral("Farbtiefe"),
                               {QStringLiteral("24 Bit"), QStringLiteral("8 Bit")}));
        jpgv->addWidget(radios(jpg, ColSpaceRadioGroup, "ColSpaceRadioGroup", QStringLiteral("Farbraum"),
                               {QStringLiteral("RGB"), QStringLiteral("Graustufen")}));
        jpgv->addWidget(radios(jpg, PerformRadioGroup, "PerformRadioGroup", QStringLiteral("Ausführung"),
                               {QStringLiteral("Qualität"), QStringLiteral("Geschwindigkeit")}));
        check(jpg, ProgEncCheckBox, "ProgEncCheckBox", QStringLiteral("Progressiv"), jpgv);
        check(jpg, IncDispCheckBox, "IncDispCheckBox", QStringLiteral("Schrittweise anzeigen"), jpgv);
        check(jpg, CompressCheckBox, "CompressCheckBox", QStringLiteral("Komprimieren"), jpgv);
        QVBoxLayout *bmpv = nullptr;
        auto *bmp = groupBox(p, "BmpGroupBox", QStringLiteral("Bitmap"), bmpv);
        bmpv->addWidget(combo(bmp, BmpPxFormComboBox, "BmpPxFormComboBox",
                              {QStringLiteral("Device"), QStringLiteral("1 Bit"), QStringLiteral("4 Bit"),
                               QStringLiteral("8 Bit"), QStringLiteral("15 Bit"), QStringLiteral("16 Bit"),
                               QStringLiteral("24 Bit"), QStringLiteral("32 Bit")}));
        check(bmp, MonoChrCheckBox, "MonoChrCheckBox", QStringLiteral("Monochrom"), bmpv);
        bmpv->addStretch(1);
        grid->addWidget(gif, 0, 0);
        grid->addWidget(jpg, 0, 1, 2, 1);
        grid->addWidget(bmp, 1, 0);
        stdMenu(this, GifPopupMenu, "GifPopupMenu", "GIFStdValsMenuItem", gif);
        stdMenu(this, JpgPopupMenu, "JpgPopupMenu", "JPGStdValsMenuItem", jpg);
        stdMenu(this, BmpPopupMenu, "BmpPopupMenu", "BmpStdValMenuItem", bmp);
    }

    // 10 Sprache
    p = page("LangTabSheet", QStringLiteral("Sprache"));
    {
        auto *v = new QVBoxLayout(p);
        v->addWidget(radios(p, LangRadioGroup, "LangRadioGroup", QStringLiteral("Sprache"),
                            {QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Italiano"),
                             QStringLiteral("Español"), QStringLiteral("Français")}));
        v->addStretch(1);
    }

    // 11 Sonstige
    p = page("OtherTabSheet", QStringLiteral("Sonstige"));
    {
        auto *grid = new QGridLayout(p);
        QVBoxLayout *mv = nullptr;
        auto *mail = groupBox(p, "MailGroupBox", QStringLiteral("E-Mail"), mv);
        mv->addWidget(radios(mail, SendServiceRadioGroup, "SendServiceRadioGroup", QStringLiteral("Versand"),
                             {QStringLiteral("MAPI"), QStringLiteral("SMTP"), QStringLiteral("Mail-Link (ohne Anhang)")}));
        check(mail, AttachCheckBox, "AttachCheckBox", QStringLiteral("Grafik als Anhang"), mv);
        check(mail, AttZipCheckBox, "AttZipCheckBox", QStringLiteral("Anhang gezippt"), mv);
        mv->addWidget(radios(mail, AttachTypeRadioGroup, "AttachTypeRadioGroup", QStringLiteral("Anhang als"),
                             {QStringLiteral("BMP"), QStringLiteral("JPG")}));
        button(mail, CreateDirButton, "CreateDirButton", QString());
        button(mail, AttDirEmptyButton, "AttDirEmptyButton", QStringLiteral("Anhang-Verzeichnis leeren"));
        button(mail, SmtpConfButton, "SmtpConfButton", QStringLiteral("SMTP..."));
        button(mail, MapiConfigButton, "MapiConfigButton", QStringLiteral("MAPI..."));
        for (QWidget *w : std::initializer_list<QWidget *>{CreateDirButton, AttDirEmptyButton, SmtpConfButton,
                                                           MapiConfigButton})
            mv->addWidget(w);
        mv->addStretch(1);
        auto *right = new QVBoxLayout;
        right->addWidget(label(p, "LineWidthLabel", QStringLiteral("Linienbreite:")));
        right->addWidget(upDown(p, ZRLbEdit, "ZRLbEdit", LineWidthUpDown, "LineWidthUpDown", 1, 5));
        check(p, LineKindCheckBox, "LineKindCheckBox", QStringLiteral("Durchgehende Linie"), right);
        colors(p, LineColComboBox, "LineColComboBox");
        right->addWidget(label(p, "LineColLabel", QStringLiteral("Linienfarbe:"), LineColComboBox));
        right->addWidget(LineColComboBox);
        check(p, CoordHintCheckBox, "CoordHintCheckBox", QStringLiteral("Koordinaten anzeigen"), right);
        right->addWidget(label(p, "PenWidthLabel", QStringLiteral("Schriftgröße:")));
        right->addWidget(upDown(p, PenWidthEdit, "PenWidthEdit", PenWidthUpDown, "PenWidthUpDown", 6, 72));
        colors(p, PenColComboBox, "PenColComboBox");
        right->addWidget(label(p, "PenColLabel", QStringLiteral("Schriftfarbe:"), PenColComboBox));
        right->addWidget(PenColComboBox);
        combo(p, FontComboBox, "FontComboBox", {});
        FontComboBox->setItemDelegate(new TFontItemDelegate(FontComboBox));
        right->addWidget(label(p, "FontLabel", QStringLiteral("Schriftart:"), FontComboBox));
        right->addWidget(FontComboBox);
        right->addStretch(1);
        grid->addWidget(mail, 0, 0);
        grid->addLayout(right, 0, 1);
    }

    IntroCheckBox = new QCheckBox(QStringLiteral("Startbild anzeigen"), this);
    IntroCheckBox->setObjectName(QStringLiteral("IntroCheckBox"));
    button(this, HelpBitBtn, "HelpBitBtn", QStringLiteral("&Hilfe"));
    button(this, OkButton, "OkButton", QStringLiteral("OK"))->setProperty("Tag", 0);
    button(this, CancelButton, "CancelButton", QStringLiteral("Abbrechen"))->setProperty("Tag", 1);
    OkButton->setDefault(true);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(IntroCheckBox);
    bottom->addStretch(1);
    bottom->addWidget(HelpBitBtn);
    bottom->addWidget(OkButton);
    bottom->addWidget(CancelButton);
    auto *main = new QVBoxLayout(this);
    main->addWidget(OptionPageControl, 1);
    main->addLayout(bottom);

    ZKStdSettsPopupMenu = new QMenu(this);
    ZKStdSettsPopupMenu->setObjectName(QStringLiteral("ZKStdSettsPopupMenu"));
    ZKStdSettsPopupMenu->addAction(QStringLiteral("Zelkora Standard-Einstellungen"))
        ->setObjectName(QStringLiteral("ZKStdMenuItem"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ZKStdSettsPopupMenu->popup(mapToGlobal(pos)); });
    // Watched before any control sees it: a text field would otherwise open
    // its own menu on the key.
    qApp->installEventFilter(new TMenuKeyWatch(this, [this] { ZKStdMenuItemClick(); }));
}

void TOptionDlgBMForm::wire()
{
    const auto menu = [this](QMenu *m, const char *item, void (TOptionDlgBMForm::*handler)()) {
        QAction *a = m->findChild<QAction *>(QString::fromLatin1(item));
        if (!a) // the actions of a menu are its children
            for (QAction *x : m->actions())
                if (x->objectName() == QLatin1String(item))
                    a = x;
        connect(a, &QAction::triggered, this, handler);
    };
    menu(FilesPopupMenu, "FilesStdMenuItem", &TOptionDlgBMForm::FilesStdMenuItemClick);
    menu(ProgPopupMenu, "StandardButton", &TOptionDlgBMForm::StandardButtonClick);
    menu(ScanPopupMenu, "ScanStdMenuItem", &TOptionDlgBMForm::ScanStdMenuItemClick);
    menu(ExternPopupMenu, "Standard1", &TOptionDlgBMForm::Standard1Click);
    menu(HotkeyPopupMenu, "HotkeyStdMenuItem", &TOptionDlgBMForm::HotkeyStdMenuItemClick);
    menu(PrintPopupMenu, "Standardwerte1", &TOptionDlgBMForm::Standardwerte1Click);
    menu(TimeScanPopupMenu, "Standardwerte2", &TOptionDlgBMForm::Standardwerte2Click);
    menu(AviStdPopupMenu, "AviStdValMenuItem", &TOptionDlgBMForm::AviStdValMenuItemClick);
    menu(GifPopupMenu, "GIFStdValsMenuItem", &TOptionDlgBMForm::GIFStdValsMenuItemClick);
    menu(JpgPopupMenu, "JPGStdValsMenuItem", &TOptionDlgBMForm::JPGStdValsMenuItemClick);
    menu(BmpPopupMenu, "BmpStdValMenuItem", &TOptionDlgBMForm::BmpStdValMenuItemClick);
    menu(ZKStdSettsPopupMenu, "ZKStdMenuItem", &TOptionDlgBMForm::ZKStdMenuItemClick);
    connect(MinKindMenuItem, &QAction::triggered, this, &TOptionDlgBMForm::MinKindMenuItemClick);

    const auto click = [this](QAbstractButton *b, void (TOptionDlgBMForm::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, handler);
    };
    const auto clickSender = [this](QAbstractButton *b, void (TOptionDlgBMForm::*handler)(QObject *)) {
        connect(b, &QAbstractButton::clicked, this, [this, b, handler] { (this->*handler)(b); });
    };
    click(LoupeCheckBox, &TOptionDlgBMForm::LoupeCheckBoxClick);
    click(PersSaveCheckBox, &TOptionDlgBMForm::PersSaveCheckBoxClick);
    for (QPushButton *b : {PathBitBtn, ExpPathBitBtn, TmpAviPathBitBtn, AfterEdtPathBitBtn})
        clickSender(b, &TOptionDlgBMForm::PathButtonClick);
    connect(OptionPageControl, &QTabWidget::currentChanged, this, &TOptionDlgBMForm::OptionPageControlChange);
    click(OtherValButton, &TOptionDlgBMForm::OtherValButtonClick);
    for (QComboBox *c : HKComboBoxes) {
        c->installEventFilter(this);
        // Remembered at every change, so a key chosen by keyboard is restored
        // as reliably as one chosen from the list.
        connect(c, &QComboBox::activated, this, [this, c] { HK1ComboBoxChange(c); });
        c->setProperty("LastIndex", -1);
    }
    click(SysKeyCheckBox, &TOptionDlgBMForm::SysKeyCheckBoxClick);
    click(ExtProgBitBtn, &TOptionDlgBMForm::ExtProgButtonClick);
    connect(ProgRadioGroup, &TRadioGroup::Clicked, this, &TOptionDlgBMForm::ProgRadioGroupClick);
    connect(ScanToolListBox, &QListWidget::entered, this,
            [this](const QModelIndex &i) { ScanToolListBoxMouseMove(i.row()); });
    connect(ScanToolListBox, &QListWidget::currentRowChanged, this, &TOptionDlgBMForm::ScanToolListBoxClick);
    connect(ScanBFComboBox, &QComboBox::activated, this, &TOptionDlgBMForm::ScanBFComboBoxChange);
    connect(ScanBComboBox, &QComboBox::activated, this, &TOptionDlgBMForm::ScanBComboBoxChange);
    click(HelpBitBtn, &TOptionDlgBMForm::HelpButtonClick);
    click(ScanPrevBitBtn, &TOptionDlgBMForm::TestBorderButtonClick);
    connect(ScriptCheckListBox, &QListWidget::itemChanged, this, &TOptionDlgBMForm::ScriptCheckListBoxClickCheck);
    connect(ScriptCheckListBox, &QListWidget::itemDoubleClicked, this, &TOptionDlgBMForm::ScriptCheckListBoxDblClick);
    ScriptCheckListBox->installEventFilter(this);
    click(FontButton, &TOptionDlgBMForm::FontButtonClick);
    click(ColOptButton, &TOptionDlgBMForm::ColOptButtonClick);
    click(MPSetButton, &TOptionDlgBMForm::MPSetButtonClick);
    clickSender(TmpAviDelCheckBox, &TOptionDlgBMForm::TmpAviDelCheckBoxClick);
    clickSender(AftEdtCheckBox, &TOptionDlgBMForm::TmpAviDelCheckBoxClick);
    for (THistoryCombo *c : {TmpAviHistoryCombo, AftEdtHistoryCombo})
        connect(c, &QComboBox::editTextChanged, this, [this, c] { TmpAviHistoryComboChange(c); });
    clickSender(StatBarCheckBox, &TOptionDlgBMForm::OnePartStatBarCheckBoxClick);
    clickSender(OnePartStatBarCheckBox, &TOptionDlgBMForm::OnePartStatBarCheckBoxClick);
    click(StatHintsCheckBox, &TOptionDlgBMForm::StatHintsCheckBoxClick);
    click(ShlExtTypeButton, &TOptionDlgBMForm::ShlExtTypeButtonClick);
    for (QRadioButton *r : {AiRadioButton, DteTmeRadioButton, MiRadioButton})
        click(r, &TOptionDlgBMForm::MiRadioButtonClick);
    click(SoundCheckBox, &TOptionDlgBMForm::SoundCheckBoxClick);
    connect(SndFleComboBox, &QComboBox::activated, this, &TOptionDlgBMForm::SndFleComboBoxChange);
    click(SndTestBitBtn, &TOptionDlgBMForm::SndTestButtonClick);
    connect(SoundTestTimer, &QTimer::timeout, this, [this] {
        SelectSoundFile(SoundFileNrCopy);
        SndFleComboBox->setCurrentIndex(SoundFileNrCopy);
    });
    clickSender(SetGrEdtButton, &TOptionDlgBMForm::ExtGrEdtMenuItemClick);
    clickSender(SetGrEdt2Button, &TOptionDlgBMForm::ExtGrEdtMenuItemClick);
    click(ExtGrEdtCheckBox, &TOptionDlgBMForm::ExtGrEdtCheckBoxClick);
    click(SndPicExtGrEdtCheckBox, &TOptionDlgBMForm::SndPicExtGrEdtCheckBoxClick);
    connect(AviFrInitRadioGroup, &TRadioGroup::Clicked, this, &TOptionDlgBMForm::AviFrInitRadioGroupClick);
    click(TNACheckBox, &TOptionDlgBMForm::TNACheckBoxClick);
    click(FileExpCheckBox, &TOptionDlgBMForm::FileExpCheckBoxClick);
    connect(SendServiceRadioGroup, &TRadioGroup::Clicked, this, &TOptionDlgBMForm::SendServiceRadioGroupClick);
    click(CreateDirButton, &TOptionDlgBMForm::AttachDirCheckBoxClick);
    click(AttDirEmptyButton, &TOptionDlgBMForm::AttDirEmptyButtonClick);
    click(SmtpConfButton, &TOptionDlgBMForm::SmtpConfButtonClick);
    click(MapiConfigButton, &TOptionDlgBMForm::MapiConfigButtonClick);
    connect(LineWidthUpDown, &TEditUpDown::Changed, this, &TOptionDlgBMForm::LineWidthUpDownClick);
    connect(ZRLbEdit, &QLineEdit::textChanged, this, &TOptionDlgBMForm::LineWidthUpDownClick);
    connect(PenWidthEdit, &QLineEdit::editingFinished, this, &TOptionDlgBMForm::PenWidthEditExit);
    click(AttachCheckBox, &TOptionDlgBMForm::AttachCheckBoxClick);
    clickSender(OkButton, &TOptionDlgBMForm::OkButtonClick);
    clickSender(CancelButton, &TOptionDlgBMForm::OkButtonClick);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QString TOptionDlgBMForm::text(const char *key, const QString &fallback) const
{
    const QString t = OptionMultiLanguage->GetText(QString::fromLatin1(key));
    return t.isEmpty() ? fallback : t;
}

void TOptionDlgBMForm::message(const char *key, const QString &fallback, const QString &suffix)
{
    if (Prompts.Message)
        Prompts.Message(QString::fromLatin1(key), text(key, fallback) + suffix);
}

void TOptionDlgBMForm::SetLanguage(const QStringList &Script, int LangIdx)
{
    LanguageIndex = LangIdx;
    TBaseModalForm::SetLanguage(Script, LangIdx);
}

void TOptionDlgBMForm::notWholeNumber(const QString &typed)
{
    // The text ends in ": ", the typed value follows it.
    message("showmsg_except_no_int", QStringLiteral("Keine gültige ganze Zahl: "), typed);
}

QString TOptionDlgBMForm::HelpPage(int page)
{
    if (page < 0 || page >= 12)
        return {};
    return HelpPageFile(QString::fromLatin1(kHelpPages[page]));
}

void TOptionDlgBMForm::FontComboBoxDrawItem(QPainter &canvas, const QStyleOptionViewItem &option,
                                            const QString &family)
{
    const bool selected = option.state & QStyle::State_Selected;
    canvas.fillRect(option.rect, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    QFont f(family);
    f.setPointSizeF(option.font.pointSizeF());
    canvas.setFont(f);
    canvas.setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    canvas.drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, family);
}

QString TOptionDlgBMForm::DefaultFooter()
{
    return QStringLiteral("Zelkora 5.0");
}

// ---------------------------------------------------------------------------
// Opening and closing

void TOptionDlgBMForm::FormCreate()
{
    if (!LoupeCheckBox->isChecked()) {
        LFaktorUpDown->setEnabled(false);
        LFaktorEdit->setEnabled(false);
    }
    HelpBitBtn->setEnabled(!HelpPage(0).isEmpty());
    for (QLineEdit *e : {LFaktorEdit, SecEdit, CountEdit, AviFrameTimeEdit, AviTimerEdit, ZRLbEdit, PenWidthEdit})
        MakeEditNumeric(e);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int width = screen ? screen->geometry().width() : 1920;
    for (int i : AviSizesTooWide(width))
        PixValRadioGroup->Button(i)->setEnabled(false);
    AutoPrintCheckBox->setEnabled(TXPrint().PrinterExists());
    SndFleComboBox->setEnabled(SoundCheckBox->isChecked());
    SndTestBitBtn->setEnabled(SoundCheckBox->isChecked());
    EnableAutoSaveControls(PersSaveCheckBox->isChecked());
    RestartWanted = false;
    FontComboBox->addItems(QFontDatabase::families());
    AttZipCheckBox->setEnabled(QFileInfo::exists(ProgramDir() + QString::fromLatin1(modules::kZipModule)) &&
                               AttachCheckBox->isChecked());
    // The dialogs of a later part: their openers stay off until they exist.
    const TOptionSubDialogs &sub = OptionSubDialogs();
    ColOptButton->setEnabled(bool(sub.GifColOpt));
    ShlExtTypeButton->setEnabled(bool(sub.ShellExt));
    MinKindMenuItem->setEnabled(bool(sub.MinKind));
    for (QWidget *w : std::initializer_list<QWidget *>{ExtGrEdtCheckBox, SndPicExtGrEdtCheckBox, SetGrEdtButton,
                                                       SetGrEdt2Button, ZKVisCheckBox})
        w->setEnabled(bool(sub.GraphEditor));
    ScanPrevBitBtn->setEnabled(bool(sub.ScanTest));
}

void TOptionDlgBMForm::FormShow()
{
    if (!QFileInfo::exists(ProgramDir() + QStringLiteral("ZK5.ini")) && ScanToolListBox->count() > 12) {
        // A stored remote capture stays stored rather than becoming the item before it.
        if (ScanToolListBox->currentRow() == 12)
            ScanToolListBox->setCurrentRow(-1);
        delete ScanToolListBox->takeItem(12);
    }
    CreateDirButton->setText(AttachDirCopy ? text("caption_destroy_dirlink", QStringLiteral("Anhang-Verzeichnis entfernen"))
                                           : text("caption_create_dirlink", QStringLiteral("Anhang-Verzeichnis anlegen")));
    if (StartPage != -1)
        setPage(StartPage);
}

void TOptionDlgBMForm::FormActivate()
{
    if (StartPage == 1)
        ExtGrEdtMenuItemClick(SetGrEdtButton);
    else if (StartPage == 4)
        ExtGrEdtMenuItemClick(SetGrEdt2Button);
}

void TOptionDlgBMForm::showEvent(QShowEvent *e)
{
    TBaseModalForm::showEvent(e);
    if (!m_activated) {
        m_activated = true;
        FormShow();
        // After the dialog is up, as the user sees it.
        QTimer::singleShot(0, this, &TOptionDlgBMForm::FormActivate);
    }
}

void TOptionDlgBMForm::setPage(int page)
{
    if (page >= 0 && page < OptionPageControl->count())
        OptionPageControl->setCurrentIndex(page);
}

void TOptionDlgBMForm::OkButtonClick(QObject *Sender)
{
    OkPressed = Sender && Sender->property("Tag").toInt() == 0;
}

void TOptionDlgBMForm::FormCloseQuery(bool &CanClose)
{
    CanClose = true;
    if (OkPressed)
        CanClose = CheckGraphEditor();
    if (!CanClose)
        ValidateEntries();
}

void TOptionDlgBMForm::done(int r)
{
    if (r == QDialog::Accepted) {
        bool canClose = true;
        FormCloseQuery(canClose);
        if (!canClose)
            return;
    } else {
        OkPressed = false;
    }
    // A sound test still waiting gives the stored sound back now.
    if (SoundTestTimer->isActive()) {
        SoundTestTimer->stop();
        SelectSoundFile(SoundFileNrCopy);
    }
    TBaseModalForm::done(r);
}

void TOptionDlgBMForm::closeEvent(QCloseEvent *e)
{
    OkPressed = false;
    TBaseModalForm::closeEvent(e);
}

bool TOptionDlgBMForm::CheckGraphEditor()
{
    bool result = true;
    if (ExtGrEdtPathCopy.isEmpty() && (ExtGrEdtCheckBox->isChecked() || SndPicExtGrEdtCheckBox->isChecked()))
        result = ChooseGraphEditor();
    if (PersSaveCheckBox->isChecked()) {
        if (!QFileInfo(PathHistoryCombo->currentText()).isDir())
            result = false;
        else if (FileNameHistoryCombo->currentText().isEmpty() && !MiRadioButton->isChecked())
            result = false;
    }
    return result;
}

int TOptionDlgBMForm::ValidateEntries()
{
    // Its own page switches must not run it a second time.
    const QScopedValueRollback guard(m_validating, true);
    int result = -1;
    if ((OptionPageControl->currentIndex() != 0 || OkPressed) && PersSaveCheckBox->isChecked()) {
        const bool folder = QFileInfo(PathHistoryCombo->currentText()).isDir();
        const bool noName = FileNameHistoryCombo->currentText().isEmpty();
        if (folder && noName && !MiRadioButton->isChecked()) {
            message("showmsg_no_filename", QStringLiteral("Bitte einen Dateinamen eingeben."));
            setPage(0);
            FileNameHistoryCombo->setFocus();
            result = 1;
        } else if (!folder) {
            if (noName)
                message("showmsg_please_cor_save_dir",
                        QStringLiteral("Bitte ein vorhandenes Verzeichnis und einen Dateinamen angeben."));
            else
                message("showmsg_please_cordir", QStringLiteral("Bitte ein vorhandenes Verzeichnis angeben."));
            setPage(0);
            PathHistoryCombo->setFocus();
            result = 0;
        }
    }
    if ((ExtGrEdtCheckBox->isChecked() || SndPicExtGrEdtCheckBox->isChecked()) &&
        !QFileInfo(ExtGrEdtPathCopy).isFile()) {
        message("showmsg_no_graphedt_define", QStringLiteral("Bitte einen externen Grafikeditor festlegen."));
        setPage(1);
        ChooseGraphEditor();
        result = 2;
    }
    return result;
}

bool TOptionDlgBMForm::ChooseGraphEditor()
{
    int modal = 0;
    if (OptionSubDialogs().GraphEditor) {
        QString path = ExtGrEdtPathCopy;
        modal = OptionSubDialogs().GraphEditor(this, path);
        if (modal == 1)
            ExtGrEdtPathCopy = path;
    }
    if (!ExtGrEdtPathCopy.isEmpty() && QFileInfo(ExtGrEdtPathCopy).isFile())
        return true;
    ExtGrEdtCheckBox->setChecked(false);
    SndPicExtGrEdtCheckBox->setChecked(false);
    ExtGrEdtPathCopy.clear();
    return modal != 1;
}

// ---------------------------------------------------------------------------
// Record and controls

void TOptionDlgBMForm::SetOptions(TZelkoraOptions o)
{
    for (const OptionBinding &b : OptionBindings()) {
        QObject *c = findChild<QObject *>(QString::fromLatin1(b.control));
        const OptionField *f = FindOptionField(b.field);
        if (!c || !f)
            continue;
        switch (b.rule) {
        case BindRule::Checked:
        case BindRule::Unchecked:
            qobject_cast<QAbstractButton *>(c)->setChecked((OptionIntValue(*f, o) != 0) == (b.rule == BindRule::Checked));
            break;
        case BindRule::ItemIndex:
            setIndex(c, UsableIndex(o, f->name));
            break;
        case BindRule::Position:
            qobject_cast<TEditUpDown *>(c)->SetPosition(int(OptionIntValue(*f, o)));
            break;
        case BindRule::Text:
            setText(c, *static_cast<QString *>(f->field(o)));
            break;
        }
    }
    // By hand.
    ScanDelayCopy = o.ScanDelay;
    while (DelayComboBox->count() > 11)
        DelayComboBox->removeItem(11);
    int delay = DelayItemFor(o.ScanDelay);
    if (delay < 0) {
        DelayComboBox->addItem(QString::number(o.ScanDelay));
        delay = 11;
    }
    DelayComboBox->setCurrentIndex(delay);
    ScriptName = o.Script;
    ScriptCopy = o.Script;
    FontGrStaticText->setText(QString::number(o.PrTextGrFont));
    TimeScanCheckBox->setChecked(false);
    FontNameCopy = o.FontName;
    FontComboBox->setCurrentIndex(FontComboBox->findText(o.FontName));
    SoundFileNrCopy = std::uint8_t(UsableIndex(o, "SoundFileNr"));
    GifColOptCopy = o.GifColOpt;
    HotkeyCursorCopy = o.HotkeyCursor;
    IEShellEntrysCopy = o.IEShellEntrys;
    AnimMinCopy = o.AnimMin;
    AnimCountCopy = o.AnimCount;
    AttachDirCopy = o.AttachDir;
    ExpDimPartsCopy = o.ExpDimParts;
    SmtpCopy = o.Smtp;
    MapiCopy = o.Mapi;
    ShellExtArCopy = o.ShellExtAr;
    ExtGrEdtPathCopy = o.ExtGrEdtPath;
    GUIDCopy = o.GUID;
    for (QComboBox *c : HKComboBoxes)
        c->setProperty("LastIndex", c->currentIndex());

    // The controls that follow others.
    LoupeCheckBoxClick();
    EnableAutoSaveControls(PersSaveCheckBox->isChecked());
    FileNameHistoryCombo->setEnabled(PersSaveCheckBox->isChecked());
    SoundCheckBoxClick();
    TNACheckBoxClick();
    FileExpCheckBoxClick();
    SendServiceRadioGroupClick();
    AttachCheckBoxClick();
    SysKeyCheckBoxClick();
    ExtGrEdtCheckBoxClick();
    SndPicExtGrEdtCheckBoxClick();
    const bool desktopOrigin = AviFrInitRadioGroup->ItemIndex() == 0;
    MoveGrabCheckBox->setEnabled(!desktopOrigin);
    enableViewerChoice();
    if (ScanToolListBox->currentRow() > 4)
        ScanPrevBitBtn->setEnabled(false);
}

void TOptionDlgBMForm::GetOptions(TZelkoraOptions &o) const
{
    for (const OptionBinding &b : OptionBindings()) {
        const QObject *c = findChild<const QObject *>(QString::fromLatin1(b.control));
        const OptionField *f = FindOptionField(b.field);
        if (!c || !f)
            continue;
        switch (b.rule) {
        case BindRule::Checked:
        case BindRule::Unchecked:
            SetOptionIntValue(*f, o, qobject_cast<const QAbstractButton *>(c)->isChecked() == (b.rule == BindRule::Checked));
            break;
        case BindRule::ItemIndex: {
            // No choice keeps what was stored.
            const int i = getIndex(c);
            if (i >= 0)
                SetOptionIntValue(*f, o, i);
            break;
        }
        case BindRule::Position:
            SetOptionIntValue(*f, o, qobject_cast<const TEditUpDown *>(c)->Position());
            break;
        case BindRule::Text:
            *static_cast<QString *>(f->field(o)) = getText(c);
            break;
        }
    }
    const int delay = DelayComboBox->currentIndex();
    if (delay >= 0 && delay < 11)
        o.ScanDelay = DelayValues()[size_t(delay)];
    else if (delay == 11)
        o.ScanDelay = WholeNumber(DelayComboBox->itemText(11)).value_or(ScanDelayCopy);
    QStringList items;
    QList<bool> checked;
    for (int i = 0; i < ScriptCheckListBox->count(); ++i) {
        items << ScriptCheckListBox->item(i)->text();
        checked << (ScriptCheckListBox->item(i)->checkState() == Qt::Checked);
    }
    o.Script = ChosenScript(items, checked, ScriptCopy);
    o.PrTextGrFont = WholeNumber(FontGrStaticText->text()).value_or(o.PrTextGrFont);
    o.TimeScanRunning = TimeScanCheckBox->isChecked();
    o.FontName = FontComboBox->currentIndex() >= 0 ? FontComboBox->currentText() : FontNameCopy;
    o.GifColOpt = GifColOptCopy;
    o.HotkeyCursor = HotkeyCursorCopy;
    o.IEShellEntrys = IEShellEntrysCopy;
    o.AnimMin = AnimMinCopy;
    o.AnimCount = AnimCountCopy;
    o.AttachDir = AttachDirCopy;
    o.ExpDimParts = ExpDimPartsCopy;
    o.Smtp = SmtpCopy;
    o.Mapi = MapiCopy;
    o.ShellExtAr = ShellExtArCopy;
    o.ExtGrEdtPath = ExtGrEdtPathCopy;
    o.GUID = GUIDCopy;
}

// ---------------------------------------------------------------------------
// Defaults

void TOptionDlgBMForm::FilesStdMenuItemClick()
{
    const QString pictures = ProgramDir() + QStringLiteral("Pictures");
    if (!QFileInfo(pictures).isDir()) {
        message("showmsg_no_std_autofile_settings",
                QStringLiteral("Der Ordner \"Pictures\" fehlt; die Standardwerte wurden nicht gesetzt."));
        return;
    }
    PersSaveCheckBox->setChecked(true);
    PathHistoryCombo->setCurrentText(pictures);
    FTypRadioGroup->SetItemIndex(1);
    AiRadioButton->setChecked(true);
    MiRadioButton->setChecked(false);
    DteTmeRadioButton->setChecked(false);
    FileNameHistoryCombo->setCurrentText(QStringLiteral("Scan_"));
    EnableAutoSaveControls(true);
}

void TOptionDlgBMForm::StandardButtonClick()
{
    for (QCheckBox *b : {WinCenterCheckBox, SysStartCheckBox, XPMenCheckBox, XPContrCheckBox, OnePartStatBarCheckBox,
                         ExtGrEdtCheckBox, ZKVisCheckBox, SysTrayStartCheckBox})
        b->setChecked(false);
    for (QCheckBox *b : {TNACheckBox, StatBarCheckBox, ProgEndCheckBox, SaveHistoryCheckBox, FileExpCheckBox,
                         OAsBmpCheckBox, ContHintsCheckBox, FEMagCheckBox})
        b->setChecked(true);
    CColorComboBox->setCurrentIndex(1);
    SColorComboBox->setCurrentIndex(1);
    TNACheckBoxClick();
    FileExpCheckBoxClick();
    ExtGrEdtCheckBoxClick();
}

void TOptionDlgBMForm::ScanStdMenuItemClick()
{
    ScanToolListBox->setCurrentRow(0);
    for (QCheckBox *b : {LoupeCheckBox, SCrossCheckBox, SoundCheckBox})
        b->setChecked(true);
    for (QCheckBox *b : {MinimizeCheckBox, ZKWinCheckBox, WithMouseCheckBox, CtrlScanInStatbarCheckBox, ClpbrdCheckBox,
                         SResDelCheckBox})
        b->setChecked(false);
    LFaktorEdit->setText(QStringLiteral("1"));
    ScanBComboBox->setCurrentIndex(1);
    ScanBFComboBox->setCurrentIndex(0);
    DelayComboBox->setCurrentIndex(1);
    SndFleComboBox->setCurrentIndex(1);
    ScanPrevBitBtn->setEnabled(bool(OptionSubDialogs().ScanTest));
    LoupeCheckBoxClick();
    SoundCheckBoxClick();
}

void TOptionDlgBMForm::Standard1Click()
{
    ProgRadioGroup->SetItemIndex(0);
    ExplorerHistoryCombo->setCurrentText(QDir::homePath());
    enableViewerChoice();
}

void TOptionDlgBMForm::HotkeyStdMenuItemClick()
{
    SysKeyCheckBox->setChecked(true);
    static constexpr int keys[6] = {0, 2, 3, 4, 5, 1};
    for (int i = 0; i < 6; ++i) {
        HKComboBoxes[size_t(i)]->setCurrentIndex(keys[i]);
        HKComboBoxes[size_t(i)]->setProperty("LastIndex", keys[i]);
    }
    SndPicExtGrEdtCheckBox->setChecked(false);
    SysKeyCheckBoxClick();
    SndPicExtGrEdtCheckBoxClick();
}

void TOptionDlgBMForm::Standardwerte1Click()
{
    for (QCheckBox *b : {AutoPrintCheckBox, DateCheckBox, TimeCheckBox, UsNameCheckBox})
        b->setChecked(false);
    PrFontStaticText->setText(QStringLiteral("Standard"));
    FontGrStaticText->setText(QStringLiteral("10"));
    FeetTextHistoryCombo->setCurrentText(DefaultFooter());
}

void TOptionDlgBMForm::Standardwerte2Click()
{
    TimeScanCheckBox->setChecked(false);
    ScDestRadioGroup->SetItemIndex(0);
    SecUpDown->SetPosition(1);
    CountUpDown->SetPosition(2);
}

void TOptionDlgBMForm::AviStdValMenuItemClick()
{
    PixValRadioGroup->SetItemIndex(0);
    AviFrInitRadioGroup->SetItemIndex(1);
    AviFrameTimeEdit->setText(QStringLiteral("10"));
    AviTimerEdit->setText(QStringLiteral("1000"));
    for (QCheckBox *b : {AviStretchCheckBox, MoveGrabCheckBox, AftEdtCheckBox, TmpAviDelCheckBox, NoTSoundCheckBox})
        b->setChecked(false);
    TmpAviHistoryCombo->setCurrentText(ProgramDir() + QStringLiteral("AviPics"));
    AftEdtHistoryCombo->setCurrentText(QString());
    AviFrInitRadioGroupClick();
}

void TOptionDlgBMForm::GIFStdValsMenuItemClick()
{
    GifCompRadioGroup->SetItemIndex(0);
    GifDithRadioGroup->SetItemIndex(0);
    GifColOptCopy = 0;
}

void TOptionDlgBMForm::JPGStdValsMenuItemClick()
{
    for (TRadioGroup *g : {PixFormRadioGroup, ColSpaceRadioGroup, PerformRadioGroup})
        g->SetItemIndex(0);
    ProgEncCheckBox->setChecked(false);
    IncDispCheckBox->setChecked(false);
}

void TOptionDlgBMForm::BmpStdValMenuItemClick()
{
    MonoChrCheckBox->setChecked(false);
    BmpPxFormComboBox->setCurrentIndex(6);
}

void TOptionDlgBMForm::ZKStdMenuItemClick()
{
    const QString pictures = ProgramDir() + QStringLiteral("Pictures");
    if (QFileInfo(pictures).isDir())
        PathHistoryCombo->setCurrentText(pictures);
    else
        QDir().mkpath(pictures);
    PersSaveCheckBox->setChecked(true);
    PathHistoryCombo->setCurrentText(pictures);
    FTypRadioGroup->SetItemIndex(1);
    AiRadioButton->setChecked(true);
    FileNameHistoryCombo->setCurrentText(QStringLiteral("Scan_"));
    EnableAutoSaveControls(true);
    StandardButtonClick();
    AnimMinCopy = false;
    AnimCountCopy = 1;
    ScanStdMenuItemClick();
    LFaktorUpDown->SetPosition(1);
    Standard1Click();
    HotkeyStdMenuItemClick();
    LangRadioGroup->SetItemIndex(0);
    Standardwerte1Click();
    DocAlignRadioGroup->SetItemIndex(0);
    GrAlignRadioGroup->SetItemIndex(0);
    BorderWidthUpDown->SetPosition(1);
    PrintersComboBox->setCurrentIndex(PrintersComboBox->count() > 0 ? 0 : -1);
    PrPrevMaxCheckBox->setChecked(true);
    Standardwerte2Click();
    AviStdValMenuItemClick();
    BmpStdValMenuItemClick();
    JPGStdValsMenuItemClick();
    GIFStdValsMenuItemClick();
    CompressCheckBox->setChecked(false);
    ExpDimPartsCopy = true;
    SendServiceRadioGroup->SetItemIndex(0);
    AttachCheckBox->setChecked(true);
    AttachTypeRadioGroup->SetItemIndex(1);
    SmtpCopy.Host.clear();
    SmtpCopy.UserID.clear();
    SmtpCopy.MailFrom.clear();
    SmtpCopy.MailTo.clear();
    SmtpCopy.Copy.clear();
    SmtpCopy.BlindCopy.clear();
    SmtpCopy.Body.clear();
    MapiCopy.MailTo.clear();
    MapiCopy.Subject = QStringLiteral("Zelkora 5.0 - Screenshot");
    MapiCopy.Body = QStringLiteral("Guten Tag,");
    ZRLbEdit->setText(QStringLiteral("1"));
    LineWidthUpDown->SetPosition(1);
    LineColComboBox->setCurrentIndex(2);
    LineKindCheckBox->setChecked(false);
    CoordHintCheckBox->setChecked(false);
    PenWidthUpDown->SetPosition(10);
    PenColComboBox->setCurrentIndex(2);
    SendServiceRadioGroupClick();
    AttachCheckBoxClick();
    message("showmsg_std_settings_was_set", QStringLiteral("Die Standard-Einstellungen wurden gesetzt."));
}

// ---------------------------------------------------------------------------
// Live rules

void TOptionDlgBMForm::EnableAutoSaveControls(bool Enable)
{
    for (QWidget *w : std::initializer_list<QWidget *>{PathHistoryCombo, PathBitBtn, FTypRadioGroup, AiRadioButton,
                                                       DteTmeRadioButton, MiRadioButton, FileNameHistoryCombo})
        w->setEnabled(Enable);
}

void TOptionDlgBMForm::EnableTimeScanControls(bool Enable)
{
    for (QWidget *w : std::initializer_list<QWidget *>{ScDestRadioGroup, SecScanGroupBox, SecEdit, SecUpDown,
                                                       CountScanGroupBox, CountEdit, CountUpDown, TimeScanCheckBox})
        w->setEnabled(Enable);
}

void TOptionDlgBMForm::LoupeCheckBoxClick()
{
    LFaktorEdit->setEnabled(LoupeCheckBox->isChecked());
    LFaktorUpDown->setEnabled(LFaktorEdit->isEnabled());
}

void TOptionDlgBMForm::PersSaveCheckBoxClick()
{
    EnableAutoSaveControls(PersSaveCheckBox->isChecked());
}

void TOptionDlgBMForm::PathButtonClick(QObject *Sender)
{
    const QString folder = Prompts.BrowseFolder ? Prompts.BrowseFolder() : QString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    THistoryCombo *targets[4] = {PathHistoryCombo, ExplorerHistoryCombo, TmpAviHistoryCombo, AftEdtHistoryCombo};
    const int tag = Sender ? Sender->property("Tag").toInt() : -1;
    if (tag >= 0 && tag < 4)
        targets[tag]->setCurrentText(folder);
}

void TOptionDlgBMForm::OptionPageControlChange()
{
    const int page = OptionPageControl->currentIndex();
    HelpBitBtn->setEnabled(!HelpPage(page).isEmpty());
    if (!m_validating)
        ValidateEntries();
    switch (OptionPageControl->currentIndex()) {
    case 4: {
        const bool saved = PersSaveCheckBox->isChecked();
        SaveStatStaticText->setText(saved ? text("caption_hotkey_save", QStringLiteral("Hotkey-Bilder werden gespeichert"))
                                          : text("caption_hotkey_notsave",
                                                 QStringLiteral("Hotkey-Bilder werden nicht gespeichert")));
        SaveStatStaticText->setStyleSheet(saved ? QStringLiteral("color: blue") : QStringLiteral("color: red"));
        break;
    }
    case 5: {
        const QSignalBlocker block(ScriptCheckListBox);
        ScriptCheckListBox->clear();
        for (const QString &name : ScriptFiles(ProgramDir() + QStringLiteral("Script"))) {
            auto *item = new QListWidgetItem(name, ScriptCheckListBox);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(name == ScriptName ? Qt::Checked : Qt::Unchecked);
        }
        break;
    }
    case 7:
        EnableTimeScanControls(PersSaveCheckBox->isChecked());
        break;
    default:
        break;
    }
}

void TOptionDlgBMForm::OtherValButtonClick()
{
    QString value;
    if (!Prompts.InputQuery ||
        !Prompts.InputQuery(QStringLiteral("Benutzerdefinierter Wert"), QStringLiteral("Ganzzahl eingeben:"), value))
        return;
    const std::optional<int> v = WholeNumber(value);
    // A wait cannot be negative: the capture would silently fall back to the
    // default while the dialog showed the typed value.
    if (!v || *v < 0) {
        notWholeNumber(value);
        return;
    }
    while (DelayComboBox->count() > 11)
        DelayComboBox->removeItem(11);
    DelayComboBox->addItem(QString::number(*v));
    DelayComboBox->setCurrentIndex(11);
}

void TOptionDlgBMForm::HK1ComboBoxDropDown(QObject *Sender)
{
    if (auto *c = qobject_cast<QComboBox *>(Sender))
        LastHotKeyIndex = c->currentIndex();
}

QStringList TOptionDlgBMForm::otherHotKeyTexts(int tag) const
{
    QStringList out;
    for (QComboBox *c : HKComboBoxes)
        if (c->property("Tag").toInt() != tag)
            out << c->currentText();
    return out;
}

void TOptionDlgBMForm::HK1ComboBoxChange(QObject *Sender)
{
    auto *c = qobject_cast<QComboBox *>(Sender);
    if (!c)
        return;
    const int previous = c->property("LastIndex").toInt();
    if (HotKeyTaken(c->currentText(), otherHotKeyTexts(c->property("Tag").toInt()))) {
        message("showmsg_hotkey_must_validvalue", QStringLiteral("Diese Tastenkombination ist schon vergeben."));
        c->setCurrentIndex(previous);
        return;
    }
    c->setProperty("LastIndex", c->currentIndex());
    LastHotKeyIndex = c->currentIndex();
    message("showmsg_new_hotkey_make_valid", QStringLiteral("Der neue Hotkey gilt nach OK."));
}

void TOptionDlgBMForm::SysKeyCheckBoxClick()
{
    const bool on = SysKeyCheckBox->isChecked();
    for (QComboBox *c : HKComboBoxes)
        c->setEnabled(on);
    ZKWinCheckBox->setEnabled(on);
    SndPicExtGrEdtCheckBox->setEnabled(on && OptionSubDialogs().GraphEditor);
}

void TOptionDlgBMForm::ExtProgButtonClick()
{
    const QString file = Prompts.ChooseProgram ? Prompts.ChooseProgram() : QString();
    if (!file.isEmpty())
        ExtProgHistoryCombo->setCurrentText(file);
}

void TOptionDlgBMForm::ProgRadioGroupClick()
{
    if (OptionPageControl->currentIndex() == 3)
        enableViewerChoice();
}

void TOptionDlgBMForm::enableViewerChoice()
{
    const bool viewer = ProgRadioGroup->ItemIndex() == 1;
    ExtProgHistoryCombo->setEnabled(viewer);
    ExtProgBitBtn->setEnabled(viewer);
    ExplorerHistoryCombo->setEnabled(!viewer);
    ExpPathBitBtn->setEnabled(!viewer);
}

void TOptionDlgBMForm::ScanToolListBoxMouseMove(int row)
{
    if (row < 0 || row > 12)
        return;
    const int hint = row <= 6 ? row + 1 : row + 2;
    ScanToolListBox->setToolTip(text(QStringLiteral("ScanToolListBox_Hint%1").arg(hint).toLatin1().constData(),
                                     ScanToolListBox->item(row)->text()));
}

void TOptionDlgBMForm::ScanToolListBoxClick()
{
    ScanPrevBitBtn->setEnabled(ScanToolListBox->currentRow() < 5 && OptionSubDialogs().ScanTest);
}

void TOptionDlgBMForm::ScanBFComboBoxChange()
{
    if (ScanBFComboBox->currentIndex() == 1 || ScanBFComboBox->currentIndex() == 2)
        ScanBComboBox->setCurrentIndex(1);
}

void TOptionDlgBMForm::ScanBComboBoxChange()
{
    if (ScanBComboBox->currentIndex() == 0)
        ScanBFComboBox->setCurrentIndex(0);
}

void TOptionDlgBMForm::SaveStatStaticTextClick()
{
    const QString opened = OpenDialogName;
    OpenDialogName = QStringLiteral("Bestätigung");
    const bool yes = Prompts.Confirm &&
                     Prompts.Confirm(QStringLiteral("Bestätigung"), QStringLiteral("Wollen Sie den Speicherstatus ändern?"));
    OpenDialogName = opened;
    if (yes)
        setPage(0);
}

void TOptionDlgBMForm::HelpButtonClick()
{
    const QString page = HelpPage(OptionPageControl->currentIndex());
    if (!page.isEmpty() && Prompts.OpenUrl)
        Prompts.OpenUrl(QUrl::fromLocalFile(page).toString());
}

void TOptionDlgBMForm::TestBorderButtonClick()
{
    if (!OptionSubDialogs().ScanTest)
        return;
    const int row = ScanToolListBox->currentRow();
    OptionSubDialogs().ScanTest(this, ScanBComboBox->currentIndex() == 1 ? 1 : 0,
                                std::max(0, ScanBFComboBox->currentIndex()), row >= 0 && row <= 4 ? row : 0,
                                SCrossCheckBox->isChecked(), LoupeCheckBox->isChecked(), LFaktorUpDown->Position(),
                                SoundCheckBox->isChecked());
}

void TOptionDlgBMForm::ScriptCheckListBoxClickCheck(QListWidgetItem *clicked)
{
    // The row whose box was ticked is the choice, wherever the selection is.
    QListWidgetItem *chosen = clicked ? clicked : ScriptCheckListBox->currentItem();
    const QSignalBlocker block(ScriptCheckListBox);
    for (int i = 0; i < ScriptCheckListBox->count(); ++i)
        ScriptCheckListBox->item(i)->setCheckState(Qt::Unchecked);
    if (chosen) {
        chosen->setCheckState(Qt::Checked);
        ScriptCheckListBox->setCurrentItem(chosen);
    }
}

void TOptionDlgBMForm::ScriptCheckListBoxDblClick()
{
    QListWidgetItem *item = ScriptCheckListBox->currentItem();
    if (!item)
        return;
    const QString file = ProgramDir() + QStringLiteral("Script/") + item->text();
    if (QFileInfo(file).isExecutable() || !Prompts.OpenUrl)
        RunScriptFile(file, ProgramDir() + QStringLiteral("Script"));
    else
        Prompts.OpenUrl(QUrl::fromLocalFile(file).toString());
}

void TOptionDlgBMForm::FontButtonClick()
{
    bool ok = false;
    QFont start(PrFontStaticText->text());
    start.setPointSize(std::max(1, WholeNumber(FontGrStaticText->text()).value_or(10)));
    const QFont f = QFontDialog::getFont(&ok, start, this);
    if (!ok)
        return;
    PrFontStaticText->setText(f.family());
    FontGrStaticText->setText(QString::number(f.pointSize()));
}

void TOptionDlgBMForm::ColOptButtonClick()
{
    if (OptionSubDialogs().GifColOpt) {
        std::uint8_t choice = GifColOptCopy;
        if (OptionSubDialogs().GifColOpt(this, choice) == 1)
            GifColOptCopy = choice;
    }
}

void TOptionDlgBMForm::MPSetButtonClick()
{
    QString value = QString::number(HotkeyCursorCopy);
    if (!Prompts.InputQuery ||
        !Prompts.InputQuery(text("inputbox_hotkeycursor_caption", QStringLiteral("Mauszeiger")),
                            text("inputbox_hotkeycursor_prompt", QStringLiteral("Nummer des Mauszeigers:")), value))
        return;
    if (const std::optional<int> v = WholeNumber(value))
        HotkeyCursorCopy = *v;
    else
        notWholeNumber(value);
}

void TOptionDlgBMForm::TmpAviDelCheckBoxClick(QObject *Sender)
{
    if (OptionPageControl->currentIndex() != 8)
        return;
    auto *box = qobject_cast<QCheckBox *>(Sender);
    THistoryCombo *folder = box == TmpAviDelCheckBox ? TmpAviHistoryCombo : AftEdtHistoryCombo;
    if (box && box->isChecked() && !QFileInfo(folder->currentText()).isDir()) {
        message("showmsg_first_path_then_check", QStringLiteral("Bitte zuerst ein vorhandenes Verzeichnis angeben."));
        folder->setFocus();
        box->setChecked(false);
    }
}

void TOptionDlgBMForm::TmpAviHistoryComboChange(QObject *Sender)
{
    auto *c = qobject_cast<QComboBox *>(Sender);
    if (c && c->currentText().isEmpty())
        (c->property("Tag").toInt() == 0 ? TmpAviDelCheckBox : AftEdtCheckBox)->setChecked(false);
}

void TOptionDlgBMForm::OnePartStatBarCheckBoxClick(QObject *Sender)
{
    if (!StatBarCheckBox->isChecked() && !OnePartStatBarCheckBox->isChecked())
        StatHintsCheckBox->setChecked(false);
    auto *box = qobject_cast<QCheckBox *>(Sender);
    if (box && box->isChecked())
        (box == StatBarCheckBox ? OnePartStatBarCheckBox : StatBarCheckBox)->setChecked(false);
}

void TOptionDlgBMForm::StatHintsCheckBoxClick()
{
    if (!StatBarCheckBox->isChecked() && !OnePartStatBarCheckBox->isChecked())
        StatHintsCheckBox->setChecked(false);
}

void TOptionDlgBMForm::ShlExtTypeButtonClick()
{
    if (!OptionSubDialogs().ShellExt)
        return;
    auto types = ShellExtArCopy;
    bool ie = IEShellEntrysCopy;
    QString guid = GUIDCopy;
    if (OptionSubDialogs().ShellExt(this, types, ie, guid) == 1) {
        ShellExtArCopy = types;
        IEShellEntrysCopy = ie;
        GUIDCopy = guid;
    }
}

void TOptionDlgBMForm::MiRadioButtonClick()
{
    FileNameHistoryCombo->setEnabled(true);
}

void TOptionDlgBMForm::SoundCheckBoxClick()
{
    SndFleComboBox->setEnabled(SoundCheckBox->isChecked());
    SndTestBitBtn->setEnabled(SoundCheckBox->isChecked());
}

void TOptionDlgBMForm::SndFleComboBoxChange()
{
    SelectSoundFile(SndFleComboBox->currentIndex());
}

void TOptionDlgBMForm::SndTestButtonClick()
{
    PlaySoundFile(CaptureSoundFile);
    SndTestBitBtn->setEnabled(false);
    SoundTestTimer->start();
    connect(SoundTestTimer, &QTimer::timeout, SndTestBitBtn,
            [this] { SndTestBitBtn->setEnabled(SoundCheckBox->isChecked()); }, Qt::SingleShotConnection);
}

void TOptionDlgBMForm::ExtGrEdtMenuItemClick(QObject *)
{
    if (OptionSubDialogs().GraphEditor)
        ChooseGraphEditor();
}

// Without the editor chooser the editor controls stay off.
void TOptionDlgBMForm::ExtGrEdtCheckBoxClick()
{
    SetGrEdtButton->setEnabled(ExtGrEdtCheckBox->isChecked() && OptionSubDialogs().GraphEditor);
    ZKVisCheckBox->setEnabled(SetGrEdtButton->isEnabled());
}

void TOptionDlgBMForm::SndPicExtGrEdtCheckBoxClick()
{
    SetGrEdt2Button->setEnabled(SndPicExtGrEdtCheckBox->isChecked() && OptionSubDialogs().GraphEditor);
}

void TOptionDlgBMForm::AviFrInitRadioGroupClick()
{
    if (AviFrInitRadioGroup->ItemIndex() == 0) {
        MoveGrabCheckBox->setChecked(false);
        MoveGrabCheckBox->setEnabled(false);
    } else {
        MoveGrabCheckBox->setEnabled(true);
    }
}

void TOptionDlgBMForm::TNACheckBoxClick()
{
    SysTrayStartCheckBox->setEnabled(TNACheckBox->isChecked());
}

void TOptionDlgBMForm::FileExpCheckBoxClick()
{
    FEMagCheckBox->setEnabled(FileExpCheckBox->isChecked());
}

void TOptionDlgBMForm::MinKindMenuItemClick()
{
    if (!OptionSubDialogs().MinKind)
        return;
    bool anim = AnimMinCopy;
    std::uint8_t count = AnimCountCopy;
    if (OptionSubDialogs().MinKind(this, anim, count) == 1) {
        AnimMinCopy = anim;
        AnimCountCopy = count;
    }
}

void TOptionDlgBMForm::SendServiceRadioGroupClick()
{
    const int service = SendServiceRadioGroup->ItemIndex();
    for (QWidget *w : std::initializer_list<QWidget *>{AttachCheckBox, AttDirEmptyButton, CreateDirButton})
        w->setEnabled(service != 2);
    SmtpConfButton->setEnabled(service == 1);
    MapiConfigButton->setEnabled(service == 0);
}

void TOptionDlgBMForm::AttachDirCheckBoxClick()
{
    const QString ini = ProgramDir() + QStringLiteral("ZK5.ini");
    if (AttachDirCopy) {
        if (!UnlinkAttachFolder(ini, ProgramDir())) {
            message("showmsg_error_no_ini_entry",
                    QStringLiteral("Der Eintrag in \"ZK5.ini\" konnte nicht geschrieben werden."));
            return;
        }
        RestartWanted = true;
        AttachDirCopy = false;
        CreateDirButton->setText(text("caption_create_dirlink", QStringLiteral("Anhang-Verzeichnis anlegen")));
        return;
    }
    if (!LinkAttachFolder(ini, ProgramDir()).ok) {
        message("showmsg_error_no_ini_entry",
                QStringLiteral("Der Eintrag in \"ZK5.ini\" konnte nicht geschrieben werden."));
        AttachDirCopy = false;
        CreateDirButton->setText(text("caption_create_dirlink", QStringLiteral("Anhang-Verzeichnis anlegen")));
        return;
    }
    message("showmsg_app_newstart", QStringLiteral("Zelkora startet nach OK neu."));
    RestartWanted = true;
    AttachDirCopy = true;
    CreateDirButton->setText(text("caption_destroy_dirlink", QStringLiteral("Anhang-Verzeichnis entfernen")));
}

void TOptionDlgBMForm::AttDirEmptyButtonClick()
{
    EmptyAttachFolder(ProgramDir() + QStringLiteral("ZK5.ini"));
}

void TOptionDlgBMForm::SmtpConfButtonClick()
{
    TSmtpBMForm form(this);
    form.SetLanguage(OptionMultiLanguage->Script(), LanguageIndex);
    TXPLook::ApplyToForm(&form, TXPLook::FormActive(this));
    form.LoadFrom(SmtpCopy);
    if (form.exec() == QDialog::Accepted)
        form.SaveTo(SmtpCopy);
}

void TOptionDlgBMForm::MapiConfigButtonClick()
{
    TMapiConfigBMForm form(this);
    form.SetLanguage(OptionMultiLanguage->Script(), LanguageIndex);
    TXPLook::ApplyToForm(&form, TXPLook::FormActive(this));
    form.LoadFrom(MapiCopy);
    if (form.exec() == QDialog::Accepted)
        form.SaveTo(MapiCopy);
}

void TOptionDlgBMForm::LineWidthUpDownClick()
{
    LineKindCheckBox->setChecked(LineWidthUpDown->Position() > 1);
}

void TOptionDlgBMForm::PenWidthEditExit()
{
    const std::optional<int> v = WholeNumber(PenWidthEdit->text());
    if (!v) {
        notWholeNumber(PenWidthEdit->text());
        PenWidthUpDown->SetPosition(PenWidthUpDown->Position());
        PenWidthEdit->setText(QString::number(PenWidthUpDown->Position()));
        return;
    }
    if (*v < 6)
        PenWidthEdit->setText(QStringLiteral("6"));
}

void TOptionDlgBMForm::AttachCheckBoxClick()
{
    AttZipCheckBox->setEnabled(AttachCheckBox->isChecked() &&
                               QFileInfo::exists(ProgramDir() + QString::fromLatin1(modules::kZipModule)));
}

bool TOptionDlgBMForm::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == SaveStatStaticText && e->type() == QEvent::MouseButtonRelease) {
        SaveStatStaticTextClick();
        return true;
    }
    if (e->type() == QEvent::MouseButtonPress)
        for (QComboBox *c : HKComboBoxes)
            if (watched == c)
                HK1ComboBoxDropDown(c);
    if (watched == ScriptCheckListBox && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(e)->key() == Qt::Key_Space) {
        ScriptCheckListBoxDblClick();
        return true;
    }
    return TBaseModalForm::eventFilter(watched, e);
}

void TOptionDlgBMForm::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_F1 && HelpBitBtn->isEnabled()) {
        HelpButtonClick();
        return;
    }
    TBaseModalForm::keyPressEvent(e);
}

} // namespace zk
