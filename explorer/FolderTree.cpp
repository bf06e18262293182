#include "FolderTree.h"

#include "IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QSet>
#include <algorithm>

namespace zk {

bool IsPseudoFileSystem(const TMountEntry &entry)
{
    static const QSet<QString> kernel = {
        QStringLiteral("proc"),       QStringLiteral("sysfs"),      QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),     QStringLiteral("securityfs"), QStringLiteral("pstore"),
        QStringLiteral("bpf"),        QStringLiteral("debugfs"),    QStringLiteral("tracefs"),
        QStringLiteral("configfs"),   QStringLiteral("fusectl"),    QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),  QStringLiteral("autofs"),     QStringLiteral("binfmt_misc"),
        QStringLiteral("rpc_pipefs"), QStringLiteral("nsfs"),       QStringLiteral("efivarfs"),
        QStringLiteral("selinuxfs"),  QStringLiteral("overlay"),    QStringLiteral("squashfs"),
        QStringLiteral("ramfs"),      QStringLiteral("fuse.portal"), QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("nsfs"),       QStringLiteral("none")};
    const QString type = entry.fsType.toLower();
    if (kernel.contains(type) || type.startsWith(QLatin1String("cgroup")) || type.startsWith(QLatin1String("dev")))
        return true;
    const QString &p = entry.path;
    const auto under = [&p](const char *top) {
        const QString t = QString::fromLatin1(top);
        return p == t || p.startsWith(t + u'/');
    };
    if (under("/proc") || under("/sys") || under("/dev") || under("/snap"))
        return true;
    // Memory file systems: /tmp or a RAM disk the user made count, the
    // per-session ones under /run do not.
    if (type == QLatin1String("tmpfs") && (under("/run") || under("/dev/shm") || under("/sys")))
        return true;
    return false;
}

static int RootImage(const TMountEntry &entry)
{
    const QString type = entry.fsType.toLower();
    if (type == QLatin1String("iso9660") || type == QLatin1String("udf"))
        return eiOptical;
    if (type.startsWith(QLatin1String("nfs")) || type == QLatin1String("cifs") || type == QLatin1String("smb3") ||
        type == QLatin1String("smbfs") || type == QLatin1String("fuse.sshfs") || type == QLatin1String("sshfs"))
        return eiNetwork;
    if (entry.path.startsWith(QLatin1String("/media/")) || entry.path.startsWith(QLatin1String("/run/media/")))
        return eiRemovable;
    return eiFixed;
}

QList<TExternRoot> ExternRootsFrom(const QList<TMountEntry> &mounts)
{
    QList<TExternRoot> roots;
    roots.append({QStringLiteral("/"), eiFixed});
    QList<TMountEntry> sorted;
    for (const TMountEntry &m : mounts) {
        if (m.path.isEmpty() || !m.path.startsWith(u'/') || IsPseudoFileSystem(m))
            continue;
        QString path = QDir::cleanPath(m.path);
        if (path == QLatin1String("/")) {
            roots[0].image = RootImage(m);
            continue;
        }
        TMountEntry clean = m;
        clean.path = path;
        sorted.append(clean);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TMountEntry &a, const TMountEntry &b) { return a.path < b.path; });
    for (const TMountEntry &m : sorted) {
        // A volume mounted twice at one place (a later mount hides the
        // earlier one) is one root, with the image of the one seen last.
        if (roots.last().path == m.path) {
            roots.last().image = RootImage(m);
            continue;
        }
        roots.append({m.path, RootImage(m)});
    }
    return roots;
}

QList<TMountEntry> MountedVolumes()
{
    QList<TMountEntry> result;
    for (const QStorageInfo &s : QStorageInfo::mountedVolumes())
        result.append({s.rootPath(), QString::fromLatin1(s.fileSystemType()), QString::fromLocal8Bit(s.device())});
    return result;
}

QStringList SubFolders(const QString &path, bool withLinks)
{
    QDir dir(path);
    // Hidden folders stay out, as they do in the system's own file dialogs.
    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    if (!withLinks)
        filters |= QDir::NoSymLinks;
    QStringList names = dir.entryList(filters, QDir::Unsorted);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

TEntryNameFault CheckEntryName(const QString &name, const QStringList &captions, const QStringList &entries)
{
    if (name.trimmed().isEmpty())
        return TEntryNameFault::Empty;
    for (const QChar c : name)
        if (c == u'=' || c == u'[' || c == u']' || c == u'\n' || c == u'\r' || c == QChar(0x2028) ||
            c == QChar(0x2029) || c == u'\0')
            return TEntryNameFault::BadCharacter;
    // The ini file reads a line starting with ";" as a comment.
    if (name.trimmed().startsWith(u';'))
        return TEntryNameFault::BadCharacter;
    // The ini file keeps names trimmed: " Ablage" would be stored as "Ablage".
    const QString stored = name.trimmed();
    if (captions.contains(stored) || captions.contains(name))
        return TEntryNameFault::Taken;
    if (entries.contains(stored, Qt::CaseInsensitive))
        return TEntryNameFault::TakenOtherCase;
    return TEntryNameFault::None;
}

TRealPathRoute RouteToFolder(const QString &target, const QStringList &roots)
{
    TRealPathRoute route;
    if (target.isEmpty() || !target.startsWith(u'/'))
        return route;
    const QString clean = QDir::cleanPath(target);
    int bestLength = -1;
    for (int i = 0; i < roots.size(); ++i) {
        const QString root = roots[i] == QLatin1String("/") ? roots[i] : QDir::cleanPath(roots[i]);
        const bool holds = root == QLatin1String("/") || clean == root || clean.startsWith(root + u'/');
        if (holds && root.size() > bestLength) {
            bestLength = int(root.size());
            route.root = i;
        }
    }
    if (route.root < 0)
        return route;
    const QString root = roots[route.root];
    const QString rest = root == QLatin1String("/") ? clean.mid(1) : clean.mid(QDir::cleanPath(root).size());
    route.components = rest.split(u'/', Qt::SkipEmptyParts);
    return route;
}

QStringList TEntryStore::Names() const
{
    if (!QFileInfo::exists(m_fileName))
        return {};
    return TIniFile(m_fileName).ReadSection(QString::fromLatin1(Section));
}

QString TEntryStore::Folder(const QString &name, const QString &def) const
{
    if (!QFileInfo::exists(m_fileName))
        return def;
    TIniFile ini(m_fileName);
    if (!ini.ValueExists(QString::fromLatin1(Section), name))
        return def;
    return ini.ReadString(QString::fromLatin1(Section), name, def);
}

bool TEntryStore::Write(const QString &name, const QString &folder)
{
    return TIniFile(m_fileName).WriteString(QString::fromLatin1(Section), name, folder);
}

bool TEntryStore::Remove(const QString &name)
{
    if (!QFileInfo::exists(m_fileName))
        return true;
    return TIniFile(m_fileName).DeleteKey(QString::fromLatin1(Section), name);
}

} // namespace zk
