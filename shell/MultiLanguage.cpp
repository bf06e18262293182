#include "MultiLanguage.h"

#include "AsciiCase.h"

#include "FirstFrame.h"

#include "Colors.h"
#include "StoreIo.h"

#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QDebug>
#include <QFont>
#include <QListWidget>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QAction>
#include <QMetaProperty>
#include <QPalette>
#include <QStringDecoder>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <utility>

namespace zk {

// ---------------------------------------------------------------------------
// The file format

bool SplitLanguageEntry(QStringView line, LanguageEntry *out)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    out->key = line.left(eq).trimmed().toString();
    QStringView value = line.mid(eq + 1).trimmed();
    // Quotes let a translator keep blanks at either end of a text.
    if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    out->value = value.toString();
    if (value.contains(QLatin1String("\\n")))
        out->value.replace(QLatin1String("\\n"), QLatin1String("\n"));
    return true;
}

bool SplitLanguageEntry(const QString &line, LanguageEntry *out)
{
    return SplitLanguageEntry(QStringView(line), out);
}

namespace {

// The section a header line opens: the text between "[" and the first "]";
// a header that never closes names the rest of its line.
QString HeaderName(QStringView trimmedLine)
{
    const qsizetype end = trimmedLine.indexOf(QLatin1Char(']'), 1);
    return (end < 0 ? trimmedLine.mid(1) : trimmedLine.mid(1, end - 1)).toString().toLower();
}

} // namespace

namespace {

// One section of the file as the forms use it: its entries, the first text
// of each key, and each key's first part in lower case (the control or
// property it starts with), by which a form skips what it has no part for.
struct SectionIndex
{
    QStringList script;
    QString language;
    QList<LanguageEntry> lines;
    bool indexed = false;
    QHash<QString, QString> firstText;
    QStringList heads;
    QHash<QString, QList<qsizetype>> linesByHead; // in file order
};

// One line of the file on the way through it: a header names the section
// the next lines belong to (`current`; lines before the first header form
// the unnamed section), an entry of the wanted section goes into `out`.
// Returns whether the line was a header.
bool SplitLine(QStringView raw, QString &current, const QString &wanted, QList<LanguageEntry> &out)
{
    const QStringView line = raw.trimmed();
    if (line.isEmpty())
        return false;
    if (line.startsWith(QLatin1Char('['))) {
        current = HeaderName(line);
        return true;
    }
    if (line.startsWith(QLatin1Char(';')) || current != wanted)
        return false;
    LanguageEntry e;
    if (SplitLanguageEntry(line, &e))
        out.append(std::move(e));
    return false;
}

// The entries of one section, in file order.
QList<LanguageEntry> SplitSection(const QStringList &script, const QString &wanted)
{
    QList<LanguageEntry> out;
    QString current;
    // Views, not copies: the file holds every language, and all but one
    // section are only skipped over.
    for (const QString &raw : script)
        SplitLine(raw, current, wanted, out);
    return out;
}

// Where the file's lines start and end: a line feed ends a line, a carriage
// return before it is dropped, and a UTF-8 byte-order mark opens the file
// only.
template<typename Each>
void EachByteLine(const QByteArray &bytes, Each each)
{
    qsizetype start = bytes.startsWith("\xef\xbb\xbf") ? 3 : 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > start && bytes.at(stop - 1) == '\r')
            --stop;
        if (!each(QByteArrayView(bytes.constData() + start, stop - start)))
            return;
        start = end + 1;
    }
}

// The wanted sections' entries cut straight from the file's bytes, read as
// UTF-8: only header lines and the lines of those sections are decoded.
// Nothing when a line it decodes is not valid UTF-8.
struct ByteCut
{
    bool found = false; // a header named the section
    SectionIndex section;
};

std::optional<ByteCut> SplitSectionFromBytes(const QByteArray &bytes, const QString &wanted)
{
    ByteCut cut;
    QString current;
    bool valid = true;
    // As the whole file is decoded: a byte-order mark that opens a line is a
    // character of it.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    EachByteLine(bytes, [&](QByteArrayView line) {
        // Only a "[" after blanks starts a header; a byte beyond ASCII may be
        // the start of a blank of its own, so that line is decoded to see.
        qsizetype first = 0;
        while (first < line.size() && (line[first] == ' ' || (line[first] >= '\t' && line[first] <= '\r')))
            ++first;
        const bool mayBeHeader =
            first < line.size() && (line[first] == '[' || static_cast<unsigned char>(line[first]) >= 0x80);
        if (!mayBeHeader && current != wanted)
            return true;
        const QString raw = utf8(line);
        if (utf8.hasError())
            return valid = false;
        if (SplitLine(raw, current, wanted, cut.section.lines) && current == wanted)
            cut.found = true;
        return true;
    });
    if (!valid)
        return std::nullopt;
    return cut;
}

void IndexSection(SectionIndex &section)
{
    const qsizetype count = section.lines.size();
    section.firstText.reserve(count);
    section.heads.reserve(count);
    section.linesByHead.reserve(count);
    // Backwards, so the first line of a key is the one left standing.
    for (qsizetype i = count - 1; i >= 0; --i)
        section.firstText.insert(section.lines.at(i).key, section.lines.at(i).value);
    // A control's lines stand together: its head is folded once for all.
    QStringView lastRaw;
    QString head;
    QList<qsizetype> *headLines = nullptr;
    for (qsizetype i = 0; i < count; ++i) {
        const QString &key = section.lines.at(i).key;
        const qsizetype dot = key.indexOf(QLatin1Char('.'));
        const QStringView raw = dot < 0 ? QStringView(key) : QStringView(key).left(dot);
        if (!headLines || raw != lastRaw) {
            head = raw.toString().toLower();
            lastRaw = raw;
            headLines = &section.linesByHead[head];
        }
        section.heads.append(head);
        headLines->append(i);
    }
    section.indexed = true;
}

// Sections split and indexed ahead, on the thread that read the file, for
// the lines it handed out (PreloadLanguageFile). Only the GUI thread reads
// them once the lines are taken.
struct PreparedSections
{
    QStringList script;
    QList<SectionIndex> sections;
};

std::mutex g_preparedLock;
PreparedSections g_prepared;

