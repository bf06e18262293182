#include "RecorderLogic.h"

#include "AviFile.h"
#include "Bitmap.h"
#include "Globals.h"
#include "Options.h"
#include "PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>

namespace zk {

QSize RecordAreaSize(int vdoPixVal)
{
    switch (vdoPixVal) {
    case 1: return {600, 480};
    case 2: return {800, 600};
    case 3: return {1024, 768};
    case 4: return {1152, 864};
    default: return {300, 240};
    }
}

int CenterOffset(int screen, int area)
{
    return area > screen ? -1 : (screen - area) / 2;
}

TFrameGrab FrameGrabRect(QPoint origin, QSize area, int frameInit, bool moveGrabber, QSize screen)
{
    if (moveGrabber) {
        origin.setX(std::max(origin.x(), 0));
        origin.setY(std::max(origin.y(), 0));
    }
    const QSize inner(area.width() - 6, area.height() - 6);
    if (frameInit != 1)
        return {QRect(QPoint(3, 3), inner), false};
    if (screen.width() > area.width())
        return {QRect(origin + QPoint(3, 3), inner), false};
    return {QRect(QPoint(0, 0), screen), true};
}

QPoint RecorderPlace(const QRect &area, const QSize &window, const QRect &free)
{
    const int gap = 4;
    const int midX = std::clamp(area.center().x() - window.width() / 2, free.left(),
                                std::max(free.left(), free.right() + 1 - window.width()));
    const int midY = std::clamp(area.center().y() - window.height() / 2, free.top(),
                                std::max(free.top(), free.bottom() + 1 - window.height()));
    const QPoint candidates[] = {
        {midX, area.bottom() + 1 + gap},
        {midX, area.top() - gap - window.height()},
        {area.right() + 1 + gap, midY},
        {area.left() - gap - window.width(), midY},
    };
    for (const QPoint &p : candidates) {
        const QRect r(p, window);
        if (free.contains(r) && !r.intersects(area))
            return p;
    }
    // No side has room (an area as large as the screen): the lower right
    // corner covers the least of a centred area.
    return free.bottomRight() + QPoint(1, 1) - QPoint(window.width(), window.height());
}

bool IsFrameFileName(const QString &fileName)
{
    if (fileName.size() != 12 || !fileName.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        return false;
    for (int i = 0; i < 8; ++i)
        if (fileName[i] < QLatin1Char('0') || fileName[i] > QLatin1Char('9'))
            return false;
    return true;
}

QString FrameFileName(const QString &folder, std::uint32_t number)
{
    return folder + QLatin1Char('/') + IntToStr8(number) + QStringLiteral(".bmp");
}

namespace {

QStringList frameEntries(const QString &folder)
{
    QStringList names;
    const QStringList all = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &n : all)
        if (IsFrameFileName(n))
            names << n;
    return names;
}

} // namespace

std::vector<std::uint32_t> FrameNumbers(const QString &folder)
{
    std::vector<std::uint32_t> numbers;
    for (const QString &n : frameEntries(folder))
        numbers.push_back(n.left(8).toUInt());
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::uint32_t NextFrameNumber(const QString &folder)
{
    const std::vector<std::uint32_t> numbers = FrameNumbers(folder);
    return numbers.empty() ? 0 : numbers.back() + 1;
}

bool FrameFolderExists(const QString &folder)
{
    return !folder.trimmed().isEmpty() && QFileInfo(folder).isDir();
}

QString SaveNextFrame(const TBitmap &picture, const QString &folder, const TZelkoraOptions &options)
{
    const std::uint32_t next = NextFrameNumber(folder);
    if (next > 99999999u)
        throw EGraphicFileError(QStringLiteral("The frame folder holds frame 99999999 already"));
    const QString name = FrameFileName(folder, next);
    WriteFileReplacing(name, EncodePicture(picture, ptBmp, options, TSaveOrigin::AutoSave));
    return name;
}

bool CollectFrameFiles(const QString &folder, const QString &target, QString *error)
{
    for (const QString &n : frameEntries(folder)) {
        bool copied = false;
        try {
            copied = CopyFileByStream(folder + QLatin1Char('/') + n, target + QLatin1Char('/') + n);
        } catch (const std::exception &) {
            copied = false;
        }
        if (!copied) {
            if (error)
                *error = QStringLiteral("%1 -> %2").arg(n, target);
            return false;
        }
    }
    return true;
}

int DeleteFrameFiles(const QString &folder)
{
    int left = 0;
    for (const QString &n : frameEntries(folder))
        if (!QFile::remove(folder + QLatin1Char('/') + n))
            ++left;
    return left;
}

const QString kFrameNotWritten = QStringLiteral("Konnte Rahmen nicht erzeugen!");

TAviBuildResult BuildAviFromFrames(const QString &folder, const QString &aviFile, int fps,
                                   const TAviBuildSteps &steps)
{
    TAviBuildResult result;
    const std::vector<std::uint32_t> numbers = FrameNumbers(folder);
    if (numbers.empty()) {
        result.outcome = TAviBuildResult::NoFrames;
        return result;
    }
    const int total = int(numbers.size());
    const qint64 limit = steps.sizeLimit > 0 ? steps.sizeLimit : kAviMaxFileSize;
    try {
        TAviFileWriter writer;
        for (int i = 0; i < total; ++i) {
            if (steps.step && !steps.step(i, total)) {
                result.outcome = TAviBuildResult::Cancelled;
                return result; // the writer drops its temporary file
            }
            const QString name = FrameFileName(folder, numbers[std::size_t(i)]);
            TBitmap frame;
            try {
                frame.LoadFromFile(name);
            } catch (const EGraphicError &e) {
                throw EGraphicError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(name), QString::fromUtf8(e.what())));
            }
            if (i == 0) {
                // The whole size is known now: refuse before the first byte.
                const qint64 size = AviFileSize(frame.Width(), frame.Height(), total);
                if (size > limit) {
                    result.outcome = TAviBuildResult::TooLarge;
                    result.error = QStringLiteral("%1 MB").arg((size + (1 << 20) - 1) >> 20);
                    return result;
                }
                writer.Open(aviFile, frame.Width(), frame.Height(), std::max(fps, 1), total);
                if (steps.opened)
                    steps.opened();
            }
            try {
                writer.WriteFrame(frame);
            } catch (const std::exception &e) {
                throw EGraphicError(kFrameNotWritten + QLatin1Char('\n') + QString::fromUtf8(e.what()));
            }
        }
        try {
            writer.Finish();
        } catch (const std::exception &e) {
            // The frames' bytes go out with the last flush: a full disk shows here.
            throw EGraphicError(kFrameNotWritten + QLatin1Char('\n') + QString::fromUtf8(e.what()));
        }
    } catch (const std::exception &e) {
        result.outcome = TAviBuildResult::Failed;
        result.error = QString::fromUtf8(e.what());
        return result;
    }
    result.outcome = TAviBuildResult::Written;
    result.frames = total;
    return result;
}

QRect SnapToMainWindow(QRect moved, const QRect &main, int distance)
{
    const QRect both = moved.united(main);
    const int mainBottom = main.y() + main.height(), mainRight = main.x() + main.width();
    if (moved.width() + main.width() >= both.width()) {
        if (std::abs(moved.y() - mainBottom) < distance)
            moved.moveTop(mainBottom);
        else if (std::abs(moved.y() + moved.height() - main.y()) < distance)
            moved.moveTop(main.y() - moved.height());
    }
    if (moved.height() + main.height() >= both.height()) {
        if (std::abs(moved.x() - mainRight) < distance)
            moved.moveLeft(mainRight);
        else if (std::abs(moved.x() + moved.width() - main.x()) < distance)
            moved.moveLeft(main.x() - moved.width());
    }
    return moved;
}

} // namespace zk
