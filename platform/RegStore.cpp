#include "RegStore.h"

#include "AsciiCase.h"

#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <map>
#include <memory>
#include <utility>

namespace zk::regstore {

const char *const FileHeader = "Zelkora Registry Version 1";

namespace {

// Every value read folds its key's path and its own name. They are nearly
// always ASCII, where folding is lowering A to Z: done in one pass without
// the Unicode tables, and a name already in lower case is shared, not copied.
QString fold(const QString &s)
{
    if (std::optional<QString> lowered = AsciiLowered(s))
        return *std::move(lowered);
    return s.toCaseFolded();
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// ---- text form of names and strings ---------------------------------------

bool needsEscape(const QString &s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == '"' || u == '\\' || u == 0x7f || c.isSurrogate())
            return true;
    }
    return false;
}

void appendQuoted(QByteArray &out, const QString &s)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    if (!needsEscape(s)) {
        out += s.toUtf8();
        out += '"';
        return;
    }
    QString esc;
    esc.reserve(s.size() + 16);
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = s.at(i);
        const char16_t u = c.unicode();
        if (u == '\\') {
            esc += u"\\\\";
        } else if (u == '"') {
            esc += u"\\\"";
        } else if (u == '\n') {
            esc += u"\\n";
        } else if (u == '\r') {
            esc += u"\\r";
        } else if (u == '\t') {
            esc += u"\\t";
        } else if (u < 0x20 || u == 0x7f) {
            esc += u"\\x";
            esc += QChar(hex[u >> 4]);
            esc += QChar(hex[u & 15]);
        } else if (c.isHighSurrogate() && i + 1 < n && s.at(i + 1).isLowSurrogate()) {
            esc += c;
            esc += s.at(++i);
        } else if (c.isSurrogate()) {
            // A lone half of a pair has no UTF-8 form; keep it as a number.
            esc += u"\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                esc += QChar(hex[(u >> shift) & 15]);
        } else {
            esc += c;
        }
    }
    out += esc.toUtf8();
    out += '"';
}

// Reads a quoted string starting at line[pos] (the opening quote). On success
// pos is just past the closing quote.
bool readQuoted(QStringView line, qsizetype &pos, QString *out)
{
    if (pos >= line.size() || line.at(pos) != u'"')
        return false;
    ++pos;
    // Most texts have no escapes: take them in one piece.
    const qsizetype quote = line.indexOf(u'"', pos);
    const qsizetype backslash = line.indexOf(u'\\', pos);
    if (quote >= 0 && (backslash < 0 || backslash > quote)) {
        *out = line.mid(pos, quote - pos).toString();
        pos = quote + 1;
        return true;
    }
    out->clear();
    while (pos < line.size()) {
        const QChar c = line.at(pos++);
        if (c == u'"')
            return true;
        if (c != u'\\') {
            *out += c;
            continue;
        }
        if (pos >= line.size())
            return false;
        const QChar e = line.at(pos++);
        switch (e.unicode()) {
        case '\\': *out += u'\\'; break;
        case '"': *out += u'"'; break;
        case 'n': *out += u'\n'; break;
        case 'r': *out += u'\r'; break;
        case 't': *out += u'\t'; break;
        case 'x':
        case 'u': {
            const int digits = e == u'x' ? 2 : 4;
            if (pos + digits > line.size())
                return false;
            int v = 0;
            for (int k = 0; k < digits; ++k) {
                const int d = hexDigit(line.at(pos++));
                if (d < 0)
                    return false;
                v = v * 16 + d;
            }
            *out += QChar(char16_t(v));
            break;
        }
        default:
            return false;
        }
    }
    return false; // no closing quote
}

void appendHexBytes(QByteArray &out, const QByteArray &bytes)
{
    static const char hex[] = "0123456789abcdef";
    if (bytes.isEmpty())
        return;
    const qsizetype start = out.size();
    out.resize(start + bytes.size() * 3 - 1);
    char *p = out.data() + start;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            *p++ = ',';
        const auto b = static_cast<unsigned char>(bytes.at(i));
        *p++ = hex[b >> 4];
        *p++ = hex[b & 15];
    }
}

