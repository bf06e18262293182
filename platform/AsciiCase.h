#pragma once
// Names the program looks up (store keys, control names) are nearly always
// ASCII: lowering them needs no Unicode tables.
#include <QString>

#include <optional>

namespace zk {

// The text with A to Z lowered when it holds ASCII only (shared, not copied,
// when nothing changes); nothing when it holds other characters, for the
// caller's own Unicode rule.
inline std::optional<QString> AsciiLowered(const QString &s)
{
    const QChar *p = s.constData();
    const qsizetype n = s.size();
    qsizetype first = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c >= 0x80)
            return std::nullopt;
        if (first < 0 && c >= u'A' && c <= u'Z')
            first = i;
    }
    if (first < 0)
        return s;
    QString out(n, Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        o[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c);
    }
    return out;
}

} // namespace zk
