#include "GraphicText.h"

#include <QMutex>

namespace zk {

namespace {
QMutex textsLock;
QHash<QString, QString> texts; // implicitly shared: readers copy it under the lock
} // namespace

void SetGraphicTexts(const QHash<QString, QString> &newTexts)
{
    const QMutexLocker lock(&textsLock);
    texts = newTexts;
}

QString GraphicText(const char *key, const QString &german)
{
    QHash<QString, QString> current;
    {
        const QMutexLocker lock(&textsLock);
        current = texts;
    }
    const QString text = current.value(QString::fromLatin1(key));
    return text.trimmed().isEmpty() ? german : text;
}

QString GraphicFault(const char *key, const QString &german, const QString &detail)
{
    const QString lead = GraphicText(key, german);
    return detail.isEmpty() ? lead : lead + QStringLiteral(": ") + detail;
}

QString GraphicCannotOpen(const QString &fileName, const QString &why)
{
    return GraphicText("showmsg_cannot_open_file", QStringLiteral("\"%1\" kann nicht geöffnet werden: %2"))
        .arg(fileName, why);
}

QString GraphicTooLarge(qint64 width, qint64 height, qint64 limit)
{
    return GraphicFault("showmsg_graphic_too_large", QStringLiteral("Das Bild ist zu groß"),
                        QStringLiteral("%1 x %2 > %3").arg(width).arg(height).arg(limit));
}

} // namespace zk