// "01,ff,2a": pairs of hex digits separated by commas; blanks around them
// are allowed, an empty list is an empty value.
bool readHexBytes(QStringView text, QByteArray *out)
{
    out->clear();
    text = text.trimmed();
    if (text.isEmpty())
        return true;
    out->reserve(text.size() / 3 + 1);
    for (QStringView item : text.split(u',')) {
        item = item.trimmed();
        if (item.size() != 2)
            return false;
        const int hi = hexDigit(item.at(0));
        const int lo = hexDigit(item.at(1));
        if (hi < 0 || lo < 0)
            return false;
        out->append(char(hi * 16 + lo));
    }
    return true;
}

QByteArray utf16le(const QString &s)
{
    QByteArray b;
    b.reserve((s.size() + 1) * 2);
    for (QChar c : s) {
        b.append(char(c.unicode() & 0xff));
        b.append(char(c.unicode() >> 8));
    }
    b.append('\0');
    b.append('\0');
    return b;
}

bool fromUtf16le(const QByteArray &b, QString *out)
{
    if (b.size() % 2)
        return false;
    out->clear();
    for (qsizetype i = 0; i + 1 < b.size(); i += 2)
        *out += QChar(char16_t(static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8)));
    // The terminating NUL belongs to the encoding, not to the text.
    if (out->endsWith(QChar(u'\0')))
        out->chop(1);
    return true;
}

// Parses the part after '=' of a value line into v. Returns false for
// anything this format cannot hold.
bool parseData(QStringView line, qsizetype pos, Value *v)
{
    const QStringView rest = line.mid(pos);
    if (rest.startsWith(u'"')) {
        qsizetype p = pos;
        if (!readQuoted(line, p, &v->text) || p != line.size())
            return false;
        v->type = RegDataType::String;
        return true;
    }
    if (rest.startsWith(u"dword:")) {
        const QStringView digits = rest.mid(6).trimmed();
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        std::uint32_t n = 0;
        for (QChar c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return false;
            n = n * 16 + std::uint32_t(d);
        }
        v->type = RegDataType::Integer;
        v->dword = n;
        return true;
    }
    if (rest.startsWith(u"hex:")) {
        v->type = RegDataType::Binary;
        return readHexBytes(rest.mid(4), &v->bytes);
    }
    if (rest.startsWith(u"hex(")) {
        const qsizetype close = rest.indexOf(u')');
        if (close < 5 || close > 12 || rest.mid(close + 1, 1) != u":")
            return false;
        bool ok = false;
        const int kind = rest.mid(4, close - 4).toInt(&ok, 16);
        if (!ok || kind < 0)
            return false;
        QByteArray bytes;
        if (!readHexBytes(rest.mid(close + 2), &bytes))
            return false;
        if (kind == 2) {
            v->type = RegDataType::ExpandString;
            return fromUtf16le(bytes, &v->text);
        }
        if (kind == 3) {
            v->type = RegDataType::Binary;
            v->bytes = bytes;
            return true;
        }
        v->type = RegDataType::Unknown;
        v->rawKind = kind;
        v->bytes = bytes;
        return true;
    }
    return false;
}

} // namespace

// ---- values and keys ---------------------------------------------------------

int Value::dataSize() const
{
    switch (type) {
    case RegDataType::String:
    case RegDataType::ExpandString:
        // Counted as the registry counts it: UTF-16 with the terminating NUL.
        return int((text.size() + 1) * 2);
    case RegDataType::Integer:
        return 4;
    case RegDataType::Binary:
    case RegDataType::Unknown:
        return int(bytes.size());
    }
    return 0;
}

int Key::indexOf(const QString &name) const
{
    return m_index.value(fold(name), -1);
}

