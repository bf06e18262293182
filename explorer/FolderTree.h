#pragma once
// What the folder explorer decides without a display: which mounted volumes
// become roots of the computer's tree, how a folder's sub-folders are read,
// which names a user folder entry may have, and the store of those entries.
#include <QList>
#include <QString>
#include <QStringList>

namespace zk {

// One line of the mount table.
struct TMountEntry
{
    QString path;   // where it is mounted
    QString fsType; // "ext4", "proc", "iso9660", ...
    QString device; // "/dev/sda1", "server:/share", ...
};

// A root of the computer's tree: its path and its node image.
struct TExternRoot
{
    QString path;
    int image = 1;
    bool operator==(const TExternRoot &o) const { return path == o.path && image == o.image; }
};

// Node images of the computer's tree.
enum TExternImage { eiFolder = 0, eiFixed = 1, eiOptical = 2, eiNetwork = 3, eiRemovable = 4, eiFolderOpen = 5 };

// Kernel and package file systems a user never keeps pictures in.
bool IsPseudoFileSystem(const TMountEntry &entry);
// "/" first, then every other real volume in path order, each once.
QList<TExternRoot> ExternRootsFrom(const QList<TMountEntry> &mounts);
// The mount table of this computer.
QList<TMountEntry> MountedVolumes();

// Sub-folder names of a folder (hidden ones left out), sorted without regard to case (ties by exact
// text); empty when the folder cannot be read. withLinks false leaves out
// folders that are symbolic links.
QStringList SubFolders(const QString &path, bool withLinks = true);

// Why a name cannot be a user folder entry.
enum class TEntryNameFault {
    None,
    Empty,         // empty or only blanks
    BadCharacter,  // "=", "[", "]", a line break or a leading ";": the ini file cannot hold it
    Taken,         // equals a node caption
    TakenOtherCase // equals an entry apart from letter case
};
TEntryNameFault CheckEntryName(const QString &name, const QStringList &captions, const QStringList &entries);

// The route to a folder in the computer's tree: the root with the longest
// path that holds the target (index into roots) and the folder names below
// it. root -1 when no root holds the target.
struct TRealPathRoute
{
    int root = -1;
    QStringList components;
};
TRealPathRoute RouteToFolder(const QString &target, const QStringList &roots);

// The user folder entries: section "Entrys" of an ini file.
class TEntryStore
{
public:
    static constexpr const char *Section = "Entrys";
    explicit TEntryStore(QString fileName) : m_fileName(std::move(fileName)) {}

    QString FileName() const { return m_fileName; }
    // Entry names in file order; none when the file is missing or unreadable.
    QStringList Names() const;
    // The folder of an entry; def when there is no such entry.
    QString Folder(const QString &name, const QString &def) const;
    // False when the file could not be written (it is then unchanged).
    bool Write(const QString &name, const QString &folder);
    bool Remove(const QString &name);

private:
    QString m_fileName;
};

} // namespace zk
