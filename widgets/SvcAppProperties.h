#pragma once
// Application-wide events and properties as a component a form can hold.
// Every instance takes part in one chain (TsvcAppPropList): an event of the
// application reaches the instances from the newest to the oldest; an
// instance with Chained false ends the walk there, and only a walk that
// ends on its own lets the event go on as the application would handle it.
//
// The application's events, as Qt has them:
//   OnActivate / OnDeactivate   application state active / inactive
//   OnException                 an exception that reached the event loop
//                               (the application's notify), see DispatchException
//   OnIdle                      the event loop is about to wait (aboutToBlock)
//   OnMessage                   every event, through an application event filter
//   OnMinimize / OnRestore      the main window's state change
//   OnShowHint                  a tool-tip event; OnHint a status-tip event
//   OnShortCut                  a key before shortcuts see it (ShortcutOverride)
//   OnHelp                      a what's-this request
//   OnActionExecute             a shortcut reaching an action
//   OnActionUpdate              an action that changed
//   OnActiveControlChange / OnActiveFormChange   focus and focus window changes
#include "Colors.h"
#include "SvcComponents.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <Qt>

#include <functional>

class QAction;
class QEvent;
class QKeyEvent;
class QHelpEvent;
class QWidget;

namespace zk {

class TsvcApplicationProperties;

class TsvcApplicationProperties : public TsvcComponent
{
    Q_OBJECT

public:
    // owner: the form that holds it; its window is the main window for
    // OnMinimize/OnRestore and Hidden when it is the first instance.
    explicit TsvcApplicationProperties(QObject *owner = nullptr);
    ~TsvcApplicationProperties() override;

    // --- the application's events ---------------------------------------
    std::function<void(QObject *Sender, QAction *Action, bool &Handled)> OnActionExecute, OnActionUpdate;
    std::function<void(QObject *Sender)> OnActivate, OnDeactivate, OnMinimize, OnRestore, OnHint;
    std::function<void(QObject *Sender, const QString &TypeName, const QString &Message)> OnException;
    std::function<void(QObject *Sender, bool &Done)> OnIdle;
    std::function<void(QObject *Sender, QObject *Target, bool &CallHelp)> OnHelp;
    std::function<void(QObject *Target, QEvent *Event, bool &Handled)> OnMessage;
    std::function<void(QString &HintStr, bool &CanShow, QWidget *Control)> OnShowHint;
    std::function<void(QKeyEvent *Key, bool &Handled)> OnShortCut;
    // --- the screen's events and the component's own -----------------------
    std::function<void(QObject *Sender)> OnActiveControlChange, OnActiveFormChange;
    std::function<void(QObject *Sender)> OnSettingsChanged;
    // Kept without effect: X11 paints no minimised application icon.
    std::function<void(QObject *Sender)> OnPaintIcon;

    // --- properties; each setter applies at once ------------------------
    bool Chained = true;
    bool Hidden() const { return m_hidden; }
    void SetHidden(bool on);
    TColor HintColor() const { return m_hintColor; }
    void SetHintColor(TColor colour);
    int HintPause() const { return m_hintPause; }
    void SetHintPause(int ms);
    int HintShortPause() const { return m_hintShortPause; }
    void SetHintShortPause(int ms);
    int HintHidePause() const { return m_hintHidePause; }
    void SetHintHidePause(int ms);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool on);
    bool HintShortCuts() const { return m_hintShortCuts; }
    void SetHintShortCuts(bool on);
    Qt::LayoutDirection BiDiMode() const { return m_biDiMode; }
    void SetBiDiMode(Qt::LayoutDirection mode);
    int MouseDragThreshold() const { return m_dragThreshold; }
    void SetMouseDragThreshold(int pixels);
    // Stored; nothing on this system reads them.
    bool MouseDragImmediate = true;
    bool UpdateFormatSettings = true;
    bool UpdateMetricSettings = true;
    bool ShowMainForm = true;
    QString BiDiKeyboard, NonBiDiKeyboard;

    // Puts the properties to work; Loaded also applies Hidden when set.
    virtual void ApplyProperties();
    virtual void ApplyHidden();
    virtual void Loaded();
    // Runs OnSettingsChanged; an exception goes to the exception chain.
    virtual void SettingsChanged();

    // The main window the instance acts on (its owner when that is a window).
    QWidget *MainWindow() const;

private:
    enum : unsigned {
        ApplyHintColor = 1,
        ApplyHintPause = 2,
        ApplyHintShortPause = 4,
        ApplyHintHidePause = 8,
        ApplyShowHint = 16,
        ApplyHintShortCuts = 32,
        ApplyBiDiMode = 64,
        ApplyDragThreshold = 128,
        ApplyAll = 255
    };
    void Apply(unsigned what);

    bool m_hidden = false;
    TColor m_hintColor = TColor(0x80000018); // clInfoBk
    int m_hintPause = 500;
    int m_hintShortPause = 50;
    int m_hintHidePause = 2500;
    bool m_showHint = true;
    bool m_hintShortCuts = true;
    Qt::LayoutDirection m_biDiMode = Qt::LeftToRight;
    int m_dragThreshold = 5;
};

// The one chain of all instances, made with the first and gone with the last.
class TsvcAppPropList : public QObject
{
    Q_OBJECT

public:
    // Null while no instance exists.
    static TsvcAppPropList *Instance();
    // The instances in creation order.
    QList<TsvcApplicationProperties *> Instances() const;

    // An exception that reached the event loop: walks the chain's
    // OnException; false when no handler took it (the caller then shows
    // the standard box).
    static bool DispatchException(const QString &typeName, const QString &message);
    // The standard display for an exception no handler took.
    static void SetStandardExceptionDisplay(std::function<void(const QString &, const QString &)> display);

    // The tool-tip timings in force (the application's style asks).
    static int HintPauseMs();
    static int HintShortPauseMs();
    // The hide pause and show-hint switch in force: those last applied, not
    // the newest instance's (a dialog's component that never applies its
    // defaults leaves the main window's in force).
    static int HintHidePauseMs();
    static bool HintsShown();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TsvcApplicationProperties;
    TsvcAppPropList();
    ~TsvcAppPropList() override;
    void Add(TsvcApplicationProperties *instance);
    void Remove(TsvcApplicationProperties *instance);
    // Walks newest to oldest over a copy (a handler may free an instance);
    // true when the walk ran to its end.
    // (A template: it runs for every event of the program.)
    template<class Call>
    bool Walk(const Call &call) const;

    QList<QPointer<TsvcApplicationProperties>> m_instances;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace zk