const Value *Key::find(const QString &name) const
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &values[i];
}

Value *Key::find(const QString &name)
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &values[i];
}

void Key::set(Value value)
{
    QString folded = fold(value.name);
    const int i = m_index.value(folded, -1);
    if (i >= 0) {
        value.name = values[i].name;
        values[i] = std::move(value);
        return;
    }
    m_index.insert(std::move(folded), int(values.size()));
    values.append(std::move(value));
}

bool Key::remove(const QString &name)
{
    const int i = indexOf(name);
    if (i < 0)
        return false;
    values.removeAt(i);
    reindex();
    return true;
}

void Key::reindex()
{
    m_index.clear();
    for (int i = 0; i < values.size(); ++i)
        m_index.insert(fold(values[i].name), i);
}

bool splitPath(const QString &path, QStringList *parts)
{
    parts->clear();
    for (const QString &part : path.split(u'\\', Qt::SkipEmptyParts)) {
        for (QChar c : part) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                return false;
        }
        parts->append(part);
    }
    return true;
}

QString parentPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(u'\\');
    return cut < 0 ? QString() : path.left(cut);
}

int Tree::indexOf(const QString &path) const
{
    return m_index.value(fold(path), -1);
}

const Key *Tree::find(const QString &path) const
{
    const int i = indexOf(path);
    return i < 0 ? nullptr : &m_keys[size_t(i)];
}

Key *Tree::find(const QString &path)
{
    const int i = indexOf(path);
    return i < 0 ? nullptr : &m_keys[size_t(i)];
}

Key &Tree::make(const QString &path)
{
    // Callers never pass the root: values cannot live there.
    Q_ASSERT(!path.split(u'\\', Qt::SkipEmptyParts).isEmpty());
    if (Key *k = find(path)) {
        k->section = true;
        return *k;
    }
    const QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    QString built;
    for (const QString &part : parts) {
        QString next = built.isEmpty() ? part : built + u'\\' + part;
        if (const Key *existing = find(next)) {
            built = existing->path; // keep the case it was written with
            continue;
        }
        Key k;
        k.path = next;
        m_index.insert(fold(next), int(m_keys.size()));
        m_keys.push_back(std::move(k));
        built = next;
    }
    Key &made = *find(path);
    made.section = true;
    return made;
}

bool Tree::remove(const QString &path)
{
    const QString folded = fold(path);
    if (folded.isEmpty() || !m_index.contains(folded))
        return false;
    const QString prefix = folded + u'\\';
    std::erase_if(m_keys, [&](const Key &k) {
        const QString f = fold(k.path);
        return f == folded || f.startsWith(prefix);
    });
    reindex();
    return true;
}

QStringList Tree::childNames(const QString &path) const
{
    const QString folded = fold(path);
    QStringList names;
    for (const Key &k : m_keys) {
        if (fold(parentPath(k.path)) == folded)
            names.append(k.path.mid(k.path.lastIndexOf(u'\\') + 1));
    }
    return names;
}

bool Tree::hasChildren(const QString &path) const
{
    const QString folded = fold(path);
    for (const Key &k : m_keys) {
        if (fold(parentPath(k.path)) == folded)
            return true;
    }
    return false;
}

void Tree::clear()
{
    m_keys.clear();
    m_index.clear();
}

void Tree::reindex()
{
    m_index.clear();
    for (size_t i = 0; i < m_keys.size(); ++i)
        m_index.insert(fold(m_keys[i].path), int(i));
}

// ---- text form of the whole store --------------------------------------------

