#include "ShellCommands.h"

#include "AviFile.h"
#include "Bitmap.h"
#include "RecorderLogic.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>

namespace zk {

namespace {

// Frame names have eight digits; one more would wrap round to 00000000.
constexpr std::uint32_t kLastFrameNumber = 99999999u;

} // namespace

QStringList BitmapSourceFiles(const QString &folder)
{
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.bmp")});
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    QStringList files;
    for (const QFileInfo &info : dir.entryInfoList())
        files << info.absoluteFilePath();
    return files;
}

bool SameFolder(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

TNumberedCopyResult NumberedBitmapCopies(const QStringList &files, const QString &target,
                                         const std::function<void()> &step)
{
    TNumberedCopyResult result;
    // The target is the AVI build's frame folder: the copies follow the
    // frames already there, as recorded frames do, and replace none of them.
    std::uint32_t next = NextFrameNumber(target);
    TBitmap picture; // reused: one picture's pixels at a time
    for (const QString &file : files) {
        bool loaded = true;
        try {
            picture.LoadFromFile(file);
        } catch (const EGraphicError &) {
            loaded = false;
        }
        if (!loaded) {
            result.Skipped << file;
        } else {
            // Published only under a free name: a name in use (a folder or a
            // link too, or a file made meanwhile) moves the copy on to the
            // next number.
            for (bool taken = true; taken;) {
                if (next > kLastFrameNumber) {
                    result.WriteError = QStringLiteral("No frame number is left after 99999999 in \"%1\"").arg(target);
                    return result;
                }
                const QString name = FrameFileName(target, next++);
                const QFileInfo entry(name);
                if (entry.exists() || entry.isSymLink())
                    continue;
                TSafeFile out(name);
                QString error;
                if (!out.open(QIODevice::WriteOnly)) {
                    error = out.errorString();
                } else {
                    try {
                        picture.SaveToStream(out);
                    } catch (const EGraphicError &e) {
                        error = e.message(); // out discards the unfinished file
                    }
                    if (error.isEmpty() && !out.commitNew(&taken) && !taken)
                        error = out.errorString();
                }
                if (!error.isEmpty()) {
                    result.WriteError = QStringLiteral("Cannot write \"%1\": %2").arg(name, error);
                    return result;
                }
            }
            ++result.Written;
        }
        if (step)
            step();
    }
    return result;
}

std::optional<int> ParseFrameNumber(const QString &typed)
{
    bool ok = false;
    const int n = typed.trimmed().toInt(&ok, 10);
    if (!ok || n < 0)
        return std::nullopt;
    return n;
}

bool ExtractAviFrame(const QString &aviFile, int frameNo, const QString &bmpFile, QString *error, int *frameCount)
{
    try {
        TAviFileReader reader;
        reader.Open(aviFile);
        if (frameCount)
            *frameCount = reader.FrameCount();
        TBitmap frame;
        reader.ReadFrame(frameNo, frame);
        frame.SaveToFile(bmpFile);
        return true;
    } catch (const EGraphicError &e) {
        if (error)
            *error = e.message();
        return false;
    }
}

} // namespace zk
