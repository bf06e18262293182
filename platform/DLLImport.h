#pragma once
// The binding to the two modules loaded at run time: libzktools32.so (mouse
// and key hooks, the recording frame) and libvexzip32.so (zip archives).
// Both are loaded once at start from the executable's folder and closed at
// exit; there is no retry. Every wrapper looks its entry point up on each
// call; a missing module or entry point makes it return false and do
// nothing, so the program runs without them.
//
// The tools module reports through X11 ClientMessages to the window passed
// in; TModuleMessages turns them into signals on the GUI thread.
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>

class QWidget;

namespace zk {

// Loads both modules from folder (the executable's folder when empty). Only
// the first call after start (or after FreeOutsideModules) loads anything.
void LoadOutsideModules(const QString &folder = QString());
// Closes both modules; the tools module stops its thread and removes its
// windows and grabs first.
void FreeOutsideModules();
// True when the module was found at load time.
bool ToolsModuleLoaded();
bool ZipModuleLoaded();

// vexzip32: packs the files of "zipfiles.dat" in the program folder (line 1
// the archive, then one file a line) at the given deflate level. True when
// the archive was written.
bool ProceedFiles(std::int32_t level, std::uint8_t a, std::uint8_t b);

// zktools32. window is an X11 window id (QWidget::winId()).
// The next release of mouse button 1 anywhere sends LButtonUp to window.
bool InstallHook(std::uint32_t window);
bool UninstallHook();
// Grabs the Print key system-wide and sends PrintKey press and release.
// False when another client holds the key.
bool InstallHook2(std::uint32_t window);
bool UninstallHook2();
// Shows the 3-pixel frame around a width x height area (height from
// the recorder's table): at (0, 0), or centred when frameInit is 1; with
// moveGrabber a handle lets the user drag it. FrameMoved reports the area's
// left and top on show and after every drag.
bool ShowAviFrame(std::uint32_t window, std::int32_t width, std::uint8_t frameInit, std::uint8_t moveGrabber,
                  std::uint8_t one);
bool HideAviFrame();

// The module messages addressed to one widget's window, as signals on the
// GUI thread. Parented to the widget; does nothing off X11.
class TModuleMessages : public QObject
{
    Q_OBJECT
public:
    explicit TModuleMessages(QWidget *target);
    ~TModuleMessages() override;
    // The X11 window id the modules must be given for this widget.
    std::uint32_t Window() const { return m_window; }

signals:
    void LButtonUp(QPoint rootPos);
    void FrameMoved(QPoint areaTopLeft);
    void PrintKey(bool pressed);

private:
    friend class TModuleMessageFilter;
    std::uint32_t m_window = 0;
};

} // namespace zk