Tree parse(const QByteArray &data, const QString &fileName, bool *damagedOut)
{
    Tree tree;
    // Usually the whole file is valid UTF-8 and lines need no check of their own.
    QStringDecoder whole(QStringDecoder::Utf8);
    const QString decoded = whole.decode(data);
    const bool allValid = !whole.hasError();

    Key *current = nullptr;
    bool sawHeader = false;
    int lineNo = 0;
    // A file of garbage would give a warning per line; the first few tell
    // what is wrong, the count the rest.
    constexpr int shownWarnings = 10;
    int skipped = 0;
    auto damaged = [&](const QString &why) {
        if (++skipped <= shownWarnings)
            qWarning().noquote() << QStringLiteral("%1, line %2: %3; the line is skipped")
                                        .arg(QDir::toNativeSeparators(fileName))
                                        .arg(lineNo)
                                        .arg(why);
    };
    QString lineStore; // a line decoded on its own when the file is not all UTF-8
    qsizetype start = 0;
    const qsizetype total = allValid ? decoded.size() : data.size();
    while (start < total) {
        QStringView line;
        if (allValid) {
            qsizetype end = decoded.indexOf(u'\n', start);
            if (end < 0)
                end = decoded.size();
            line = QStringView(decoded).mid(start, end - start);
            start = end + 1;
            ++lineNo;
        } else {
            qsizetype end = data.indexOf('\n', start);
            if (end < 0)
                end = data.size();
            QStringDecoder dec(QStringDecoder::Utf8);
            lineStore = dec.decode(QByteArrayView(data.constData() + start, end - start));
            start = end + 1;
            ++lineNo;
            if (dec.hasError()) {
                damaged(QStringLiteral("not valid UTF-8"));
                continue;
            }
            line = lineStore;
        }
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!sawHeader) {
            if (lineNo == 1 && line.startsWith(QChar(0xfeff)))
                line = line.mid(1);
            if (line.trimmed().isEmpty())
                continue;
            sawHeader = true;
            if (line == QLatin1String(FileHeader))
                continue;
            // Go on after it: the rest may still be readable.
            damaged(QStringLiteral("unknown header \"%1\"").arg(line.left(80)));
            continue;
        }
        if (line.isEmpty() || line.startsWith(u';') || line.trimmed().isEmpty())
            continue;
        if (line.startsWith(u'[')) {
            QStringList parts;
            if (!line.endsWith(u']') || line.size() < 3
                || !splitPath(line.mid(1, line.size() - 2).toString(), &parts) || parts.isEmpty()) {
                damaged(QStringLiteral("not a valid key"));
                current = nullptr;
                continue;
            }
            current = &tree.make(parts.join(u'\\'));
            continue;
        }
        if (line.startsWith(u'"') || line.startsWith(u'@')) {
            if (!current) {
                damaged(QStringLiteral("a value outside of any key"));
                continue;
            }
            Value v;
            qsizetype pos = 0;
            if (line.startsWith(u'@')) {
                pos = 1;
            } else if (!readQuoted(line, pos, &v.name)) {
                damaged(QStringLiteral("the value name is not a valid quoted text"));
                continue;
            }
            if (pos >= line.size() || line.at(pos) != u'=') {
                damaged(QStringLiteral("'=' expected after the value name"));
                continue;
            }
            if (!parseData(line, pos + 1, &v)) {
                damaged(QStringLiteral("the data of value \"%1\" is damaged").arg(v.name));
                continue;
            }
            current->set(std::move(v));
            continue;
        }
        damaged(QStringLiteral("not a key, a value or a comment"));
    }
    if (skipped > shownWarnings)
        qWarning().noquote() << QStringLiteral("%1: %2 more damaged lines skipped")
                                    .arg(QDir::toNativeSeparators(fileName))
                                    .arg(skipped - shownWarnings);
    if (damagedOut)
        *damagedOut = skipped > 0;
    return tree;
}