bool SameLines(const QStringList &a, const QStringList &b)
{
    return !a.isEmpty() && a.constData() == b.constData() && a.size() == b.size();
}

// Every form reads the same file: the section found last is kept for the
// next form that asks. Holding the list keeps its data from changing or
// going away, so the same data means the same lines.
SectionIndex &LastSection(const QStringList &script, const QString &language)
{
    thread_local SectionIndex last;
    if (SameLines(last.script, script) && last.language == language)
        return last;
    const QString wanted = language.toLower();
    {
        const std::lock_guard<std::mutex> lock(g_preparedLock);
        if (SameLines(g_prepared.script, script))
            for (const SectionIndex &s : std::as_const(g_prepared.sections))
                if (s.language == wanted) {
                    last = s;
                    last.language = language;
                    return last;
                }
    }
    last = SectionIndex();
    last.lines = SplitSection(script, wanted);
    last.script = script;
    last.language = language;
    return last;
}

const SectionIndex &IndexedSection(const QStringList &script, const QString &language)
{
    SectionIndex &section = LastSection(script, language);
    if (!section.indexed)
        IndexSection(section);
    return section;
}

} // namespace

QList<LanguageEntry> LanguageSection(const QStringList &script, const QString &language)
{
    return LastSection(script, language).lines;
}

QStringList LanguageSectionNames(const QStringList &script)
{
    QStringList names;
    for (const QString &raw : script) {
        const QStringView line = QStringView(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const QString name = HeaderName(line);
            if (!names.contains(name))
                names.append(name);
        }
    }
    return names;
}

QString LanguageName(int languageIndex)
{
    static const char *const names[] = {"german", "english", "italian", "espaniol", "france"};
    if (languageIndex < 0 || languageIndex > 4)
        languageIndex = 0;
    return QString::fromLatin1(names[languageIndex]);
}

namespace {

// Windows-1252: Latin-1 except for the printable characters it puts into
// 0x80..0x9F; the five unassigned codes pass through unchanged.
QString DecodeWindows1252(QByteArrayView bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = b >= 0x80 && b < 0xA0 ? QChar(high[b - 0x80]) : QChar(b);
    }
    return text;
}

} // namespace

namespace {

QStringList decodeLines(const QByteArray &bytes, bool *isUtf8)
{
    // Line by line, with no copy of the whole text in between: the file is
    // read while the window is built, and every page of memory it touches
    // for the first time costs. A UTF-8 sequence never holds a line feed,
    // so the lines are valid UTF-8 exactly when the whole file is.
    QStringList lines;
    lines.reserve(bytes.count('\n') + 1);
    // The byte-order mark is skipped by the line cut, at the start of the
    // file only.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    bool valid = true;
    EachByteLine(bytes, [&](QByteArrayView line) {
        lines.append(utf8(line));
        return valid = !utf8.hasError();
    });
    if (!valid) {
        lines.clear();
        EachByteLine(bytes, [&](QByteArrayView line) {
            lines.append(DecodeWindows1252(line));
            return true;
        });
    }
    *isUtf8 = valid;
    return lines;
}

} // namespace

QStringList DecodeLanguageLines(const QByteArray &bytes)
{
    bool isUtf8 = false;
    return decodeLines(bytes, &isUtf8);
}

namespace {

bool readLanguageBytes(const QString &path, QByteArray *bytes)
{
    // A FIFO or a device in the file's place gives no texts instead of a hang
    // or an endless read; a language file is never near this size.
    storeio::FileStamp stamp;
    QString error;
    if (storeio::readWholeFile(path, bytes, &stamp, &error, 64ll * 1024 * 1024) != storeio::ReadResult::Ok) {
        if (QFileInfo::exists(path))
            qWarning().noquote() << QStringLiteral("Cannot read the language file \"%1\": %2").arg(path, error);
        return false;
    }
    return true;
}

QStringList readLanguageFileNow(const QString &path)
{
    QByteArray bytes;
    return readLanguageBytes(path, &bytes) ? DecodeLanguageLines(bytes) : QStringList();
}

struct LanguagePreload
{
    QString path;
    std::future<PreparedSections> lines;
};

// A thread's first allocation gives it an arena of its own, which glibc
// grows a page at a time, each step a change of page protections that waits
// for (and holds up) the loader and the window's thread. The file's lines
// take about a megabyte and a half: the arena is grown in large steps first,
// and what is freed stays reserved for the lines.
void growThreadArena()
{
#ifdef __GLIBC__
    constexpr int kSteps = 16;
    constexpr std::size_t kStep = 100 * 1024; // below the size glibc maps on its own
    void *blocks[kSteps];
    for (void *&block : blocks)
        block = std::malloc(kStep);
    for (void *block : blocks)
        std::free(block);
#endif
}

// Reads the file and splits the section of the language: the window built
// meanwhile on the GUI thread then finds it ready.
PreparedSections readAndPrepare(const QString &path, const std::function<QString()> &language)
{
    growThreadArena();
    PreparedSections prepared;
    QByteArray bytes;
    if (!readLanguageBytes(path, &bytes))
        return prepared;
    const QString name = language ? language().toLower() : QString();
    // The window waits for its own section, not for the whole file: the
    // section is cut from the bytes and indexed on another core while this
    // one decodes every line. Nothing comes of the cut when a line it reads
    // is not UTF-8.
    std::future<std::optional<ByteCut>> early;
    if (!name.isEmpty())
        early = std::async(std::launch::async, [&bytes, &name] {
            growThreadArena();
            std::optional<ByteCut> cut = SplitSectionFromBytes(bytes, name);
            if (cut && cut->found) {
                cut->section.language = name;
                IndexSection(cut->section);
            }
            return cut;
        });
    bool isUtf8 = false;
    prepared.script = decodeLines(bytes, &isUtf8);
    if (name.isEmpty())
        return prepared;
    std::optional<ByteCut> cut = early.get();
    // A file read as Windows-1252 has other lines than the UTF-8 cut: the
    // section is cut from them instead.
    if (!isUtf8 || !cut) {
        cut.emplace();
        cut->found = LanguageSectionNames(prepared.script).contains(name);
        if (cut->found) {
            cut->section.lines = SplitSection(prepared.script, name);
            cut->section.language = name;
            IndexSection(cut->section);
        }
    }
    if (cut->found) {
        cut->section.script = prepared.script;
        prepared.sections.append(std::move(cut->section));
    }
    return prepared;
}

std::mutex g_preloadLock;
std::optional<LanguagePreload> g_preload;

} // namespace

