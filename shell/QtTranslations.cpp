#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace zk {

QString QtCatalogueCode(int languageIndex)
{
    switch (languageIndex) {
    case 1:
        return {};
    case 2:
        return QStringLiteral("it");
    case 3:
        return QStringLiteral("es");
    case 4:
        return QStringLiteral("fr");
    default:
        return QStringLiteral("de"); // German for 0 and every unknown index
    }
}

bool ApplyQtTranslations(int languageIndex)
{
    // Owned by the application, so a new application starts without one.
    static QPointer<QTranslator> installed;
    static QString installedCode;
    const QString code = QtCatalogueCode(languageIndex);
    if (installed && code == installedCode)
        return true;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
        installedCode.clear();
    }
    if (code.isEmpty())
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_") + code, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    installedCode = code;
    return true;
}

} // namespace zk
