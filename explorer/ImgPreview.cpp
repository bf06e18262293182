#include "ImgPreview.h"

#include "GraphicConvert.h"
#include "Registry.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace zk {

TSlideShowSettings ReadViewerSettings()
{
    TSlideShowSettings s;
    TRegistry reg;
    const QString key = QString::fromLatin1(ViewerKey);
    if (!reg.KeyExists(key) || !reg.OpenKeyReadOnly(key))
        return s;
    if (reg.ValueExists(QStringLiteral("Intervall")))
        s.Interval = std::clamp(reg.ReadInteger(QStringLiteral("Intervall")), SlideSecondsMin * 1000,
                                SlideSecondsMax * 1000);
    if (reg.ValueExists(QStringLiteral("Repeat")))
        s.Repeat = reg.ReadBool(QStringLiteral("Repeat"));
    if (reg.ValueExists(QStringLiteral("SlideSite")))
        s.Direction = reg.ReadInteger(QStringLiteral("SlideSite")) == 0 ? 0 : 1;
    return s;
}

void WriteViewerSettings(const TSlideShowSettings &settings)
{
    TRegistry reg;
    if (!reg.OpenKey(QString::fromLatin1(ViewerKey), true))
        return;
    reg.WriteInteger(QStringLiteral("Intervall"), settings.Interval);
    reg.WriteBool(QStringLiteral("Repeat"), settings.Repeat);
    reg.WriteInteger(QStringLiteral("SlideSite"), settings.Direction);
}

namespace {

QStringList sortedNoCase(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

// The regular files of dir (links to files count), without folders.
QStringList plainFiles(const QString &dir)
{
    if (dir.isEmpty())
        return {};
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
}

} // namespace

QStringList ListStemFiles(const QString &dir, const QString &stem, const QString &ext)
{
    QStringList out;
    for (const QString &name : plainFiles(dir))
        if (name.size() >= stem.size() + ext.size() && name.startsWith(stem, Qt::CaseInsensitive) &&
            name.endsWith(ext, Qt::CaseInsensitive))
            out << name;
    return sortedNoCase(out);
}

QStringList ListPictureFolder(const QString &dir)
{
    QStringList out;
    for (const QString &name : plainFiles(dir)) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot < 0)
            continue;
        const QString ext = name.mid(dot);
        for (const char *known : GraphicFileExts) {
            const QString k = QString::fromLatin1(known);
            if (ext == k.toLower() || ext == k.toUpper()) {
                out << name;
                break;
            }
        }
    }
    return sortedNoCase(out);
}

QString CaptureFileStem()
{
    return QStringLiteral("ZKScan_").chopped(5);
}

bool TPreviewSequence::Next()
{
    if (!CanForward())
        return false;
    ++m_index;
    return true;
}

bool TPreviewSequence::Previous()
{
    if (!CanBack())
        return false;
    --m_index;
    return true;
}

bool TPreviewSequence::First()
{
    const bool moved = m_index != 0;
    m_index = 0;
    return moved;
}

bool TPreviewSequence::Last()
{
    if (m_total == 0)
        return false;
    const bool moved = m_index != m_total - 1;
    m_index = m_total - 1;
    return moved;
}

bool TPreviewSequence::GoTo(int n)
{
    if (n < 1 || n > m_total)
        return false;
    m_index = n - 1;
    return true;
}

bool TPreviewSequence::SlideStep(TSlideShowSettings &settings)
{
    bool moved;
    if (settings.Direction == 1) {
        moved = Next();
        if (settings.Repeat && !CanForward())
            settings.Direction = 0;
    } else {
        moved = Previous();
        if (settings.Repeat && !CanBack())
            settings.Direction = 1;
    }
    return moved;
}

int ParseGoToNumber(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : 0;
}

QString SequenceCaption(const QString &prefix, const QString &of, int position, int total, const QString &name)
{
    return prefix + QString::number(position) + of + QString::number(total) + QStringLiteral(" : ") + name;
}

} // namespace zk
