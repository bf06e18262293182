#pragma once
// Handing files, folders and help pages to the desktop: the browser, the file
// manager and the programs the desktop names for a file's type.
#include <QString>
#include <QStringList>

class QWidget;

namespace zk {

// The help page "Help/HTM_Grafik/<page>.htm" of the program folder, or empty
// when it is not installed.
QString HelpPageFile(const QString &page);
// Opens the help page in the browser. Without it, says so in a box over
// parent (in parent's language) and returns false.
bool ShowHelpPage(QWidget *parent, const QString &page);
// The desktop's "open": a file in the program for its type, a folder in the
// file manager. False when the desktop refused it.
bool ShellOpen(const QString &path);
// A script runs when it may be executed (in folder workDir); any other file
// goes to the program the desktop names for it.
bool RunScriptFile(const QString &file, const QString &workDir);

// The file manager on a folder (the desktop's "explore"). False when the
// desktop refused it.
bool ExploreFolder(const QString &path);
// The desktop's "open": a program file starts (without arguments), anything
// else goes to ShellOpen. False when nothing could be started.
bool OpenFolder(const QString &path);
// The program and arguments of a desktop search tool found on PATH, set to
// search below folder; empty when none is installed.
QStringList FolderSearchCommand(const QString &folder);
// Searches below folder with the desktop's search tool, or, without one,
// shows the folder in the file manager. False when neither could start.
bool ExplorerFindFolder(const QString &path);

} // namespace zk
