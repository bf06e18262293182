#include "FileSplit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace zk {

std::int32_t ParsePartSize(const QString &text, bool *fellBack)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    // A size of 0 or less would never end a part.
    const bool good = ok && value > 0;
    if (fellBack)
        *fellBack = !good;
    return good ? std::int32_t(value) : kFallbackPartSize;
}

qint64 SplitPartCount(qint64 sourceSize, qint64 partSize)
{
    if (partSize <= 0 || sourceSize < 0)
        return 0;
    return sourceSize / partSize + 1;
}

qint64 SplitPartBytes(qint64 sourceSize, qint64 partSize, qint64 number)
{
    if (number < 1 || number > SplitPartCount(sourceSize, partSize))
        return 0;
    const qint64 before = (number - 1) * partSize;
    return std::min(partSize, sourceSize - before);
}

QString ChangeFileExt(const QString &path, const QString &newExt)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? path.left(dot) : path;
    return stem + QLatin1Char('.') + newExt;
}

QString PartNumberText(qint64 number)
{
    return QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

QString PartFileName(const QString &folder, const QString &sourceFile, qint64 number)
{
    return QDir(folder).filePath(ChangeFileExt(QFileInfo(sourceFile).fileName(), PartNumberText(number)));
}

namespace {

bool samePath(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

void fail(TSplitResult *r, TSplitFault fault, const QString &file, const QString &reason = QString())
{
    r->Fault = fault;
    r->File = file;
    r->Reason = reason;
}

// Copies up to bytes (all that is left when negative) from in to out in
// blocks. False with *error on a read or write failure or when cancelled.
bool copyBlocks(QFile &in, QSaveFile &out, qint64 bytes, qint64 *done, qint64 total, const TCopyProgress &progress,
                const std::atomic<bool> *cancel, TSplitResult *r)
{
    std::unique_ptr<char[]> buffer(new char[std::size_t(kCopyBlockBytes)]);
    qint64 left = bytes;
    while (left != 0) {
        if (cancel && cancel->load()) {
            fail(r, TSplitFault::Cancelled, out.fileName());
            return false;
        }
        const qint64 want = left < 0 ? kCopyBlockBytes : std::min(left, kCopyBlockBytes);
        const qint64 got = in.read(buffer.get(), want);
        if (got < 0) {
            fail(r, TSplitFault::Unreadable, in.fileName(), in.errorString());
            return false;
        }
        if (got == 0) {
            if (left < 0)
                break;
            fail(r, TSplitFault::Unreadable, in.fileName()); // shrank while being read
            return false;
        }
        if (out.write(buffer.get(), got) != got) {
            fail(r, TSplitFault::Unwritable, out.fileName(), out.errorString());
            return false;
        }
        if (left > 0)
            left -= got;
        *done += got;
        if (progress)
            progress(*done, total);
    }
    return true;
}

} // namespace

TSplitResult SplitFile(const QString &source, const QString &folder, qint64 partSize, const TCopyProgress &progress,
                       const std::atomic<bool> *cancel)
{
    TSplitResult r;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        fail(&r, TSplitFault::Unreadable, source, in.errorString());
        return r;
    }
    const qint64 size = in.size();
    const qint64 count = SplitPartCount(size, partSize);
    // Only a source already named like a part can be hit by one.
    bool numbered = false;
    const qint64 own = QFileInfo(source).suffix().toLongLong(&numbered, 10);
    if (numbered && own >= 1 && own <= count && samePath(PartFileName(folder, source, own), source)) {
        fail(&r, TSplitFault::SameFile, source);
        return r;
    }
    qint64 done = 0;
    for (qint64 n = 1; n <= count; ++n) {
        const QString name = PartFileName(folder, source, n);
        QSaveFile out(name);
        if (!out.open(QIODevice::WriteOnly)) {
            fail(&r, TSplitFault::Unwritable, name, out.errorString());
            return r;
        }
        if (!copyBlocks(in, out, SplitPartBytes(size, partSize, n), &done, size, progress, cancel, &r))
            return r; // the unfinished part is dropped with `out`
        if (!out.commit()) {
            fail(&r, TSplitFault::Unwritable, name, out.errorString());
            return r;
        }
        r.Written << name;
    }
    r.Ok = true;
    return r;
}

TSplitResult JoinFiles(const QString &chosenPart, const QString &folder, const QString &ext,
                       const TCopyProgress &progress, const std::atomic<bool> *cancel)
{
    TSplitResult r;
    const QFileInfo chosen(chosenPart);
    bool numbered = false;
    qint64 first = chosen.suffix().toLongLong(&numbered, 10);
    if (!numbered || first < 1)
        first = 1;
    const QString target = QDir(folder).filePath(ChangeFileExt(chosen.fileName(), ext));

    // The parts, in order, up to the first missing number; the chosen file
    // is the first whatever its name.
    QStringList parts{chosenPart};
    qint64 total = chosen.size();
    for (qint64 n = first + 1;; ++n) {
        const QString next = PartFileName(chosen.absolutePath(), chosenPart, n);
        if (!QFileInfo(next).isFile())
            break;
        parts << next;
        total += QFileInfo(next).size();
    }
    for (const QString &p : parts) {
        if (samePath(p, target)) {
            fail(&r, TSplitFault::SameFile, target);
            return r;
        }
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        fail(&r, TSplitFault::Unwritable, target, out.errorString());
        return r;
    }
    qint64 done = 0;
    for (const QString &p : parts) {
        QFile in(p);
        if (!in.open(QIODevice::ReadOnly)) {
            fail(&r, TSplitFault::Unreadable, p, in.errorString());
            return r;
        }
        if (!copyBlocks(in, out, -1, &done, total, progress, cancel, &r))
            return r;
    }
    if (!out.commit()) {
        fail(&r, TSplitFault::Unwritable, target, out.errorString());
        return r;
    }
    r.Written << target;
    r.Ok = true;
    return r;
}

} // namespace zk
