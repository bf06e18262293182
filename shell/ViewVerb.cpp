#include "ViewVerb.h"

#include "SafeFile.h"
#include "StartupRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace zk {

const char *const kZkgMimeType = "image/x-zelkora-zkg";

namespace {

const char *const kEntryName = "zelkora-view.desktop";
const char *const kPackageName = "zelkora.xml";
// The updaters finish in a moment; one that hangs must not hold the dialog.
constexpr int kToolTimeoutMs = 15000;

// The lines of the entry's main group, by key.
QString entryValue(const QByteArray &text, const QString &key)
{
    bool inMain = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("%1: %2").arg(QFileInfo(path).absolutePath(),
                                              QStringLiteral("Ordner kann nicht angelegt werden"));
        return false;
    }
    TPendingFile pending;
    QString reason;
    if (!pending.Write(path, data, 0644, &reason) || !pending.Replace(&reason)) {
        *error = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    }
    return true;
}

void runTool(const char *tool, const QStringList &args)
{
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (program.isEmpty())
        return;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(kToolTimeoutMs))
        p.kill();
}

} // namespace

const std::array<const char *, 8> &ViewVerbMimeTypes()
{
    static const std::array<const char *, 8> types = {
        "image/bmp", "image/jpeg", "image/gif", "image/wmf", "image/emf", "image/vnd.microsoft.icon",
        kZkgMimeType, "image/png"};
    return types;
}

const std::array<const char *, 8> &ViewVerbExtensions()
{
    static const std::array<const char *, 8> exts = {".bmp", ".jpg", ".gif", ".wmf", ".emf", ".ico", ".zkg", ".png"};
    return exts;
}

QByteArray ViewVerbEntryText(const QString &exec, const QStringList &mimeTypes)
{
    QString t;
    t += QLatin1String("[Desktop Entry]\n");
    t += QLatin1String("Type=Application\n");
    t += QLatin1String("Name=Mit Zelkora betrachten\n");
    t += QLatin1String("Exec=") + exec + QLatin1Char('\n');
    t += QLatin1String("Icon=zelkora\n");
    t += QLatin1String("Terminal=false\n");
    // Only an "open with" choice, not a program of its own in the menus.
    t += QLatin1String("NoDisplay=true\n");
    t += QLatin1String("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QLatin1String(";\n");
    return t.toUtf8();
}

QByteArray ZkgMimePackage()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"image/x-zelkora-zkg\">\n"
        "    <comment>Zelkora Bitmap</comment>\n"
        "    <sub-class-of type=\"image/bmp\"/>\n"
        "    <generic-icon name=\"image-x-generic\"/>\n"
        "    <glob pattern=\"*.zkg\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n");
}

QString UserDataHome()
{
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

TViewVerbRegistrar::TViewVerbRegistrar(const QString &dataHome, const QString &program)
    : m_dataHome(dataHome.isEmpty() ? UserDataHome() : dataHome)
    , m_program(program)
{
}

QString TViewVerbRegistrar::EntryPath() const
{
    return m_dataHome + QStringLiteral("/applications/") + QLatin1String(kEntryName);
}

QString TViewVerbRegistrar::MimePackagePath() const
{
    return m_dataHome + QStringLiteral("/mime/packages/") + QLatin1String(kPackageName);
}

QString TViewVerbRegistrar::ExecValue() const
{
    // A line break or another control character cannot stand in an entry.
    for (const QChar c : m_program)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {};
    return DesktopExecQuote(m_program) + QStringLiteral(" %f");
}

QString TViewVerbRegistrar::ExistingExec() const
{
    QFile f(EntryPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return entryValue(f.readAll(), QStringLiteral("Exec"));
}

QStringList TViewVerbRegistrar::ExistingTypes() const
{
    QFile f(EntryPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return entryValue(f.readAll(), QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

bool TViewVerbRegistrar::writeEntry(const QStringList &types, QString *error)
{
    const QString exec = ExecValue();
    if (exec.isEmpty()) {
        *error = m_program + QStringLiteral(": ungültiger Programmpfad");
        return false;
    }
    if (!writeFile(EntryPath(), ViewVerbEntryText(exec, types), error))
        return false;
    m_entryChanged = true;
    // The entry's icon by its theme name; without it the desktop shows a
    // generic one, so a failure here is no failure of the entry.
    const QString icon = m_dataHome + QStringLiteral("/icons/hicolor/scalable/apps/zelkora.svg");
    QFile svg(QStringLiteral(":/icons/scan.svg"));
    QString ignored;
    if (!QFileInfo::exists(icon) && svg.open(QIODevice::ReadOnly))
        writeFile(icon, svg.readAll(), &ignored);
    return true;
}

bool TViewVerbRegistrar::SetType(int index, bool on, QString *error)
{
    if (index < 0 || index >= int(ViewVerbMimeTypes().size()))
        return true;
    const QString type = QString::fromLatin1(ViewVerbMimeTypes()[size_t(index)]);
    const bool exists = QFileInfo::exists(EntryPath());
    QStringList types = ExistingTypes();
    if (on) {
        if (exists && types.contains(type) && ExistingExec() == ExecValue())
            return true;
        if (!types.contains(type))
            types << type;
        return writeEntry(types, error);
    }
    if (!exists || !types.contains(type))
        return true;
    types.removeAll(type);
    if (!types.isEmpty())
        return writeEntry(types, error);
    // The entry goes with its last type.
    if (!QFile::remove(EntryPath())) {
        *error = EntryPath() + QStringLiteral(": kann nicht gelöscht werden");
        return false;
    }
    m_entryChanged = true;
    return true;
}

bool TViewVerbRegistrar::DeclareZkgType(QString *error)
{
    QFile f(MimePackagePath());
    if (f.open(QIODevice::ReadOnly) && f.readAll() == ZkgMimePackage())
        return true;
    f.close();
    if (!writeFile(MimePackagePath(), ZkgMimePackage(), error))
        return false;
    m_mimeChanged = true;
    return true;
}

void TViewVerbRegistrar::RunUpdateTools()
{
    if (m_entryChanged && QFileInfo(m_dataHome + QStringLiteral("/applications")).isDir())
        runTool("update-desktop-database", {m_dataHome + QStringLiteral("/applications")});
    if (m_mimeChanged && QFileInfo(m_dataHome + QStringLiteral("/mime")).isDir())
        runTool("update-mime-database", {m_dataHome + QStringLiteral("/mime")});
    m_entryChanged = m_mimeChanged = false;
}

} // namespace zk
