#pragma once
// The files a mail carries: picture attachments with their numbered names,
// zipped archives through the zip module's list file, copies of chosen files,
// and the mail description (name=value lines) handed to the mail routes.
// Plain functions and no widgets, so every rule is tested without a display.
#include <QString>
#include <QStringList>

#include <functional>

namespace zk {

// Where attachments go. numbered: into the attachment folder as
// "Attachfile_<n>"; otherwise the unnumbered names in the program folder.
struct TAttachPlace
{
    QString Folder; // with a trailing '/'
    bool Numbered = false;
};

// The "Attach" value of section [Entrys] in the ini file: empty when it does
// not exist, "ERR" when it exists but cannot be read.
QString ReadAttachEntry(const QString &iniFileName);
// The folder attachments are written to. The attachment folder only when the
// option asks for it and the entry names a folder; no entry or "ERR" fall
// back to the program folder.
TAttachPlace AttachPlace(bool attachDir, const QString &attachEntry, const QString &programDir);

// kind 0 BMP, 1 JPEG.
QString AttachExt(int kind);
// 1 + the highest number of the folder's "Attachfile_<n>" names of the kind;
// names whose number part is not a number do not count.
int NextAttachFileNo(const QString &folder, int kind);
// The picture attachment's full name: numbered with the next free number, or
// "Attachfile.bmp"/".jpg".
QString AttachFileName(const TAttachPlace &place, int kind);
// The archive of a single file: its name with ".zip" for the extension.
QString SingleArchiveName(const QString &file);
// The archive of several files: the next free "AttachArchivFile_<m>.zip"
// (highest existing + 1, never an earlier one), or "AttachArchiv.zip".
QString ArchiveName(const TAttachPlace &place);

// The text of "zipfiles.dat": the archive, then one file a line.
QString ZipListText(const QString &archive, const QStringList &files);
// Writes the list into listFolder/"zipfiles.dat" (completely, closed) and
// runs zipper (the zip module's ProceedFiles(8, 0, 0)). True when zipper
// reports success and the archive is there; *error tells why not.
using TZipper = std::function<bool()>;
bool ZipFiles(const QString &listFolder, const QString &archive, const QStringList &files, const TZipper &zipper,
              QString *error);

// Copies the files into folder. A file already in the folder stays as it is;
// a copy never replaces a file there: it takes "name-2.ext", "-3" ...
// Returns the full names now in the folder, in order; empty with *error when
// a file is missing or cannot be copied (copies already made are removed).
QStringList CopyAttachments(const QStringList &files, const QString &folder, QString *error);

// The mail description.
QStringList MailDescription(const QString &to, const QString &subject, const QString &body,
                            const QStringList &attachments);
QString MailDescriptionValue(const QStringList &description, const QString &name);
// "attachment0", attachment1, ... up to the first missing or empty one.
QStringList MailDescriptionAttachments(const QStringList &description);

} // namespace zk
