#pragma once
// The decisions of start-up and of the main window's life that need no
// window: which hot keys to grab, which language items the file offers, what
// a drop of several files lists, how the magnetic maximise toggles, what the
// error box says, and the one-time autostart entry written when the desktop
// session ends.
#include "SvcAutoRun.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

namespace zk {

struct TZelkoraOptions;
struct THotKeyRequest;

// The "Intro" value of the options, read without creating the key: a first
// run, a missing value or anything unreadable means no start picture.
bool IntroWanted();
// The language index the options hold, read the same way; 0 (German) for a
// first run, a missing value or anything unreadable. Only a hint of which
// language the window will want: the options decide.
int StoredLanguageIndex();

// The six hot keys of the options as slot 1..6 with their letters. Empty when
// the system-wide keys are switched off; an index outside the letter table
// counts as that slot's default.
QList<THotKeyRequest> HotKeyRequests(const TZelkoraOptions &options);
// "STRG + E" for the user.
QString HotKeyDisplayName(QChar letter);

// Which optional language items a language file offers: a section header
// line "[italian]", "[espaniol]" or "[france]" (whole line, without case).
struct TLanguageOffer
{
    bool italian = false;
    bool spanish = false;
    bool french = false;
};
TLanguageOffer LanguageOffer(const QStringList &script);

// The pictures of a drop, in drop order: the full names and what the list
// box shows (the name without folder). Files that are not pictures by their
// extension are left out.
struct TDropList
{
    QStringList paths;
    QStringList names;
};
// The extensions, compared without case, that the main window opens
// directly.
bool IsDroppablePicture(const QString &path);
TDropList DroppedPictures(const QStringList &paths);

// The maximise command while the explorer is pinned: odd counts fill the
// screen beside the explorer and remember the bounds, even counts restore
// them. The counter starts at 1.
class TMaximizeToggle
{
public:
    int Count() const { return m_count; }
    QRect RestoreBounds() const { return m_restore; }
    // Returns the bounds the window takes now.
    QRect Toggle(const QRect &current, const QRect &screen, int explorerWidth);
    void Reset() { m_count = 1; }

private:
    int m_count = 1;
    QRect m_restore;
};

// The text of the error box: type, a line break, the message.
QString ExceptionBoxText(const QString &typeName, const QString &message);
// The class name of an exception object as the user should read it: the
// demangled type without the program's namespace.
QString ExceptionTypeName(const char *mangled);

// "Compilierung: 5.0.0.1" from the compiled-in version.
QString CompileVersionText(int major, int minor, int release, int build);

// Whether "ZK5.ini" names the companion program: the file exists and its
// section "ZK_Quorvex" has the key "AppPath".
bool CompanionConfigured(const QString &iniPath);


} // namespace zk
