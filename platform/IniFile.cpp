#include "IniFile.h"

#include "StoreIo.h"

#include <QDir>
#include <QSet>
#include <QStringDecoder>
#include <QtDebug>

#include <vector>

namespace zk {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes the
// code page leaves unassigned keep their Latin-1 meaning, as Windows does.
const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromCp1252(QByteArrayView bytes)
{
    QString s(bytes.size(), Qt::Uninitialized);
    QChar *out = s.data();
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return s;
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\n') || s.contains(u'\r');
}

} // namespace

struct TIniFile::Impl
{
    struct Line
    {
        QString text;
        QString eol; // "\n", "\r\n", or "" for a last line without one
    };

    QString fileName;
    std::vector<Line> lines;
    bool bom = false;
    QString newline = QStringLiteral("\n");
    storeio::FileStamp stamp;
    bool loaded = false;

    // A section header "[name]" (blanks around the name ignored).
    static bool sectionOf(const QString &line, QString *name)
    {
        const QStringView t = QStringView(line).trimmed();
        if (!t.startsWith(u'['))
            return false;
        const qsizetype close = t.indexOf(u']');
        if (close < 0)
            return false;
        *name = t.mid(1, close - 1).trimmed().toString();
        return true;
    }

    // An entry "ident=value"; comments (';') and lines without '=' are not.
    static bool entryOf(const QString &line, QStringView *ident, QStringView *value)
    {
        const QStringView t = QStringView(line).trimmed();
        if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'['))
            return false;
        const qsizetype eq = t.indexOf(u'=');
        if (eq <= 0)
            return false;
        *ident = t.left(eq).trimmed();
        if (ident->isEmpty())
            return false;
        if (value)
            *value = t.mid(eq + 1).trimmed();
        return true;
    }

    static bool isSection(const QString &line)
    {
        QString dummy;
        return sectionOf(line, &dummy);
    }

    // [first, last) line ranges of the bodies of every section with this name.
    std::vector<std::pair<size_t, size_t>> bodiesOf(const QString &section) const
    {
        std::vector<std::pair<size_t, size_t>> ranges;
        const QString wanted = section.trimmed();
        for (size_t i = 0; i < lines.size(); ++i) {
            QString name;
            if (!sectionOf(lines[i].text, &name) || !sameName(name, wanted))
                continue;
            size_t end = i + 1;
            while (end < lines.size() && !isSection(lines[end].text))
                ++end;
            ranges.emplace_back(i + 1, end);
            i = end - 1;
        }
        return ranges;
    }

    // The line of the first entry with this ident in the section, or -1.
    long findEntry(const QString &section, const QString &ident) const
    {
        const QString wanted = ident.trimmed();
        for (auto [first, last] : bodiesOf(section)) {
            for (size_t i = first; i < last; ++i) {
                QStringView id;
                if (entryOf(lines[i].text, &id, nullptr) && sameName(id, wanted))
                    return long(i);
            }
        }
        return -1;
    }

    void load()
    {
        lines.clear();
        bom = false;
        newline = QStringLiteral("\n");
        QByteArray data;
        QString error;
        const storeio::ReadResult r = storeio::readWholeFile(fileName, &data, &stamp, &error);
        loaded = true;
        if (r == storeio::ReadResult::Failed) {
            qWarning().noquote() << QStringLiteral("Cannot read the ini file \"%1\": %2")
                                        .arg(QDir::toNativeSeparators(fileName), error);
            stamp = storeio::stampOf(fileName);
            return;
        }
        if (r == storeio::ReadResult::Missing)
            return;
        QByteArrayView bytes(data);
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            bom = true;
            bytes = bytes.sliced(3);
        }
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(bytes);
        if (utf8.hasError())
            text = fromCp1252(bytes); // an older file from Windows
        qsizetype start = 0;
        bool newlineKnown = false;
        while (start < text.size()) {
            qsizetype end = text.indexOf(u'\n', start);
            Line line;
            if (end < 0) {
                line.text = text.mid(start);
                start = text.size();
            } else {
                line.text = text.mid(start, end - start);
                line.eol = QStringLiteral("\n");
                if (line.text.endsWith(u'\r')) {
                    line.text.chop(1);
                    line.eol = QStringLiteral("\r\n");
                }
                if (!newlineKnown) {
                    newline = line.eol;
                    newlineKnown = true;
                }
                start = end + 1;
            }
            lines.push_back(std::move(line));
        }
    }

    void ensureFresh()
    {
        if (!loaded || storeio::stampOf(fileName) != stamp)
            load();
    }

    bool save()
    {
        QString text;
        for (const Line &l : lines) {
            text += l.text;
            text += l.eol;
        }
        QByteArray data;
        if (bom)
            data = QByteArray("\xEF\xBB\xBF");
        data += text.toUtf8();
        QString error;
        if (!storeio::replaceFile(fileName, data, 0666, &error)) {
            qWarning().noquote() << QStringLiteral("Cannot save the ini file \"%1\": %2")
                                        .arg(QDir::toNativeSeparators(fileName), error);
            return false;
        }
        stamp = storeio::stampOf(fileName);
        return true;
    }

    // Saves, or puts the lines back as they were when the save fails, so
    // memory keeps matching the file.
    bool commit(std::vector<Line> &&before)
    {
        if (save())
            return true;
        lines = std::move(before);
        return false;
    }

    // Gives the last line a line end before something is added after it.
    void terminateLastLine()
    {
        if (!lines.empty() && lines.back().eol.isEmpty())
            lines.back().eol = newline;
    }

    bool write(const QString &section, const QString &ident, const QString &value)
    {
        // A line break, or a name that reads back as something else, would
        // change the structure of the file.
        const QString sec = section.trimmed();
        const QString id = ident.trimmed();
        if (sec.isEmpty() || id.isEmpty() || hasLineBreak(section) || hasLineBreak(ident) || hasLineBreak(value)
            || sec.contains(u']') || id.contains(u'=') || id.startsWith(u'[') || id.startsWith(u';')) {
            qWarning().noquote() << QStringLiteral("Ini file \"%1\": [%2] %3 cannot be stored")
                                        .arg(QDir::toNativeSeparators(fileName), section, ident);
            return false;
        }
        ensureFresh();
        std::vector<Line> before = lines;
        const long at = findEntry(sec, id);
        if (at >= 0) {
            QString &text = lines[size_t(at)].text;
            QStringView oldValue;
            QStringView oldId;
            entryOf(text, &oldId, &oldValue);
            if (oldValue == value.trimmed() && value == value.trimmed())
                return true; // already so: leave the file alone
            // Keep the ident and the spacing around '=' as they stand.
            qsizetype keep = text.indexOf(u'=') + 1;
            while (keep < text.size() && (text.at(keep) == u' ' || text.at(keep) == u'\t'))
                ++keep;
            text = text.left(keep) + value;
            return commit(std::move(before));
        }
        const auto bodies = bodiesOf(sec);
        if (!bodies.empty()) {
            // After the last entry of the section, before the blank lines and
            // comments that lead over to the next one.
            auto [first, last] = bodies.front();
            size_t insertAt = first;
            for (size_t i = first; i < last; ++i) {
                QStringView a, b;
                if (entryOf(lines[i].text, &a, &b))
                    insertAt = i + 1;
            }
            if (insertAt == lines.size())
                terminateLastLine();
            lines.insert(lines.begin() + long(insertAt), Line{id + u'=' + value, newline});
            return commit(std::move(before));
        }
        terminateLastLine();
        if (!lines.empty() && !lines.back().text.trimmed().isEmpty())
            lines.push_back(Line{QString(), newline});
        lines.push_back(Line{u'[' + sec + u']', newline});
        lines.push_back(Line{id + u'=' + value, newline});
        return commit(std::move(before));
    }
};

