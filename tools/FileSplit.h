#pragma once
// Cutting a file into numbered parts and joining such parts again. The parts
// are the source's name with the extension replaced by a running number of
// at least three digits (".001", ".002", ... ".999", ".1000"); each part
// holds the part size, the last one what remains, so a source whose size is
// a multiple of the part size ends with an empty part. Every part and the
// joined file are written to a temporary name and renamed when complete.
// The copying touches no widget and may run on any thread.
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>

namespace zk {

inline constexpr std::int32_t kFallbackPartSize = 500000;
inline constexpr qint64 kCopyBlockBytes = qint64(1) << 20;

// The part size typed into the dialog: a decimal 32-bit number above 0.
// Anything else gives kFallbackPartSize and sets *fellBack.
std::int32_t ParsePartSize(const QString &text, bool *fellBack);

// How many parts a source of sourceSize bytes gives (partSize > 0).
qint64 SplitPartCount(qint64 sourceSize, qint64 partSize);
// The bytes of part number (1-based) of such a split.
qint64 SplitPartBytes(qint64 sourceSize, qint64 partSize, qint64 number);

// The file name with its last extension replaced by newExt (no dot); a name
// without extension gains it. Only the name part is looked at.
QString ChangeFileExt(const QString &path, const QString &newExt);
// "001".."999", then as many digits as the number needs.
QString PartNumberText(qint64 number);
// folder/<source name with the part number as extension>.
QString PartFileName(const QString &folder, const QString &sourceFile, qint64 number);

enum class TSplitFault {
    None,
    Unreadable, // File could not be opened or read (Reason from the system)
    Unwritable, // File could not be created or written (Reason from the system)
    SameFile,   // File would overwrite a file being read
    Cancelled,
};

struct TSplitResult {
    bool Ok = false;
    TSplitFault Fault = TSplitFault::None;
    QString File;        // the file the fault is about
    QString Reason;      // the system's words, when it gave any
    QStringList Written; // the files written, in order
};

// Reports bytes copied so far; may be called from the copying thread.
using TCopyProgress = std::function<void(qint64 done, qint64 total)>;

// Splits source into parts of partSize in folder. A part whose name is the
// source itself is refused before anything is written.
TSplitResult SplitFile(const QString &source, const QString &folder, qint64 partSize,
                       const TCopyProgress &progress = {}, const std::atomic<bool> *cancel = nullptr);

// Joins the parts that follow the chosen one into folder/<name>.<ext>: the
// chosen part first, then the next numbers for as long as they exist. A
// chosen part whose extension is no number counts as part 1. A target that
// is one of the parts is refused.
TSplitResult JoinFiles(const QString &chosenPart, const QString &folder, const QString &ext,
                       const TCopyProgress &progress = {}, const std::atomic<bool> *cancel = nullptr);

// The presets of the part-size chooser (bytes), in list order; the value
// taken when none is chosen.
inline constexpr std::int32_t kPartSizePresets[7] = {5788136, 4341102, 2894068, 1447034, 723517, 482344, 361758};
inline constexpr std::int32_t kPartSizeNoChoice = 10000;

} // namespace zk
