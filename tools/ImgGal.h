#pragma once
// The HTML picture gallery without its window: the names of the files it
// writes, the table of thumbnails, the page made from the template, and the
// generation that copies the pictures and makes the thumbnails on worker
// threads.
#include <QString>
#include <QStringList>

#include <functional>

namespace zk {

struct TGallerySettings
{
    QString Title;
    QString OutDir;       // the output folder D
    int Border = 0;       // 0..20
    int Columns = 1;      // 1..100
    int ThumbWidth = 100; // 0..500
    int ThumbHeight = 100;
    int Spacing = 0;      // 0..60
    QString PageName;     // without ".htm"; empty becomes DefaultPageName
    bool AbsolutePaths = false;
    // The message of a copy that could not be written, "%1" the target.
    QString CopyFailedText = QStringLiteral("Die Datei %1 konnte nicht geschrieben werden.");
};

inline constexpr const char *DefaultPageName = "ZK_Default";
inline constexpr const char *ThumbPrefix = "ZK_TN_";
inline constexpr const char *GalleryTemplateName = "Templates/TheIndexFile.htm";

// The thumbnail's file name for a picture's file name: the prefix, the name
// less its last four characters and the type's extension in lower case, for
// ".jpg", ".bmp" and ".wmf" (any case); empty for any other type.
QString GalleryThumbName(const QString &fileName);

// The link to a file of the output folder as it stands in the page: the name
// percent-encoded, or with absolute paths a file: URL of the folder's file.
QString GalleryLink(const QString &outDir, const QString &fileName, bool absolute);

// The table that replaces "*TheIndex*": one cell per picture with a
// thumbnail, at most Columns entries to a row (every listed file counts, also
// one without a cell), a row break only where another cell follows, and no
// table at all without a cell.
QString GalleryTable(const QStringList &files, const TGallerySettings &settings);

// Every "*TheTitle*" replaced by the escaped title and then every
// "*TheIndex*" by the table, both found without regard to case.
QString FillGalleryTemplate(const QString &templateText, const QString &title, const QString &table);

// The page's path in the output folder.
QString GalleryPagePath(const TGallerySettings &settings);

struct TGalleryResult
{
    QStringList Done;   // the files whose copy and thumbnail were made
    QString Error;      // the first failure; empty when every file was done
    bool PageWritten = false;
};

// Copies every file into the output folder (not onto itself) and makes the
// thumbnails, one worker task per file, then writes the page once, also for
// the files done when one failed. The template text must be given (a missing
// template is the caller's message, and nothing is written then). progress is
// called on the calling thread after each file, with the file's name.
TGalleryResult GenerateGallery(const QStringList &files, const TGallerySettings &settings,
                               const QString &templateText,
                               const std::function<void(const QString &fileName)> &progress = {});

} // namespace zk