TIniFile::TIniFile(const QString &fileName) : d(std::make_unique<Impl>())
{
    d->fileName = fileName;
    d->load();
}

TIniFile::~TIniFile() = default;

QString TIniFile::FileName() const
{
    return d->fileName;
}

QString TIniFile::ReadString(const QString &section, const QString &ident, const QString &def) const
{
    d->ensureFresh();
    const long at = d->findEntry(section, ident);
    if (at < 0)
        return def;
    QStringView id, value;
    Impl::entryOf(d->lines[size_t(at)].text, &id, &value);
    return value.toString();
}

std::int32_t TIniFile::ReadInteger(const QString &section, const QString &ident, std::int32_t def) const
{
    const QString text = ReadString(section, ident, QString());
    std::int32_t v = 0;
    return storeio::parseInteger(text, &v) ? v : def;
}

bool TIniFile::ReadBool(const QString &section, const QString &ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

bool TIniFile::WriteString(const QString &section, const QString &ident, const QString &value)
{
    return d->write(section, ident, value);
}

bool TIniFile::WriteInteger(const QString &section, const QString &ident, std::int32_t value)
{
    return d->write(section, ident, QString::number(value));
}

bool TIniFile::WriteBool(const QString &section, const QString &ident, bool value)
{
    return d->write(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList TIniFile::ReadSection(const QString &section) const
{
    d->ensureFresh();
    QStringList idents;
    QSet<QString> seen;
    for (auto [first, last] : d->bodiesOf(section)) {
        for (size_t i = first; i < last; ++i) {
            QStringView id;
            if (Impl::entryOf(d->lines[i].text, &id, nullptr) && !seen.contains(id.toString().toCaseFolded())) {
                seen.insert(id.toString().toCaseFolded());
                idents.append(id.toString());
            }
        }
    }
    return idents;
}

QStringList TIniFile::ReadSections() const
{
    d->ensureFresh();
    QStringList sections;
    QSet<QString> seen;
    for (const Impl::Line &l : d->lines) {
        QString name;
        if (Impl::sectionOf(l.text, &name) && !seen.contains(name.toCaseFolded())) {
            seen.insert(name.toCaseFolded());
            sections.append(name);
        }
    }
    return sections;
}

QStringList TIniFile::ReadSectionValues(const QString &section) const
{
    QStringList result;
    for (const QString &id : ReadSection(section))
        result.append(id + u'=' + ReadString(section, id, QString()));
    return result;
}

bool TIniFile::EraseSection(const QString &section)
{
    d->ensureFresh();
    auto bodies = d->bodiesOf(section);
    if (bodies.empty())
        return true;
    std::vector<Impl::Line> before = d->lines;
    // From the back, so earlier ranges keep their positions; the header is
    // the line before each body.
    for (auto it = bodies.rbegin(); it != bodies.rend(); ++it)
        d->lines.erase(d->lines.begin() + long(it->first - 1), d->lines.begin() + long(it->second));
    return d->commit(std::move(before));
}

bool TIniFile::DeleteKey(const QString &section, const QString &ident)
{
    d->ensureFresh();
    std::vector<Impl::Line> before = d->lines;
    bool removed = false;
    for (long at; (at = d->findEntry(section, ident)) >= 0;) {
        d->lines.erase(d->lines.begin() + at);
        removed = true;
    }
    return removed ? d->commit(std::move(before)) : true;
}

bool TIniFile::SectionExists(const QString &section) const
{
    // As the class library counts it: a section exists when it holds a key.
    return !ReadSection(section).isEmpty();
}

bool TIniFile::ValueExists(const QString &section, const QString &ident) const
{
    d->ensureFresh();
    return d->findEntry(section, ident) >= 0;
}

void TIniFile::Reload()
{
    d->load();
}

} // namespace zk
