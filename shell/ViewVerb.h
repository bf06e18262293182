#pragma once
// "Mit Zelkora betrachten" for picture files: one desktop entry in the
// user's applications folder whose MimeType line lists the picture types the
// user chose, and the declaration of our own ".zkg" type. The desktop offers
// the entry in its "open with" choices for those types.
#include <QString>
#include <QStringList>

#include <array>

namespace zk {

// The picture types of the shell-settings list, entries 0..7, and their
// extensions.
const std::array<const char *, 8> &ViewVerbMimeTypes();
const std::array<const char *, 8> &ViewVerbExtensions();
// Our type for ".zkg" (a BMP file under its own name).
extern const char *const kZkgMimeType;

// The entry's text for the Exec value and the types.
QByteArray ViewVerbEntryText(const QString &exec, const QStringList &mimeTypes);
// The shared-mime-info package that declares kZkgMimeType.
QByteArray ZkgMimePackage();

class TViewVerbRegistrar
{
public:
    // dataHome: the user's data folder ($XDG_DATA_HOME or ~/.local/share
    // when empty); program: the file the entry starts.
    TViewVerbRegistrar(const QString &dataHome, const QString &program);

    QString EntryPath() const;
    QString MimePackagePath() const;
    // Our Exec value: the quoted program and "%f"; empty when the program's
    // path cannot be written into an entry.
    QString ExecValue() const;

    // The Exec value and types of the entry on disk (empty when none).
    QString ExistingExec() const;
    QStringList ExistingTypes() const;

    // Adds (on) or removes (off) the type of entry index; with on the Exec
    // line becomes ours. An entry left without types is removed. Written to
    // a temporary name and renamed; false with *error when that failed.
    bool SetType(int index, bool on, QString *error);
    // Writes the declaration of our ".zkg" type when it is not there yet.
    bool DeclareZkgType(QString *error);

    // The desktop's caches for what changed, when their tools are installed
    // (a missing tool is skipped: the desktop rescans the folders later).
    void RunUpdateTools();

private:
    bool writeEntry(const QStringList &types, QString *error);

    QString m_dataHome;
    QString m_program;
    bool m_entryChanged = false;
    bool m_mimeChanged = false;
};

// The data folder the desktop reads ($XDG_DATA_HOME, else ~/.local/share).
QString UserDataHome();

} // namespace zk
