#pragma once
// The work behind a few main-window commands, free of any window so it can
// be tested and timed alone: numbered bitmap copies for the AVI build, and
// one AVI frame saved as a bitmap.
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zk {

// The "*.bmp" files of folder (any case, hidden ones too) with full paths,
// in name order as the folder listing gives them.
QStringList BitmapSourceFiles(const QString &folder);

// True when both names lead to the same existing folder.
bool SameFolder(const QString &a, const QString &b);

struct TNumberedCopyResult
{
    int Written = 0;
    QStringList Skipped;  // unreadable bitmaps, left out of the numbering
    QString WriteError;   // set when a copy could not be written: the run stopped
};

// Loads each file and saves it as target + "/" + eight-digit number + ".bmp",
// numbers counting up over the files that could be read from one past the
// highest frame file already in target (0 in a folder without frames). No
// existing file is replaced; when the numbers run out after 99999999 the run
// stops with WriteError. Only one picture is held at a time. step runs after
// each file (the progress).
TNumberedCopyResult NumberedBitmapCopies(const QStringList &files, const QString &target,
                                         const std::function<void()> &step = {});

// A typed frame number: a whole number of at least 0, blanks around allowed.
std::optional<int> ParseFrameNumber(const QString &typed);

// Saves frame frameNo (counted from 0) of the AVI file's first video stream
// as a bitmap. False with the reason in *error on any failure; nothing is
// written then. *frameCount gets the file's frame count once it is known.
bool ExtractAviFrame(const QString &aviFile, int frameNo, const QString &bmpFile, QString *error = nullptr,
                     int *frameCount = nullptr);

} // namespace zk