QByteArray serialize(const Tree &tree, qsizetype sizeHint)
{
    QByteArray out;
    out.reserve(sizeHint + 256);
    out += FileHeader;
    out += '\n';
    for (const Key &k : tree.keys()) {
        // Keys that only lead to deeper ones are implied by those: writing
        // each of a deep chain would make the file grow with its square.
        if (k.values.isEmpty() && !k.section)
            continue;
        out += "\n[";
        out += k.path.toUtf8();
        out += "]\n";
        for (const Value &v : k.values) {
            if (v.name.isEmpty())
                out += '@';
            else
                appendQuoted(out, v.name);
            out += '=';
            switch (v.type) {
            case RegDataType::String:
                appendQuoted(out, v.text);
                break;
            case RegDataType::ExpandString:
                out += "hex(2):";
                appendHexBytes(out, utf16le(v.text));
                break;
            case RegDataType::Integer: {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.dword));
                out += buf;
                break;
            }
            case RegDataType::Binary:
                out += "hex:";
                appendHexBytes(out, v.bytes);
                break;
            case RegDataType::Unknown:
                out += "hex(";
                out += QByteArray::number(v.rawKind, 16);
                out += "):";
                appendHexBytes(out, v.bytes);
                break;
            }
            out += '\n';
        }
    }
    return out;
}

// ---- the shared store ----------------------------------------------------------

Store &Store::at(const QString &fileName)
{
    static std::mutex registryMutex;
    static std::map<QString, std::unique_ptr<Store>> stores;
    std::lock_guard<std::mutex> guard(registryMutex);
    auto &slot = stores[fileName];
    if (!slot)
        slot.reset(new Store(fileName));
    return *slot;
}

Store::Store(const QString &fileName) : m_file(fileName) {}

bool Store::adopt(const QByteArray &data, const storeio::FileStamp &stamp)
{
    m_stamp = stamp;
    // Unchanged bytes: the tree already is this content with the changes not
    // written yet on top.
    if (m_loaded && !m_stale && data == m_raw)
        return false;
    m_tree = parse(data, m_file, &m_rawDamaged);
    m_raw = data;
    m_stale = false;
    m_loaded = true;
    // Changes not written yet go on top of the newest content.
    for (const auto &fn : m_pending)
        fn(m_tree);
    return true;
}

void Store::refresh()
{
    // A batch looks at the file once: its changes go onto the newest file
    // when it ends anyway, and a look per value would cost a system call each.
    // So does a look (its writes read the file again under the lock).
    const bool once = m_batchDepth > 0 || m_lookDepth > 0;
    if (once && m_looked && m_loaded)
        return;
    m_looked = once;
    const storeio::FileStamp now = storeio::stampOf(m_file);
    if (m_loaded && now == m_stamp)
        return;
    QByteArray data;
    storeio::FileStamp stamp;
    QString error;
    switch (storeio::readWholeFile(m_file, &data, &stamp, &error)) {
    case storeio::ReadResult::Ok:
    case storeio::ReadResult::Missing:
        adopt(data, stamp);
        break;
    case storeio::ReadResult::Failed:
        // Keep what we had and say so once, until the file changes again.
        qWarning().noquote() << QStringLiteral("Cannot read the registry file \"%1\": %2").arg(m_file, error);
        m_stamp = now;
        m_loaded = true;
        break;
    }
}

bool Store::adoptFromFile()
{
    // Whatever other processes wrote up to now is the base of this change.
    QByteArray data;
    storeio::FileStamp stamp;
    QString error;
    if (storeio::readWholeFile(m_file, &data, &stamp, &error) == storeio::ReadResult::Failed)
        throw ERegistryException(QStringLiteral("Cannot read the registry file \"%1\": %2").arg(m_file, error));
    return adopt(data, stamp);
}

void Store::flush(QByteArray bytes)
{
    if (bytes.isNull())
        bytes = serialize(m_tree, m_raw.size());
    if (m_stamp.exists ? bytes == m_raw : m_tree.keys().empty())
        return; // nothing changed
    QString error;
    if (m_rawDamaged && m_stamp.exists)
        keepDamaged();
    if (!storeio::replaceFile(m_file, bytes, 0600, &error, m_file + QStringLiteral(".tmp")))
        throw ERegistryException(QStringLiteral("Cannot write the registry file \"%1\": %2").arg(m_file, error));
    m_raw = std::move(bytes);
    m_stamp = storeio::stampOf(m_file);
}

