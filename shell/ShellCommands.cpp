#include "ShellCommands.h"

#include "AviFile.h"
#include "Bitmap.h"
#include "Globals.h"

#include <QDir>
#include <QFileInfo>

namespace zk {

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
            const QString name = target + QLatin1Char('/') + IntToStr8(std::uint32_t(result.Written)) +
                                 QStringLiteral(".bmp");
            try {
                picture.SaveToFile(name);
            } catch (const EGraphicError &e) {
                result.WriteError = e.message();
                return result;
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