void PreloadLanguageFile(const QString &path, const QString &language)
{
    PreloadLanguageFile(path, [language] { return language; });
}

void PreloadLanguageFile(const QString &path, std::function<QString()> language)
{
    const std::lock_guard<std::mutex> lock(g_preloadLock);
    g_preload.emplace();
    g_preload->path = path;
    g_preload->lines = std::async(std::launch::async, readAndPrepare, path, std::move(language));
}

QStringList ReadLanguageFile(const QString &path)
{
    std::future<PreparedSections> preloaded;
    {
        const std::lock_guard<std::mutex> lock(g_preloadLock);
        if (g_preload && g_preload->path == path) {
            preloaded = std::move(g_preload->lines);
            g_preload.reset();
        }
    }
    if (!preloaded.valid())
        return readLanguageFileNow(path);
    PreparedSections prepared = preloaded.get();
    const QStringList lines = prepared.script;
    const std::lock_guard<std::mutex> lock(g_preparedLock);
    g_prepared = std::move(prepared);
    return lines;
}

namespace {

struct NamedCode {
    const char *name;
    int code;
    Qt::CursorShape shape;
};

// The 21 standard cursors of the class library with the codes the file and
// the options use; crDefault means "whatever the control shows by itself".
const NamedCode kCursors[] = {
    {"crDefault", 0, Qt::ArrowCursor},          {"crArrow", -2, Qt::ArrowCursor},
    {"crCross", -3, Qt::CrossCursor},           {"crIBeam", -4, Qt::IBeamCursor},
    {"crSizeNESW", -6, Qt::SizeBDiagCursor},    {"crSizeNS", -7, Qt::SizeVerCursor},
    {"crSizeNWSE", -8, Qt::SizeFDiagCursor},    {"crSizeWE", -9, Qt::SizeHorCursor},
    {"crUpArrow", -10, Qt::UpArrowCursor},      {"crHourGlass", -11, Qt::WaitCursor},
    {"crDrag", -12, Qt::DragMoveCursor},        {"crNoDrop", -13, Qt::ForbiddenCursor},
    {"crHSplit", -14, Qt::SplitHCursor},        {"crVSplit", -15, Qt::SplitVCursor},
    {"crMultiDrag", -16, Qt::DragCopyCursor},   {"crSQLWait", -17, Qt::BusyCursor},
    {"crNo", -18, Qt::ForbiddenCursor},         {"crAppStart", -19, Qt::BusyCursor},
    {"crHelp", -20, Qt::WhatsThisCursor},       {"crHandPoint", -21, Qt::PointingHandCursor},
    {"crSizeAll", -22, Qt::SizeAllCursor},
};

struct NamedInt {
    const char *name;
    int code;
};

const NamedInt kCharsets[] = {
    {"ANSI_CHARSET", 0},        {"DEFAULT_CHARSET", 1},   {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},        {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},     {"GB2312_CHARSET", 134},  {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},     {"TURKISH_CHARSET", 162}, {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},    {"ARABIC_CHARSET", 178},  {"BALTIC_CHARSET", 186},
    {"RUSSIAN_CHARSET", 204},   {"THAI_CHARSET", 222},    {"EASTEUROPE_CHARSET", 238},
    {"OEM_CHARSET", 255},
};

bool SameName(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<int> CursorFromName(const QString &name)
{
    for (const NamedCode &c : kCursors)
        if (SameName(name, c.name))
            return c.code;
    return std::nullopt;
}

Qt::CursorShape CursorCodeToShape(int code)
{
    for (const NamedCode &c : kCursors)
        if (c.code == code)
            return c.shape;
    return Qt::ArrowCursor;
}

std::optional<int> CharsetFromName(const QString &name)
{
    for (const NamedInt &c : kCharsets)
        if (SameName(name, c.name))
            return c.code;
    return std::nullopt;
}

std::optional<int> LanguageIntegerValue(const QString &value)
{
    bool ok = false;
    const int n = value.toInt(&ok, 10);
    if (ok)
        return n;
    if (auto c = CursorFromName(value))
        return c;
    TColor color = 0;
    if (ColorFromName(value, &color))
        return color;
    if (auto c = CharsetFromName(value))
        return c;
    if (value.startsWith(QLatin1Char('#')) && value.size() > 1) {
        const uint h = value.mid(1).toUInt(&ok, 16);
        if (ok)
            return static_cast<int>(h);
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Property writing

const QList<PropertyRow> &PropertyRows()
{
    static const QList<PropertyRow> rows = {
        {"QMenu", "Caption", PropertyKind::QtProperty, "title"},
        {"QAction", "Caption", PropertyKind::QtProperty, "text"},
        {"QAction", "Hint", PropertyKind::Hint, nullptr},
        {"QGroupBox", "Caption", PropertyKind::QtProperty, "title"},
        {"QDockWidget", "Caption", PropertyKind::QtProperty, "windowTitle"},
        {"QToolBar", "Caption", PropertyKind::QtProperty, "windowTitle"},
        {"QAbstractButton", "Caption", PropertyKind::QtProperty, "text"},
        {"QLabel", "Caption", PropertyKind::QtProperty, "text"},
        {"QListWidget", "Items", PropertyKind::ListItems, nullptr},
        {"QComboBox", "Items", PropertyKind::ComboItems, nullptr},
        {"QComboBox", "Text", PropertyKind::QtProperty, "currentText"},
        {"QTabBar", "Tabs", PropertyKind::TabTexts, nullptr},
        {"QTabWidget", "Tabs", PropertyKind::TabTexts, nullptr},
        {"QPlainTextEdit", "Lines", PropertyKind::QtProperty, "plainText"},
        {"QPlainTextEdit", "Text", PropertyKind::QtProperty, "plainText"},
        {"QTextEdit", "Lines", PropertyKind::QtProperty, "plainText"},
        {"QTextEdit", "Text", PropertyKind::QtProperty, "plainText"},
        {"QWidget", "Caption", PropertyKind::WindowTitle, nullptr},
        {"QWidget", "Hint", PropertyKind::Hint, nullptr},
        {"QWidget", "Color", PropertyKind::BackColor, nullptr},
        {"QWidget", "Cursor", PropertyKind::CursorShape, nullptr},
        {"QObject", "Tag", PropertyKind::DynamicInt, "Tag"},
    };
    return rows;
}

namespace {

// Property names of a class without case, built once per class (forms live
// on the GUI thread, so the cache needs no lock).
const QHash<QString, int> &PropertyNamesLower(const QMetaObject *mo)
{
    static QHash<const QMetaObject *, QHash<QString, int>> cache;
    auto it = cache.find(mo);
    if (it == cache.end()) {
        QHash<QString, int> names;
        for (int i = 0; i < mo->propertyCount(); ++i)
            names.insert(QString::fromLatin1(mo->property(i).name()).toLower(), i);
        it = cache.insert(mo, names);
    }
    return *it;
}

int FindPropertyNoCase(const QMetaObject *mo, const QString &name)
{
    return PropertyNamesLower(mo).value(name.toLower(), -1);
}

QStringList SplitLines(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t.split(QLatin1Char('\n'));
}

// "Short|long" hints: the short part is the tool tip, the long one the status
// text; a hint without "|" serves as both.
std::pair<QString, QString> SplitHint(const QString &hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {hint, hint};
    return {hint.left(bar), hint.mid(bar + 1)};
}

} // namespace

struct PropertyWriter::Target {
    QObject *obj;
    bool font;
};

PropertyWriter::PropertyWriter(QObject *root) : root_(root) {}

PropertyWriter::~PropertyWriter() = default;

namespace {

// A window docked into another one is still a form of its own: its controls
// are its own language component's business, and a namesake among them must
// not hide the host's control of the same name.
// The form's components, breadth first, without other forms' subtrees (a
// form holds a language component of its own). Each object's children are
// looked at once: for that component and to queue them.
template <class Visit>
void WalkComponents(QObject *root, QObject *in, Visit visit)
{
    QList<QObject *> queue;
    queue.reserve(256);
    for (QObject *c : in->children())
        if (!qobject_cast<TMultiLanguage *>(c))
            queue.append(c);
    for (qsizetype i = 0; i < queue.size(); ++i) {
        QObject *o = queue[i];
        const qsizetype mark = queue.size();
        bool form = false;
        for (QObject *c : o->children()) {
            if (qobject_cast<TMultiLanguage *>(c))
                form = true;
            else
                queue.append(c);
        }
        if (form && o != root) {
            queue.resize(mark);
            continue;
        }
        if (visit(o))
            return;
    }
}

// Component names are ASCII nearly always: lowered in one pass without the
// Unicode tables (others go through them).
QString LowerName(const QString &name)
{
    if (std::optional<QString> lowered = AsciiLowered(name))
        return *std::move(lowered);
    return name.toLower();
}

} // namespace

namespace {

// The names of the mapping table's rows in lower case.
const QSet<QString> &MappedNamesLower()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (const PropertyRow &row : PropertyRows())
            set.insert(QString::fromLatin1(row.name).toLower());
        return set;
    }();
    return names;
}

} // namespace

bool PropertyWriter::MayReach(const QString &head) const
{
    // Apply starts at a control of the form, at the form's own name, at the
    // form's font or another property of the form (also one of the mapped
    // names when the key has no dot); anything else it turns down unwritten.
    return index_.contains(head) || head == rootName_ || head == QLatin1String("font") ||
           MappedNamesLower().contains(head) || rootProperties_.contains(head);
}

QList<qsizetype> PropertyWriter::LinesReached(const QHash<QString, QList<qsizetype>> &linesByHead) const
{
    // The heads MayReach accepts, looked up among the file's heads: a form
    // has far fewer names than the file has lines.
    QList<qsizetype> lines;
    const auto take = [&](const QString &head) {
        const auto it = linesByHead.constFind(head);
        if (it != linesByHead.cend())
            lines.append(*it);
    };
    for (auto it = index_.cbegin(); it != index_.cend(); ++it)
        take(it.key());
    take(rootName_);
    take(QStringLiteral("font"));
    for (const QString &name : MappedNamesLower())
        take(name);
    for (auto it = rootProperties_.cbegin(); it != rootProperties_.cend(); ++it)
        take(it.key());
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

void PropertyWriter::BeginPass()
{
    rootName_ = root_->objectName().toLower();
    // Shared, not copied: the table stays as it is while the pass asks it
    // for every line's head (already in lower case).
    rootProperties_ = PropertyNamesLower(root_->metaObject());
    // Breadth first, so a control directly on the form wins over a namesake
    // buried inside a composite control.
    const qsizetype lastSize = index_.size();
    index_.clear();
    index_.reserve(std::max<qsizetype>(lastSize, 256));
    WalkComponents(root_, root_, [this](QObject *o) {
        const QString name = o->objectName();
        if (!name.isEmpty()) {
            QPointer<QObject> &slot = index_[LowerName(name)];
            if (slot.isNull())
                slot = o;
        }
        return false;
    });
}

QObject *PropertyWriter::findComponent(QObject *in, const QString &name) const
{
    QObject *found = nullptr;
    WalkComponents(root_, in, [&](QObject *o) {
        if (o->objectName().compare(name, Qt::CaseInsensitive) == 0)
            found = o;
        return found != nullptr;
    });
    return found;
}

bool PropertyWriter::Apply(const QString &key, const QString &value)
{
    QString rest = key;
    QObject *current = root_;
    bool atRoot = true;
    qsizetype dot;
    while ((dot = rest.indexOf(QLatin1Char('.'))) >= 0) {
        const QString part = rest.left(dot);
        QObject *found = atRoot ? index_.value(part.toLower()).data() : findComponent(current, part);
        if (!found && atRoot && part.compare(root_->objectName(), Qt::CaseInsensitive) == 0) {
            // The form's own name in front singles out one form's control
            // where several forms name a control alike.
            rest = rest.mid(dot + 1);
            continue;
        }
        if (!found)
            break;
        current = found;
        atRoot = false;
        rest = rest.mid(dot + 1);
    }
    Target t{current, false};
    while ((dot = rest.indexOf(QLatin1Char('.'))) >= 0) {
        const QString part = rest.left(dot);
        if (t.font)
            break;
        if (part.compare(QLatin1String("Font"), Qt::CaseInsensitive) == 0
            && (t.obj->isWidgetType() || FindPropertyNoCase(t.obj->metaObject(), part) >= 0)) {
            t.font = true;
        } else {
            const int pi = FindPropertyNoCase(t.obj->metaObject(), part);
            if (pi < 0)
                break;
            const QMetaProperty mp = t.obj->metaObject()->property(pi);
            if (!(mp.metaType().flags() & QMetaType::PointerToQObject))
                break;
            QObject *sub = mp.read(t.obj).value<QObject *>();
            if (!sub)
                break;
            t.obj = sub;
        }
        rest = rest.mid(dot + 1);
    }
    if (rest.contains(QLatin1Char('.')) || rest.isEmpty())
        return false; // a path the form does not have
    return setProperty(t, rest, value);
}

QObject *PropertyWriter::FirstComponent(const QString &key, const QString &head) const
{
    const qsizetype dot = key.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return nullptr;
    if (QObject *o = index_.value(head).data())
        return o;
    if (head != rootName_)
        return nullptr;
    const qsizetype next = key.indexOf(QLatin1Char('.'), dot + 1);
    return next < 0 ? nullptr : index_.value(key.mid(dot + 1, next - dot - 1).toLower()).data();
}

void PropertyWriter::remember(QObject *obj, const QString &aspect, std::function<void(QObject *)> restore)
{
    const QPair<const QObject *, QString> key(obj, aspect);
    auto it = saved_.find(key);
    if (it != saved_.end() && it->obj)
        return; // already holds the defined value
    if (it == saved_.end())
        order_.append(key);
    saved_.insert(key, Saved{QPointer<QObject>(obj), std::move(restore)});
}

void PropertyWriter::RestoreDefined()
{
    // Newest first, so aspects written more than once end at their oldest value.
    for (qsizetype i = order_.size() - 1; i >= 0; --i) {
        const Saved s = saved_.value(order_[i]);
        if (s.obj)
            s.restore(s.obj);
    }
    saved_.clear();
    order_.clear();
}

void PropertyWriter::SetRootTitle(const QString &title)
{
    auto *w = qobject_cast<QWidget *>(root_);
    if (!w)
        return;
    const QString old = w->windowTitle();
    remember(w, QStringLiteral("windowTitle"),
             [old](QObject *o) { static_cast<QWidget *>(o)->setWindowTitle(old); });
    w->setWindowTitle(title);
}

bool PropertyWriter::setProperty(const Target &t, const QString &name, const QString &value)
{
    // The language component itself is off limits: a line setting its
    // script or section would restart the pass it is part of.
    if (qobject_cast<TMultiLanguage *>(t.obj))
        return false;
    if (t.font)
        return setFontProperty(t.obj, name, value);
    const bool isWindow = t.obj->isWidgetType() && static_cast<QWidget *>(t.obj)->isWindow();
    for (const PropertyRow &row : PropertyRows()) {
        if (!SameName(name, row.name) || !t.obj->inherits(row.qtClass))
            continue;
        if (row.kind == PropertyKind::WindowTitle && !isWindow)
            continue; // a caption of a plain panel has no Qt counterpart
        return setMapped(t.obj, row, value);
    }
    const int pi = FindPropertyNoCase(t.obj->metaObject(), name);
    if (pi < 0)
        return false;
    // Renaming a control from the file would break every later lookup.
    if (t.obj->metaObject()->property(pi).name() == QByteArray("objectName"))
        return false;
    return setQtProperty(t.obj, pi, value);
}

bool PropertyWriter::setFontProperty(QObject *obj, const QString &name, const QString &value)
{
    auto *w = obj->isWidgetType() ? static_cast<QWidget *>(obj) : nullptr;
    const int fontIndex = w ? -1 : FindPropertyNoCase(obj->metaObject(), QStringLiteral("font"));
    if (!w && fontIndex < 0)
        return false;
    QFont f = w ? w->font() : obj->metaObject()->property(fontIndex).read(obj).value<QFont>();

    if (SameName(name, "Color")) {
        const auto c = LanguageIntegerValue(value);
        if (!w || !c)
            return false;
        const bool had = w->testAttribute(Qt::WA_SetPalette);
        const QPalette old = w->palette();
        remember(w, QStringLiteral("palette"), [had, old](QObject *o) {
            static_cast<QWidget *>(o)->setPalette(had ? old : QPalette());
        });
        QPalette p = w->palette();
        const QColor color = TColorToQColor(*c);
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(role, color);
        w->setPalette(p);
        return true;
    }

    if (SameName(name, "Name")) {
        f.setFamilies({value});
    } else if (SameName(name, "Size")) {
        const auto n = LanguageIntegerValue(value);
        if (!n || *n <= 0)
            return false;
        f.setPointSize(*n);
    } else if (SameName(name, "Height")) {
        const auto n = LanguageIntegerValue(value);
        if (!n || *n == 0)
            return false;
        f.setPixelSize(std::abs(*n)); // negative heights count the glyphs alone
    } else if (SameName(name, "Style")) {
        // A set written as "[fsBold,fsItalic]".
        QString set = value.trimmed();
        if (!set.startsWith(QLatin1Char('[')) || !set.endsWith(QLatin1Char(']')))
            return false;
        bool bold = false, italic = false, underline = false, strike = false;
        for (const QString &raw : set.mid(1, set.size() - 2).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString s = raw.trimmed();
            if (SameName(s, "fsBold"))
                bold = true;
            else if (SameName(s, "fsItalic"))
                italic = true;
            else if (SameName(s, "fsUnderline"))
                underline = true;
            else if (SameName(s, "fsStrikeOut"))
                strike = true;
            else
                return false;
        }
        f.setBold(bold);
        f.setItalic(italic);
        f.setUnderline(underline);
        f.setStrikeOut(strike);
    } else {
        // Charset and anything else: Qt fonts carry no character set (text is
        // Unicode and glyphs fall back per character), so there is nothing to set.
        return false;
    }

    if (w) {
        const bool had = w->testAttribute(Qt::WA_SetFont);
        const QFont old = w->font();
        remember(w, QStringLiteral("font"), [had, old](QObject *o) {
            static_cast<QWidget *>(o)->setFont(had ? old : QFont());
        });
        w->setFont(f);
    } else {
        const QMetaProperty mp = obj->metaObject()->property(fontIndex);
        const QVariant old = mp.read(obj);
        remember(obj, QStringLiteral("font"), [mp, old](QObject *o) { mp.write(o, old); });
        mp.write(obj, QVariant::fromValue(f));
    }
    return true;
}

bool PropertyWriter::setMapped(QObject *obj, const PropertyRow &row, const QString &value)
{
    switch (row.kind) {
    case PropertyKind::QtProperty: {
        const int pi = obj->metaObject()->indexOfProperty(row.qtProperty);
        return pi >= 0 && setQtProperty(obj, pi, value);
    }
    case PropertyKind::WindowTitle:
        if (obj == root_) {
            SetRootTitle(value);
        } else {
            auto *w = static_cast<QWidget *>(obj);
            const QString old = w->windowTitle();
            remember(w, QStringLiteral("windowTitle"),
                     [old](QObject *o) { static_cast<QWidget *>(o)->setWindowTitle(old); });
            w->setWindowTitle(value);
        }
        return true;
    case PropertyKind::Hint: {
        const QVariant oldTip = obj->property("toolTip");
        const QVariant oldStatus = obj->property("statusTip");
        remember(obj, QStringLiteral("hint"), [oldTip, oldStatus](QObject *o) {
            o->setProperty("toolTip", oldTip);
            o->setProperty("statusTip", oldStatus);
        });
        const auto [shortHint, longHint] = SplitHint(value);
        obj->setProperty("toolTip", shortHint);
        obj->setProperty("statusTip", longHint);
        return true;
    }
    case PropertyKind::ListItems: {
        auto *list = static_cast<QListWidget *>(obj);
        QStringList old;
        for (int i = 0; i < list->count(); ++i)
            old.append(list->item(i)->text());
        // The chosen row is the user's, not the language's: it survives both
        // the restore and the new texts.
        remember(list, QStringLiteral("items"), [old](QObject *o) {
            auto *l = static_cast<QListWidget *>(o);
            const int row = l->currentRow();
            l->clear();
            l->addItems(old);
            if (row < l->count())
                l->setCurrentRow(row);
        });
        const int row = list->currentRow();
        list->clear();
        list->addItems(SplitLines(value));
        if (row < list->count())
            list->setCurrentRow(row);
        return true;
    }
    case PropertyKind::ComboItems: {
        auto *combo = static_cast<QComboBox *>(obj);
        QStringList old;
        for (int i = 0; i < combo->count(); ++i)
            old.append(combo->itemText(i));
        // A translated list keeps the user's choice; a list of the same
        // length is renamed in place, so what its rows carry (a colour's
        // German name) stays with them.
        const auto setItems = [](QComboBox *c, const QStringList &texts) {
            if (c->count() == texts.size()) {
                for (int i = 0; i < texts.size(); ++i)
                    c->setItemText(i, texts[i]);
                return;
            }
            const int index = c->currentIndex();
            c->clear();
            c->addItems(texts);
            c->setCurrentIndex(index < c->count() ? index : -1);
        };
        remember(combo, QStringLiteral("items"),
                 [old, setItems](QObject *o) { setItems(static_cast<QComboBox *>(o), old); });
        setItems(combo, SplitLines(value));
        return true;
    }
    case PropertyKind::TabTexts: {
        auto *pages = qobject_cast<QTabWidget *>(obj);
        auto *bar = pages ? pages->tabBar() : static_cast<QTabBar *>(obj);
        QStringList old;
        for (int i = 0; i < bar->count(); ++i)
            old.append(bar->tabText(i));
        remember(bar, QStringLiteral("tabs"), [old](QObject *o) {
            auto *b = static_cast<QTabBar *>(o);
            for (int i = 0; i < b->count() && i < old.size(); ++i)
                b->setTabText(i, old[i]);
        });
        // Tabs carry pages; the file renames them and never adds or removes any.
        const QStringList texts = SplitLines(value);
        for (int i = 0; i < bar->count() && i < texts.size(); ++i)
            bar->setTabText(i, texts[i]);
        return true;
    }
    case PropertyKind::BackColor: {
        const auto c = LanguageIntegerValue(value);
        if (!c)
            return false;
        auto *w = static_cast<QWidget *>(obj);
        const bool had = w->testAttribute(Qt::WA_SetPalette);
        const QPalette old = w->palette();
        const bool oldFill = w->autoFillBackground();
        remember(w, QStringLiteral("palette"), [had, old](QObject *o) {
            static_cast<QWidget *>(o)->setPalette(had ? old : QPalette());
        });
        remember(w, QStringLiteral("autoFillBackground"),
                 [oldFill](QObject *o) { static_cast<QWidget *>(o)->setAutoFillBackground(oldFill); });
        QPalette p = w->palette();
        const QColor color = TColorToQColor(*c);
        p.setColor(QPalette::Window, color);
        p.setColor(QPalette::Base, color);
        w->setPalette(p);
        w->setAutoFillBackground(true);
        return true;
    }
    case PropertyKind::CursorShape: {
        const auto c = LanguageIntegerValue(value);
        if (!c)
            return false;
        auto *w = static_cast<QWidget *>(obj);
        const bool had = w->testAttribute(Qt::WA_SetCursor);
        const QCursor old = w->cursor();
        remember(w, QStringLiteral("cursor"), [had, old](QObject *o) {
            auto *ww = static_cast<QWidget *>(o);
            if (had)
                ww->setCursor(old);
            else
                ww->unsetCursor();
        });
        if (*c == 0)
            w->unsetCursor(); // crDefault: the control's own cursor
        else
            w->setCursor(CursorCodeToShape(*c));
        return true;
    }
    case PropertyKind::DynamicInt: {
        const auto n = LanguageIntegerValue(value);
        if (!n)
            return false;
        const QByteArray name(row.qtProperty);
        const QVariant old = obj->property(name.constData());
        remember(obj, QString::fromLatin1(name),
                 [name, old](QObject *o) { o->setProperty(name.constData(), old); });
        obj->setProperty(name.constData(), *n);
        return true;
    }
    }
    return false;
}

bool PropertyWriter::setQtProperty(QObject *obj, int propertyIndex, const QString &value)
{
    const QMetaProperty mp = obj->metaObject()->property(propertyIndex);
    if (!mp.isWritable())
        return false;

    QVariant v;
    if (mp.isEnumType()) {
        const QMetaEnum e = mp.enumerator();
        bool ok = false;
        int n;
        if (e.isFlag()) {
            QString keys = value.trimmed();
            if (keys.startsWith(QLatin1Char('[')) && keys.endsWith(QLatin1Char(']')))
                keys = keys.mid(1, keys.size() - 2);
            keys.replace(QLatin1Char(','), QLatin1Char('|')).remove(QLatin1Char(' '));
            n = e.keysToValue(keys.toLatin1().constData(), &ok);
        } else {
            n = e.keyToValue(value.trimmed().toLatin1().constData(), &ok);
        }
        if (!ok)
            return false;
        v = n;
    } else {
        switch (mp.metaType().id()) {
        case QMetaType::Bool:
            if (value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                v = true;
            else if (value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                v = false;
            else
                return false;
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort: {
            const auto n = LanguageIntegerValue(value);
            if (!n)
                return false;
            v = *n;
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            bool ok = false;
            const double d = value.toDouble(&ok);
            if (!ok)
                return false;
            v = d;
            break;
        }
        case QMetaType::QString:
            v = value;
            break;
        case QMetaType::QStringList:
            v = SplitLines(value);
            break;
        case QMetaType::QColor: {
            const auto n = LanguageIntegerValue(value);
            if (!n)
                return false;
            v = TColorToQColor(*n);
            break;
        }
        case QMetaType::QCursor: {
            const auto n = LanguageIntegerValue(value);
            if (!n)
                return false;
            v = QCursor(CursorCodeToShape(*n));
            break;
        }
        default: {
            QVariant text(value);
            if (!text.convert(mp.metaType()))
                return false;
            v = text;
        }
        }
    }

    const QVariant old = mp.read(obj);
    remember(obj, QString::fromLatin1(mp.name()), [mp, old](QObject *o) { mp.write(o, old); });
    return mp.write(obj, v);
}

// ---------------------------------------------------------------------------
// The component on every form

TMultiLanguage::TMultiLanguage(QObject *owner, std::function<void(TMultiLanguage *)> onCreate)
    : QObject(owner), writer_(owner)
{
    if (onCreate)
        onCreate(this);
}

TMultiLanguage::~TMultiLanguage() = default;

void TMultiLanguage::SetScript(const QStringList &script)
{
    script_ = script;
    reapply();
}

void TMultiLanguage::SetLanguage(const QString &language)
{
    language_ = language;
    reapply();
}

void TMultiLanguage::Assign(const QStringList &script, const QString &language)
{
    script_ = script;
    language_ = language;
    reapply();
}

void TMultiLanguage::Prepare(const QStringList &script, const QString &language)
{
    script_ = script;
    language_ = language;
    readSection();
}

QString TMultiLanguage::GetText(const QString &key) const
{
    return firstText_.value(key);
}

bool TMultiLanguage::HasText(const QString &key) const
{
    return firstText_.contains(key);
}

void TMultiLanguage::SetOwnerCaption(const QString &key)
{
    // Without the key the title stays the form's own (it was restored by the
    // last re-application): a blank title bar helps nobody.
    if (HasText(key))
        writer_.SetRootTitle(GetText(key));
}

void TMultiLanguage::readSection()
{
    // Shared with every other form of the same file and language.
    const SectionIndex &section = IndexedSection(script_, language_);
    lines_ = section.lines;
    firstText_ = section.firstText;
    ++textsRead_;
    heads_ = section.heads;
    linesByHead_ = section.linesByHead;
    // What waited was for the lines read before.
    waiting_.clear();
}

void TMultiLanguage::reapply()
{
    writer_.RestoreDefined();
    readSection();
    if (parent()) {
        writer_.BeginPass();
        // The file addresses every form at once; a form writes only the
        // lines that start with something it has, in the file's order.
        const QList<qsizetype> reached = writer_.LinesReached(linesByHead_);
        if (waits_)
            waiting_.reserve(lines_.size() - reached.size());
        qsizetype next = 0; // lines before it that were not reached wait
        for (qsizetype i : reached) {
            // The form may still make the controls of the others before the
            // waiting lines are written.
            if (waits_)
                for (; next < i; ++next)
                    waiting_.append(next);
            next = i + 1;
            // Lines of one control all wait or none does, so the file's
            // order still decides among the lines that write the same thing.
            if (waits_) {
                QObject *first = writer_.FirstComponent(lines_.at(i).key, heads_.at(i));
                if (first && waits_(first)) {
                    waiting_.append(i);
                    continue;
                }
            }
            writer_.Apply(lines_.at(i).key, lines_.at(i).value);
        }
        if (waits_)
            for (; next < lines_.size(); ++next)
                waiting_.append(next);
    }
    emit OnTranslate();
}

// An item whose text nobody sees before a menu opens: one shown only in
// drop-down menus or as a picture on a tool bar (its hints show when the
// pointer rests on it). The menu bar's titles are seen at once.
bool ShownOnlyInMenus(QObject *o)
{
    if (auto *menu = qobject_cast<QMenu *>(o))
        return !menu->isVisible();
    auto *action = qobject_cast<QAction *>(o);
    if (!action)
        return false;
    const QList<QObject *> shownBy = action->associatedObjects();
    return std::all_of(shownBy.begin(), shownBy.end(), [](QObject *w) {
        if (qobject_cast<QMenu *>(w))
            return true;
        if (auto *bar = qobject_cast<QToolBar *>(w))
            return bar->toolButtonStyle() == Qt::ToolButtonIconOnly;
        if (auto *button = qobject_cast<QToolButton *>(w))
            return button->toolButtonStyle() == Qt::ToolButtonIconOnly;
        return false;
    });
}


void FirstLanguagePass(TMultiLanguage *ml, QObject *context, const std::function<void()> &pass,
                       std::function<void()> writeWaiting)
{
    ml->SetWaitingTest(&ShownOnlyInMenus);
    pass();
    ml->SetWaitingTest({});
    if (!writeWaiting)
        writeWaiting = [ml = QPointer<TMultiLanguage>(ml)] {
            if (ml)
                ml->ApplyWaiting();
        };
    AfterFirstFrame(context, std::move(writeWaiting));
}

void TMultiLanguage::ApplyWaiting()
{
    if (waiting_.isEmpty() || !parent())
        return;
    const QList<qsizetype> lines = std::exchange(waiting_, {});
    writer_.BeginPass();
    for (qsizetype i : lines)
        if (writer_.MayReach(heads_.at(i)))
            writer_.Apply(lines_.at(i).key, lines_.at(i).value);
}

// ---------------------------------------------------------------------------
// The per-form language switch

const QList<CaptionKey> &CaptionKeyTable()
{
    static const QList<CaptionKey> table = {
        {"TAboutDlgBMForm", "Set_AboutDlgForm_Title"},
        {"TAllKonvBMForm", "Set_AllKonvForm_Title"},
        {"TAntialiasing2BMForm", "Set_Antialiasing2Form_Title"},
        {"TAskAviViewBMForm", "Set_AskAviViewForm_Title"},
        {"TAttachBMForm", "Set_AttachBMForm_Title"},
        {"TAviViewBMForm", "Set_AviViewForm_Title"},
        {"TBorderPropertyBMForm", "Set_BorderPropertyForm_Title"},
        {"TByteTempBMForm", "Set_ByteTempForm_Title"},
        {"TColViewForm", "Set_ColViewForm_Title"},
        {"TContrClassForm", "Set_ContrClassForm_Title"},
        {"TCoordScanBMForm", "Set_CoordScanForm_Title"},
        {"TDateFindBMForm", "Set_DateFindForm_Title"},
        {"TDirBDForm", "Set_DirBDForm_Title"},
        {"TDragDropFilesBMForm", "Set_DragDropFilesForm_Title"},
        {"TDynEntryDelBMForm", "Set_DynEntryBMForm_Title"},
        {"TExtractBMForm", "Set_ExtractForm_Title"},
        {"TFileInfDlgBMForm", "Set_FileInfDlgForm_Title"},
        {"TFileOutputBDForm", "Set_FileOutputForm_Title"},
        {"TFileSplitBMForm", "Set_FileSplitForm_Title"},
        {"TFindOptBMForm", "Set_FindOptForm_Title"},
        {"TFindProcessForm", "Set_FindProcessForm_Title"},
        {"TGifColOptBMForm", "Set_GifColForm_Title"},
        {"TGraphEdtBMForm", "Set_GraphEdtForm_Title"},
        {"TIcoResBatchBMForm", "Set_IcoResBatchForm_Title"},
        {"TIconLinkExtBMForm", "Set_IconLinkExtForm_Title"},
        {"TImgGalBMForm", "Set_ImgGalForm_Title"},
        {"TJpgScaleBMForm", "Set_JpgScaleForm_Title"},
        {"TKeybHlpBMForm", "Set_HelpKeybForm_Title"},
        {"TMapiConfigBMForm", "Set_MapiBMForm_Title"},
        {"TMinKindBMForm", "Set_MinKindBMForm_Title"},
        {"TMouseTestBMForm", "Set_MouseTestBMForm_Title"},
        {"TNavBDForm", "Set_NavBDForm_Title"},
        {"TNewDimPicBMForm", "Set_NewDimPicForm_Title"},
        {"TNumKindBMForm", "Set_NumKindBMForm_Title"},
        {"TOptionDlgBMForm", "Set_OptionDlgForm_Title"},
        {"TPrPrevForm", "Set_PrPrevForm_Titel"},
        {"TRGBChannelsBMForm", "Set_RGBChannelsForm_Title"},
        {"TRecorderForm", "Set_RecorderForm_Title"},
        {"TSaveAviEdtForm", "Set_SaveAviEdtForm_Title"},
        {"TScaleBMForm", "Set_ScaleForm_Title"},
        {"TScanBTestBMForm", "Set_ScanBTestForm_Title"},
        {"TSelSysDirBMForm", "Set_SelSysDirBMForm_Title"},
        {"TShlExtTypeBMForm", "Set_ShlExtTypeForm_Title"},
        {"TSlideConfigBMForm", "Set_SlideConfigForm_Title"},
        {"TSmtpBMForm", "Set_SmtpBMForm_Title"},
        {"TWatermarkBMForm", "Set_WatermarkBMForm_Title"},
    };
    return table;
}

const QStringList &OtherFormKeys()
{
    static const QStringList keys = {
        QStringLiteral("Set_FileKonvForm_Title"),
        QStringLiteral("Set_DirKonvForm_Title"),
        QStringLiteral("Set_MultiKonvForm_Title"),
        QStringLiteral("Set_ThumbForm_Title"),
        QStringLiteral("Set_ImgPreviewForm_Title_Tag0"),
        QStringLiteral("Set_ImgPreviewForm_Title_Tag1"),
        QStringLiteral("Set_ImgPreviewForm_Title_Tag2"),
        QStringLiteral("set_notfsform_button_hint"),
    };
    return keys;
}

QString CaptionKeyFor(const QString &formClass)
{
    const qsizetype colon = formClass.lastIndexOf(QLatin1String("::"));
    const QString bare = colon < 0 ? formClass : formClass.mid(colon + 2);
    for (const CaptionKey &k : CaptionKeyTable())
        if (bare == QLatin1String(k.formClass))
            return QString::fromLatin1(k.key);
    return {};
}

TMultiLanguage *FormMultiLanguage(QObject *form)
{
    return form ? form->findChild<TMultiLanguage *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

QString FormText(QObject *form, const QString &key, const QString &german)
{
    const TMultiLanguage *ml = FormMultiLanguage(form);
    return ml && ml->HasText(key) ? ml->GetText(key) : german;
}

void SetFormLanguage(QWidget *form, const QStringList &script, int languageIndex)
{
    if (!form)
        return;
    TMultiLanguage *ml = FormMultiLanguage(form);
    if (!ml)
        ml = new TMultiLanguage(form);
    // One re-application with the new script and section together; setting
    // the two one after the other would only add a pass of the old language.
    ml->Assign(script, LanguageName(languageIndex));
    const QString key = CaptionKeyFor(QString::fromLatin1(form->metaObject()->className()));
    if (!key.isEmpty())
        ml->SetOwnerCaption(key);
}

} // namespace zk
