#include "ImgGal.h"

#include "Globals.h"
#include "GraphicConvert.h"
#include "PictureFiles.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <memory>

namespace zk {

namespace {

QString lowerExt(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot).toLower();
}

bool hasCell(const QString &fileName)
{
    const QString ext = lowerExt(fileName);
    return ext == QLatin1String(".jpg") || ext == QLatin1String(".bmp") || ext == QLatin1String(".wmf");
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString GalleryThumbName(const QString &fileName)
{
    if (!hasCell(fileName))
        return {};
    return QString::fromLatin1(ThumbPrefix) + fileName.chopped(4) + lowerExt(fileName);
}

QString GalleryLink(const QString &outDir, const QString &fileName, bool absolute)
{
    if (!absolute)
        return QString::fromLatin1(QUrl::toPercentEncoding(fileName));
    QString path = QDir::cleanPath(QDir(outDir).absoluteFilePath(fileName));
    // Every character but the unreserved ones and the path's slashes.
    return QStringLiteral("file://") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
}

QString GalleryTable(const QStringList &files, const TGallerySettings &settings)
{
    const int columns = settings.Columns < 1 ? 1 : settings.Columns;
    QString cells;
    int counted = 0;
    bool rowHasCell = false, breakPending = false;
    for (const QString &file : files) {
        const QString name = QFileInfo(file).fileName();
        if (hasCell(name)) {
            if (breakPending)
                cells += QStringLiteral("</TR><TR>");
            breakPending = false;
            cells += QStringLiteral("<TH><A HREF=") +
                     quoted(GalleryLink(settings.OutDir, name, settings.AbsolutePaths)) +
                     QStringLiteral("><IMG SRC=") +
                     quoted(GalleryLink(settings.OutDir, GalleryThumbName(name), settings.AbsolutePaths)) +
                     QStringLiteral(" BORDER=\"0\" ALT=") + quoted(name.toHtmlEscaped()) +
                     QStringLiteral("></a></th>");
            rowHasCell = true;
        }
        if (++counted == columns) {
            counted = 0;
            // A row that holds nothing yet just goes on.
            if (rowHasCell)
                breakPending = true;
            rowHasCell = false;
        }
    }
    if (cells.isEmpty())
        return {};
    return QStringLiteral("<TABLE BORDER=") + quoted(QString::number(settings.Border)) +
           QStringLiteral(" CELLSPACING=") + quoted(QString::number(settings.Spacing)) +
           QStringLiteral(" CELLPADDING=\"5\"><tr>") + cells + QStringLiteral("</TR></TABLE>");
}

QString FillGalleryTemplate(const QString &templateText, const QString &title, const QString &table)
{
    // One pass, so a title that reads like a placeholder stays a title.
    static const QRegularExpression placeholder(QStringLiteral("\\*(TheTitle|TheIndex)\\*"),
                                                QRegularExpression::CaseInsensitiveOption);
    const QString escapedTitle = title.toHtmlEscaped();
    QString out;
    qsizetype at = 0;
    for (auto it = placeholder.globalMatch(templateText); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += templateText.mid(at, m.capturedStart() - at);
        out += m.captured(1).compare(QLatin1String("TheTitle"), Qt::CaseInsensitive) == 0 ? escapedTitle : table;
        at = m.capturedEnd();
    }
    out += templateText.mid(at);
    return out;
}

QString GalleryPagePath(const TGallerySettings &settings)
{
    const QString name = settings.PageName.isEmpty() ? QString::fromLatin1(DefaultPageName) : settings.PageName;
    return QDir(settings.OutDir).filePath(name + QStringLiteral(".htm"));
}

namespace {

// One file's part of a generation: its thumbnail, then its copy. Empty when
// done, else the failure.
QString makeGalleryFile(const QString &file, const TGallerySettings &s)
{
    try {
        const QFileInfo info(file);
        const QString name = info.fileName();
        const QString ext = lowerExt(name);
        const QString thumb = QDir(s.OutDir).filePath(GalleryThumbName(name));
        if (ext == QLatin1String(".jpg"))
            MakeJpegThumbnailFile(file, thumb, s.ThumbWidth, s.ThumbHeight, TColor(0));
        else if (ext == QLatin1String(".bmp"))
            MakePictureThumbnail(file, thumb, s.ThumbWidth, s.ThumbHeight, TColor(0));
        else if (ext == QLatin1String(".wmf"))
            MakeMetafileThumbnail(file, thumb, s.ThumbWidth, s.ThumbHeight, TColor(0));
        const QString target = QDir(s.OutDir).filePath(name);
        const QFileInfo targetInfo(target);
        // A picture that already lies in the output folder stays where it is.
        if (targetInfo.exists() && targetInfo.canonicalFilePath() == info.canonicalFilePath())
            return {};
        if (!CopyFileByStream(file, target))
            return QString(s.CopyFailedText).replace(QLatin1String("%1"), QDir::toNativeSeparators(target));
        return {};
    } catch (const EFOpenError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return FailureDetail(e);
    }
}

void waitFor(QFuture<QString> future)
{
    if (future.isFinished())
        return;
    // The window stays painted while the workers run.
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        QFutureWatcher<QString> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    future.waitForFinished();
}

} // namespace

TGalleryResult GenerateGallery(const QStringList &files, const TGallerySettings &settings,
                               const QString &templateText, const std::function<void(const QString &)> &progress)
{
    TGalleryResult result;
    auto stop = std::make_shared<std::atomic_bool>(false);
    QList<QFuture<QString>> work;
    work.reserve(files.size());
    for (const QString &file : files)
        work << QtConcurrent::run([file, settings, stop]() -> QString {
            if (stop->load())
                return QStringLiteral("\x01"); // not started after a failure
            QString failure = makeGalleryFile(file, settings);
            if (!failure.isEmpty())
                stop->store(true);
            return failure;
        });
    for (qsizetype i = 0; i < files.size(); ++i) {
        waitFor(work[i]);
        const QString failure = work[i].result();
        if (failure.isEmpty())
            result.Done << files[i];
        else if (result.Error.isEmpty() && failure != QLatin1String("\x01"))
            result.Error = failure;
        if (progress)
            progress(QFileInfo(files[i]).fileName());
    }
    const QString page = FillGalleryTemplate(templateText, settings.Title, GalleryTable(result.Done, settings));
    TPendingFile pending;
    QString error;
    if (pending.Write(GalleryPagePath(settings), page.toUtf8(), 0644, &error) && pending.Replace(&error))
        result.PageWritten = true;
    else if (result.Error.isEmpty())
        result.Error = error;
    return result;
}

} // namespace zk
