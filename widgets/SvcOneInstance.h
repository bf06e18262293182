#pragma once
// One running copy of the program. Two lock files in the user's runtime
// folder stand for the two named mutexes: "<title>.OneInstance.CriticalSection"
// makes the test itself exclusive, "<title>.OneInstance.Default" is held by
// the running copy for its whole life. flock locks go with the process, so a
// copy that crashed leaves nothing held behind.
//
// A second copy hands its work to the first: the picture of its command line
// (made absolute against its own working folder) and "show yourself" go
// through the program's message channel; when nobody answers there within
// 3 s, the first copy's window is looked up and activated instead.
#include "SvcComponents.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace zk {

class TsvcOneInstance;
// May clear terminate to keep the second copy running.
using TsvcOneInstanceShowMessage = std::function<void(TsvcOneInstance *Sender, bool &Terminate)>;

class TsvcOneInstance : public TsvcComponent
{
    Q_OBJECT

public:
    explicit TsvcOneInstance(QObject *owner = nullptr);
    ~TsvcOneInstance() override;

    bool ActivatePrevInstance = true;
    // Empty: the standard text.
    QString Message;
    bool ShowMessage = false;
    TsvcOneInstanceShowMessage OnShowMessage;

    // The application title the lock names and the window search use.
    QString Title = QStringLiteral("Zelkora 5.0");
    // The folder of the lock files; the message channel's runtime folder
    // unless set (tests use their own).
    QString LockFolder;
    // What the first copy is handed: files to open (absolute), then "show".
    QStringList Files;
    // The channel's socket; the default path unless set.
    QString ChannelPath;
    // How long the first copy may take to answer.
    int HandOverTimeoutMs = 3000;

    // The test, then the handling of a found copy.
    virtual void Loaded();
    // True when another copy runs (or the locks cannot be had at all).
    virtual bool InstanceExists();
    virtual void DoInstanceFound();

    // After Loaded: the copy should end now.
    bool Terminated() const { return m_terminate; }
    // Why the locks could not be taken for a reason other than another copy
    // (no usable runtime folder, a file that cannot be opened); empty otherwise.
    QString LockError() const { return m_lockError; }
    // Whether handing over to the first copy worked, and why not.
    bool HandedOver() const { return m_handedOver; }
    QString HandOverError() const { return m_handOverError; }
    // The text of the "already running" message.
    QString MessageText() const;

    // Gives up the running copy's lock (before a new copy is started).
    void ReleaseLock();

    // The files of a command line made absolute against folder.
    static QStringList AbsoluteFiles(const QStringList &arguments, const QString &folder);

protected:
    // The message box of ShowMessage without OnShowMessage.
    virtual void ShowMessageBox();
    // Hands over through the channel, then falls back to the window.
    virtual bool ActivateFirstCopy();

private:
    int m_lockFd = -1;
    bool m_terminate = false;
    bool m_handedOver = false;
    QString m_lockError;
    QString m_handOverError;
};

// The previous copy's main window: the first top-level client of the window
// manager's list whose WM_CLASS names the program (class or instance,
// without case) and whose title is title, other than own; 0 when none.
std::uint32_t FindPrevInstanceWindow(const QString &title, std::uint32_t own = 0);
// Asks the window manager to activate window (restored when minimised);
// false without an X server, a window manager or such a window.
bool ActivatePrevInstanceWindow(std::uint32_t window);

} // namespace zk