void Store::keepDamaged()
{
    // Beside the file the link leads to: that is the file being replaced.
    const QString target = ResolveLinkTarget(m_file);
    const QString copy = target + QStringLiteral(".damaged");
    TPendingFile pending;
    QString error;
    if (!pending.Write(copy, m_raw, 0600, &error) || !pending.Replace(&error))
        throw ERegistryException(
            QStringLiteral("Cannot keep the damaged registry file \"%1\" as \"%2\": %3").arg(target, copy, error));
    m_rawDamaged = false;
    qWarning().noquote() << QStringLiteral("The registry file \"%1\" did not read cleanly; it is kept as \"%2\"")
                                .arg(target, copy);
    ReportDamagedStore(target, copy);
}

// A store file the user made read-only stays as it is: renaming a new file
// over it would undo the user's choice.
static void refuseReadOnly(const QString &file)
{
    const QByteArray name = QFile::encodeName(file);
    if (::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) == 0 || errno == ENOENT)
        return;
    const int e = errno;
    const QString why = e == EROFS                 ? QStringLiteral("the file system is read-only")
                        : e == EACCES || e == EPERM ? QStringLiteral("the file is read-only")
                                                    : qt_error_string(e); // a folder that is a file, say
    throw ERegistryException(QStringLiteral("Cannot write the registry file \"%1\": %2").arg(file, why));
}

static std::unique_ptr<storeio::ExclusiveLock> takeStoreLock(const QString &file)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(dir))
        throw ERegistryException(QStringLiteral("Cannot write the registry file \"%1\": the folder \"%2\" cannot be created")
                                     .arg(file, dir));
    auto lock = std::make_unique<storeio::ExclusiveLock>(file + QStringLiteral(".lock"));
    if (!lock->locked())
        throw ERegistryException(QStringLiteral("Cannot write the registry file \"%1\": %2").arg(file, lock->error()));
    return lock;
}

void Store::write(const std::function<void(Tree &)> &fn)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    refresh();
    fn(m_tree);
    m_pending.push_back(fn);
    if (m_batchDepth == 0)
        commitPending();
}

void Store::commitPending()
{
    if (m_pending.empty())
        return;
    try {
        // Nothing to do when the changes leave the newest file as it is: no
        // lock, no write, no error from a store that cannot be written.
        refresh();
        const QByteArray bytes = serialize(m_tree, m_raw.size());
        if (m_stamp.exists ? bytes == m_raw : m_tree.keys().empty()) {
            m_pending.clear();
            return;
        }
        refuseReadOnly(m_file);
        auto lock = takeStoreLock(m_file);
        // The newest file with our changes on top; when nobody wrote since
        // we looked, the bytes made above are the ones to write.
        const bool reparsed = adoptFromFile();
        flush(reparsed ? QByteArray() : bytes);
    } catch (...) {
        // Back to what the file holds; the changes did not happen. The tree
        // goes back to the content last read or written at once (kept in
        // m_raw): when the file cannot be read again, that is what the next
        // look keeps, and it must not hold the changes that failed.
        m_pending.clear();
        bool damaged = false;
        m_tree = parse(m_raw, m_file, &damaged);
        m_loaded = false;
        m_stale = true;
        throw;
    }
    m_pending.clear();
}

void Store::markDamaged()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    refresh();
    if (m_stamp.exists)
        m_rawDamaged = true;
}

void Store::beginBatch()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_batchDepth++ == 0)
        m_looked = false;
}

void Store::beginLook()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    ++m_lookDepth;
}

void Store::endLook()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_lookDepth > 0 && --m_lookDepth == 0 && m_batchDepth == 0)
        m_looked = false;
}

void Store::endBatch()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    m_looked = m_lookDepth > 0 && m_looked;
    commitPending();
}

} // namespace zk::regstore
