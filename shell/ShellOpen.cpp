#include "ShellOpen.h"

#include "MultiLanguage.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include "ProgramDir.h"

namespace zk {

QString HelpPageFile(const QString &page)
{
    if (page.isEmpty() || page.contains(QLatin1Char('/')))
        return {};
    const QString file = ProgramDir() + QStringLiteral("Help/HTM_Grafik/") + page + QStringLiteral(".htm");
    return QFileInfo(file).isFile() ? file : QString();
}

bool ShowHelpPage(QWidget *parent, const QString &page)
{
    const QString file = HelpPageFile(page);
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return true;
    QWidget *window = parent ? parent->window() : nullptr;
    const QString text =
        FormText(window, QStringLiteral("showmsg_no_help_page"),
                 QStringLiteral("Die Hilfeseite ist nicht installiert:")) +
        QLatin1Char('\n') + ProgramDir() + QStringLiteral("Help/HTM_Grafik/") + page + QStringLiteral(".htm");
    QMessageBox::information(window, window ? window->windowTitle() : QString(), text);
    return false;
}

bool ShellOpen(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool RunScriptFile(const QString &file, const QString &workDir)
{
    const QFileInfo info(file);
    if (info.isFile() && info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), {}, workDir);
    return ShellOpen(file);
}

bool ExploreFolder(const QString &path)
{
    return ShellOpen(path);
}

bool OpenFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile() && info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), {}, info.absolutePath());
    return ShellOpen(path);
}

QStringList FolderSearchCommand(const QString &folder)
{
    // The desktops' search tools, each with how it is given the folder.
    static const struct {
        const char *program;
        const char *option; // prefix of the folder argument
    } tools[] = {{"catfish", ""}, {"kfind", ""}, {"gnome-search-tool", "--path="}};
    for (const auto &tool : tools) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool.program));
        if (!program.isEmpty())
            return {program, QString::fromLatin1(tool.option) + folder};
    }
    return {};
}

bool ExplorerFindFolder(const QString &path)
{
    const QStringList command = FolderSearchCommand(path);
    if (!command.isEmpty() && QProcess::startDetached(command.first(), command.mid(1), path))
        return true;
    return ExploreFolder(path);
}

} // namespace zk
