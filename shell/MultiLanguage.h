#pragma once
// The UI-language layer. Forms are German by their own definitions; the
// language file "Templates/Languages.lng" holds one section per language whose
// lines either set properties of a form's controls ("OkButton.Caption=OK") or
// are texts that code asks for by key ("showmsg_nofileload=...").
//
// The parsing and the property writing are plain classes so they can be
// tested without a form on screen; TMultiLanguage ties them to one form.
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace zk {

// ---------------------------------------------------------------------------
// The file format

struct LanguageEntry {
    QString key;
    QString value;
};

// Splits one entry line at its first "=": both halves trimmed, a value of two
// or more characters wrapped in single quotes loses them, and every "\n"
// becomes a line break. False for a line without "=".
bool SplitLanguageEntry(const QString &line, LanguageEntry *out);
bool SplitLanguageEntry(QStringView line, LanguageEntry *out);

// The entries of one section (matched without case; the empty name is the
// part before the first header), in file order. Comments, empty lines and
// lines without "=" are left out.
QList<LanguageEntry> LanguageSection(const QStringList &script, const QString &language);

// The section names of the file in order of first appearance, lower-cased.
QStringList LanguageSectionNames(const QStringList &script);

// Section name of a language index as the options store it: 0 german,
// 1 english, 2 italian, 3 espaniol, 4 france; anything else is german.
QString LanguageName(int languageIndex);

// Reads the language file as lines. UTF-8 when the bytes are valid UTF-8,
// otherwise Windows-1252 (files written by older editors). A missing or
// unreadable file gives no lines, which leaves every form German.
QStringList ReadLanguageFile(const QString &path);
// Starts reading the file on a second thread; the next ReadLanguageFile of
// the same path takes what it read (start-up reads it while the window is
// being built). The section of language, when the file has one, is split
// there too, for the forms that then ask for it.
void PreloadLanguageFile(const QString &path, const QString &language = QString());
// The same, for a language known only later: language() is asked on the
// reading thread once the file is read.
void PreloadLanguageFile(const QString &path, std::function<QString()> language);

// The file's lines, decoded as UTF-8, or as Windows-1252 when the file is
// not UTF-8 (a carriage return before a line feed and a last empty line are
// not part of them; exposed for tests).
QStringList DecodeLanguageLines(const QByteArray &bytes);

// The integer rule of the file: a decimal number, else a cursor name
// ("crHourGlass"), else a colour name ("clRed"), else a character-set name
// ("ANSI_CHARSET"), else "#" followed by hexadecimal digits.
std::optional<int> LanguageIntegerValue(const QString &value);

// The standard cursor identifiers and their codes (crDefault 0,
// crHourGlass -11, ...), and the Qt shape each one shows.
std::optional<int> CursorFromName(const QString &name);
Qt::CursorShape CursorCodeToShape(int code);
// The standard character-set identifiers (ANSI_CHARSET 0, ...).
std::optional<int> CharsetFromName(const QString &name);

// ---------------------------------------------------------------------------
// Property writing

// How one class-library property of one Qt class is written. A control kind
// that needs a new name mapping takes one row in the table (PropertyRows()).
enum class PropertyKind {
    QtProperty,    // a Qt property of the given name, value converted by its type
    WindowTitle,   // a form's caption: only on top-level windows
    Hint,          // "short|long": short part to the tool tip, long to the status tip
    ListItems,     // QListWidget rows, one per line
    ComboItems,    // QComboBox entries, one per line; keeps the chosen index
    TabTexts,      // QTabBar tab texts, one per line
    BackColor,     // the widget's background colour (an integer colour value)
    CursorShape,   // the widget's cursor (an integer cursor code)
    DynamicInt,    // a dynamic property holding an integer ("Tag")
};

struct PropertyRow {
    const char *qtClass;     // matched with QObject::inherits
    const char *name;        // the class-library property name, compared without case
    PropertyKind kind;
    const char *qtProperty;  // for QtProperty and DynamicInt
};

// The mapping table, most specific classes first.
const QList<PropertyRow> &PropertyRows();

// Writes key/value pairs of a language section onto a form and remembers what
// each touched property held before, so the next language starts from the
// form's own definition instead of from the previous language.
class PropertyWriter
{
public:
    explicit PropertyWriter(QObject *root);
    ~PropertyWriter();
    PropertyWriter(const PropertyWriter &) = delete;
    PropertyWriter &operator=(const PropertyWriter &) = delete;

    // Builds the name-to-object index of the form once for a pass.
    void BeginPass();
    // Whether a key whose first part is head (lower case; the whole key when
    // it has no dot) can write anything on this form in the current pass.
    // False only where Apply would write nothing.
    bool MayReach(const QString &head) const;
    // The lines MayReach accepts, given the lines of each head (lower case)
    // in file order; in file order.
    QList<qsizetype> LinesReached(const QHash<QString, QList<qsizetype>> &linesByHead) const;
    // Resolves the key (components, then object properties such as Font,
    // then the property) and sets it. True when a property was written.
    bool Apply(const QString &key, const QString &value);
    // The control a key starts at in the current pass (behind the form's own
    // name when the key begins with it); null when the key starts elsewhere.
    // head is the key's first part in lower case, as MayReach takes it.
    QObject *FirstComponent(const QString &key, const QString &head) const;
    // Puts every property written since the last restore back to the value
    // it had before the first write (the form-defined one).
    void RestoreDefined();
    // Sets the form's window title, remembering the defined one.
    void SetRootTitle(const QString &title);

    int RememberedCount() const { return int(saved_.size()); }

private:
    struct Target;
    QObject *findComponent(QObject *in, const QString &name) const;
    bool setProperty(const Target &t, const QString &name, const QString &value);
    bool setFontProperty(QObject *obj, const QString &name, const QString &value);
    bool setMapped(QObject *obj, const PropertyRow &row, const QString &value);
    bool setQtProperty(QObject *obj, int propertyIndex, const QString &value);
    // Remembers the current value of one aspect of obj before its first write.
    void remember(QObject *obj, const QString &aspect, std::function<void(QObject *)> restore);

    QObject *root_;
    QString rootName_; // lower case
    QHash<QString, int> rootProperties_; // the form's property names in lower case, for a pass
    QHash<QString, QPointer<QObject>> index_; // a write may delete a control's children
    struct Saved {
        QPointer<QObject> obj;
        std::function<void(QObject *)> restore;
    };
    QHash<QPair<const QObject *, QString>, Saved> saved_;
    QList<QPair<const QObject *, QString>> order_;
};

// ---------------------------------------------------------------------------
// The component on every form

class TMultiLanguage : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList Script READ Script WRITE SetScript)
    Q_PROPERTY(QString Language READ Language WRITE SetLanguage)

