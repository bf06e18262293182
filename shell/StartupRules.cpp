#include "StartupRules.h"
#include "SafeFile.h"

#include "HotKeys.h"
#include "IniFile.h"
#include "Options.h"
#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cxxabi.h>
#include <cstdlib>

namespace zk {

bool IntroWanted()
{
    try {
        TRegistry reg(RootKey::CurrentUser);
        if (!reg.OpenKey(QString::fromLatin1(OptionsStore::KeyPath), false))
            return false;
        return reg.ReadBool(QStringLiteral("Intro"));
    } catch (const std::exception &) {
        return false;
    }
}

int StoredLanguageIndex()
{
    try {
        TRegistry reg(RootKey::CurrentUser);
        if (!reg.OpenKey(QString::fromLatin1(OptionsStore::KeyPath), false) ||
            reg.GetDataType(QStringLiteral("Language")) != RegDataType::Integer)
            return 0;
        return reg.ReadInteger(QStringLiteral("Language"));
    } catch (const std::exception &) {
        return 0;
    }
}

QList<THotKeyRequest> HotKeyRequests(const TZelkoraOptions &options)
{
    QList<THotKeyRequest> requests;
    if (!options.SysKeys)
        return requests;
    static const char *const names[6] = {"HK1", "HK2", "HK3", "HK4", "HK5", "HK6"};
    for (int slot = 1; slot <= 6; ++slot) {
        const QChar letter = HotKeyLetter(UsableIndex(options, names[slot - 1]));
        if (!letter.isNull())
            requests.append(THotKeyRequest{slot, letter});
    }
    return requests;
}

QString HotKeyDisplayName(QChar letter)
{
    return QStringLiteral("STRG + ") + letter.toUpper();
}

TLanguageOffer LanguageOffer(const QStringList &script)
{
    TLanguageOffer offer;
    for (const QString &line : script) {
        // Only a header can name a language; lower-casing every line of the
        // file would cost more than the rest of the start.
        if (!line.startsWith(QLatin1Char('[')))
            continue;
        const QString l = line.toLower();
        if (l == QLatin1String("[italian]"))
            offer.italian = true;
        else if (l == QLatin1String("[espaniol]"))
            offer.spanish = true;
        else if (l == QLatin1String("[france]"))
            offer.french = true;
    }
    return offer;
}

bool IsDroppablePicture(const QString &path)
{
    static const QStringList exts = {"bmp", "jpg", "jpeg", "gif", "wmf", "emf", "ico", "zkg", "png"};
    return exts.contains(QFileInfo(path).suffix().toLower());
}

TDropList DroppedPictures(const QStringList &paths)
{
    TDropList list;
    for (const QString &p : paths) {
        if (p.isEmpty() || !IsDroppablePicture(p))
            continue;
        list.paths.append(p);
        list.names.append(QFileInfo(p).fileName());
    }
    return list;
}

QRect TMaximizeToggle::Toggle(const QRect &current, const QRect &screen, int explorerWidth)
{
    QRect next;
    if (m_count % 2 == 1) {
        m_restore = current;
        next = QRect(screen.left() + explorerWidth, screen.top(), screen.width() - explorerWidth,
                     screen.height());
    } else {
        next = m_restore;
    }
    ++m_count;
    return next;
}

QString ExceptionBoxText(const QString &typeName, const QString &message)
{
    return QStringLiteral("Fehlertyp: %1 \nMeldung: %2").arg(typeName, message);
}

QString ExceptionTypeName(const char *mangled)
{
    if (!mangled)
        return QStringLiteral("Exception");
    int status = 0;
    char *demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    QString name = QString::fromLatin1(status == 0 && demangled ? demangled : mangled);
    std::free(demangled);
    if (name.startsWith(QLatin1String("zk::")))
        name = name.mid(4);
    return name;
}

QString CompileVersionText(int major, int minor, int release, int build)
{
    return QStringLiteral("Compilierung: %1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

bool CompanionConfigured(const QString &iniPath)
{
    if (!QFileInfo::exists(iniPath))
        return false;
    TIniFile ini(iniPath);
    return ini.ValueExists(QStringLiteral("ZK_Quorvex"), QStringLiteral("AppPath"));
}

} // namespace zk
