#pragma once
// Starting the program with the desktop session: XDG autostart entries
// written and removed by kind, and the component that keeps one such entry
// in step with a switch.
//
// Kinds 2 and 3 are the user's ($XDG_CONFIG_HOME/autostart), 0 and 1 the
// machine's (the first folder of $XDG_CONFIG_DIRS + "/autostart", writable
// only by root); the "once" kinds are the entry start-up removes again.
// Kinds 4 and 5 have no place on this system: refused, nothing touched.
#include "SvcComponents.h"

#include <QString>

namespace zk {

enum TsvcAutoExecKind : int {
    aekMachineRun = 0,
    aekMachineRunOnce = 1,
    aekUserRun = 2,
    aekUserRunOnce = 3,
    aekServiceRun = 4,
    aekServiceRunOnce = 5,
};

// Quotes a program path for the Exec line of a desktop entry.
QString DesktopExecQuote(const QString &path);
// The folder of a kind's entries; empty for kinds 4 and 5.
QString AutoRunFolder(int kind);
// The entry of a kind for a program path: "<file name>.desktop" for the
// run kinds, "<file name>-runonce.desktop" for the once kinds (both may
// exist side by side); empty for kinds 4 and 5.
QString AutoRunEntryPath(int kind, const QString &fileName);
// The text of such an entry.
QString AutoRunEntryText(const QString &fileName);
// Writes the entry (through a temporary file); false when it could not be
// written or the kind has no place.
bool AutoRunWrite(int kind, const QString &fileName);
// Removes the entry: false when its folder is missing or the removal
// failed, true when it is gone (also when it was not there).
bool AutoRunRemove(int kind, const QString &fileName);

// The one-time entry that brings the program back at the next login.
QString RunOnceEntryPath();
bool WriteRunOnceEntry(const QString &executable);
void RemoveRunOnceEntry();

class TsvcAutoRun : public TsvcComponent
{
    Q_OBJECT

public:
    explicit TsvcAutoRun(QObject *owner = nullptr);

    bool AutoRun() const { return m_autoRun; }
    void SetAutoRun(bool on);
    // The program's full path unless set.
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString &fileName);
    TsvcAutoExecKind Kind() const { return m_kind; }
    void SetKind(TsvcAutoExecKind kind);

    // After the properties are set (until then the setters only store):
    // the entry as AutoRun says.
    virtual void Loaded();
    // Removes the entry, then writes it when AutoRun is on.
    virtual void Register();
    virtual void Unregister();

private:
    bool m_autoRun = false;
    QString m_fileName;
    TsvcAutoExecKind m_kind = aekMachineRun;
    bool m_loading = true;
};

} // namespace zk