public:
    // The owner is the form whose properties the file addresses. onCreate
    // runs at the end of construction (the class library's OnCreate).
    explicit TMultiLanguage(QObject *owner, std::function<void(TMultiLanguage *)> onCreate = {});
    ~TMultiLanguage() override;

    QStringList Script() const { return script_; }
    void SetScript(const QStringList &script);
    QString Language() const { return language_; }
    void SetLanguage(const QString &language);
    // Both at once with one re-application (what a form's language switch uses).
    void Assign(const QStringList &script, const QString &language);
    // Both at once for GetText, writing nothing onto the form yet: a form
    // still making controls takes the texts with its next SetLanguage.
    void Prepare(const QStringList &script, const QString &language);

    // The value of the first entry of the current section whose key equals
    // key exactly (case counts); empty when there is none.
    QString GetText(const QString &key) const;
    bool HasText(const QString &key) const;
    // The first text of every key of the current section, shared with the
    // other forms of the same file and language (no copy is made).
    const QHash<QString, QString> &Texts() const { return firstText_; }
    // Counts the sections read: a text kept from GetText is current while
    // this stays the same.
    quint64 TextsRead() const { return textsRead_; }

    // The entries of the current section, in file order.
    const QList<LanguageEntry> &Lines() const { return lines_; }

    // Sets the owner's window title from a text key; a key the section lacks
    // keeps the title the form defined.
    void SetOwnerCaption(const QString &key);

    // While set, the lines for controls the test picks (ones nobody sees
    // before a menu opens) wait for ApplyWaiting instead of being written by
    // the next re-application, and so do the lines for controls the form has
    // not made yet; a later re-application drops what still waits.
    void SetWaitingTest(std::function<bool(QObject *)> waits) { waits_ = std::move(waits); }
    bool HasWaiting() const { return !waiting_.isEmpty(); }
    void ApplyWaiting();

signals:
    void OnTranslate();

private:
    void reapply();
    void readSection();

    QStringList script_;
    QString language_;
    QList<LanguageEntry> lines_;
    QHash<QString, QString> firstText_;
    quint64 textsRead_ = 0;
    QStringList heads_; // each line's first key part, lower case
    QHash<QString, QList<qsizetype>> linesByHead_; // lines of each head
    PropertyWriter writer_;
    std::function<bool(QObject *)> waits_;
    QList<qsizetype> waiting_; // lines of lines_, in file order
};

// A waiting test for a form's first pass: the controls whose texts nobody
// sees before a menu opens (items of closed menus, tool-bar pictures).
bool ShownOnlyInMenus(QObject *o);
// A form's first pass: pass() writes what the first frame shows; the lines
// of controls shown only in menus wait, and writeWaiting (by default the
// waiting lines alone) writes them right after the window's first frame.
void FirstLanguagePass(TMultiLanguage *ml, QObject *context, const std::function<void()> &pass,
                       std::function<void()> writeWaiting = {});

// ---------------------------------------------------------------------------
// The per-form language switch

// The caption keys of the forms, by class name.
struct CaptionKey {
    const char *formClass;
    const char *key;
};
const QList<CaptionKey> &CaptionKeyTable();
// Caption keys that forms set from their own code (tab hosts, preview modes)
// and the other fixed keys of the forms' language methods.
const QStringList &OtherFormKeys();
// The key for a form class ("TAboutDlgBMForm" or "zk::TAboutDlgBMForm");
// empty for a form without one.
QString CaptionKeyFor(const QString &formClass);

// The one shape of every form's SetLanguage: gives the form's TMultiLanguage
// (created when the form has none) the script and the section of the index,
// then sets the window caption from the form's caption key, if it has one.
void SetFormLanguage(QWidget *form, const QStringList &script, int languageIndex);
// The form's language component (the first TMultiLanguage child), or null.
TMultiLanguage *FormMultiLanguage(QObject *form);
// The text of key in the form's language, or german when the form has no
// language yet or its section lacks the key.
QString FormText(QObject *form, const QString &key, const QString &german);

} // namespace zk
