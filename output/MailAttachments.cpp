#include "MailAttachments.h"
#include "SafeFile.h"

#include "IniFile.h"
#include "PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zk {

namespace {

QString withSlash(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

const QString kAttachStem = QStringLiteral("Attachfile_");

} // namespace

QString ReadAttachEntry(const QString &iniFileName)
{
    if (!QFileInfo::exists(iniFileName))
        return QString();
    TIniFile ini(iniFileName);
    if (!ini.ValueExists(QStringLiteral("Entrys"), QStringLiteral("Attach")))
        return QString();
    return ini.ReadString(QStringLiteral("Entrys"), QStringLiteral("Attach"), QStringLiteral("ERR"));
}

TAttachPlace AttachPlace(bool attachDir, const QString &attachEntry, const QString &programDir)
{
    const QString entry = attachEntry.trimmed();
    if (attachDir && !entry.isEmpty() && entry != QLatin1String("ERR"))
        return {withSlash(entry), true};
    return {withSlash(programDir), false};
}

QString AttachExt(int kind)
{
    return PictureTypeExt(kind == 1 ? ptJpg : ptBmp);
}

int NextAttachFileNo(const QString &folder, int kind)
{
    return NextFreeNumber(folder, kAttachStem, AttachExt(kind));
}

QString AttachFileName(const TAttachPlace &place, int kind)
{
    if (place.Numbered)
        return place.Folder + kAttachStem + QString::number(NextAttachFileNo(place.Folder, kind)) + AttachExt(kind);
    return place.Folder + QStringLiteral("Attachfile") + AttachExt(kind);
}

QString SingleArchiveName(const QString &file)
{
    const QFileInfo fi(file);
    return withSlash(fi.path()) + fi.completeBaseName() + QStringLiteral(".zip");
}

QString ArchiveName(const TAttachPlace &place)
{
    if (!place.Numbered)
        return place.Folder + QStringLiteral("AttachArchiv.zip");
    const int m = NextFreeNumber(place.Folder, QStringLiteral("AttachArchivFile_"), QStringLiteral(".zip"));
    return place.Folder + QStringLiteral("AttachArchivFile_") + QString::number(m) + QStringLiteral(".zip");
}

QString ZipListText(const QString &archive, const QStringList &files)
{
    return (QStringList{archive} + files).join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool ZipFiles(const QString &listFolder, const QString &archive, const QStringList &files, const TZipper &zipper,
              QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    for (const QString &f : files)
        if (!QFileInfo(f).isFile())
            return fail(f);
    TSafeFile list(withSlash(listFolder) + QStringLiteral("zipfiles.dat"));
    if (!list.open(QIODevice::WriteOnly))
        return fail(list.fileName() + QStringLiteral(": ") + list.errorString());
    list.write(ZipListText(archive, files).toUtf8());
    if (!list.commit())
        return fail(list.fileName() + QStringLiteral(": ") + list.errorString());
    if (!zipper || !zipper() || !QFileInfo(archive).isFile())
        return fail(archive);
    return true;
}

QStringList CopyAttachments(const QStringList &files, const QString &folder, QString *error)
{
    const QString dest = withSlash(folder);
    QStringList out;
    QStringList made;
    const auto fail = [&](const QString &why) {
        for (const QString &m : made)
            QFile::remove(m);
        if (error)
            *error = why;
        return QStringList();
    };
    if (!QDir().mkpath(dest))
        return fail(dest);
    for (const QString &file : files) {
        const QFileInfo fi(file);
        if (!fi.isFile())
            return fail(file);
        if (QFileInfo(fi.absolutePath()) == QFileInfo(dest)) {
            out << fi.absoluteFilePath();
            continue;
        }
        const QString stem = fi.completeBaseName();
        const QString ext = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
        QString target = dest + fi.fileName();
        for (int n = 2; QFileInfo::exists(target) || out.contains(target); ++n)
            target = dest + stem + QLatin1Char('-') + QString::number(n) + ext;
        // Never over an existing file: one that appeared meanwhile is kept.
        if (!CopyFileSafely(file, target, false, nullptr))
            return fail(file + QStringLiteral(" → ") + target);
        made << target;
        out << target;
    }
    return out;
}

QStringList MailDescription(const QString &to, const QString &subject, const QString &body,
                            const QStringList &attachments)
{
    QStringList d{QStringLiteral("to=") + to, QStringLiteral("subject=") + subject, QStringLiteral("body=") + body};
    for (int i = 0; i < attachments.size(); ++i)
        d << QStringLiteral("attachment%1=%2").arg(i).arg(attachments[i]);
    return d;
}

QString MailDescriptionValue(const QStringList &description, const QString &name)
{
    const QString prefix = name + QLatin1Char('=');
    for (const QString &line : description)
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size());
    return QString();
}

QStringList MailDescriptionAttachments(const QStringList &description)
{
    QStringList out;
    for (int i = 0;; ++i) {
        const QString v = MailDescriptionValue(description, QStringLiteral("attachment%1").arg(i));
        if (v.isEmpty())
            break;
        out << v;
    }
    return out;
}

} // namespace zk
