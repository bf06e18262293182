#pragma once
// One side of the main window where its dockable windows sit (left, right,
// bottom). The docking itself is Qt's dock area of that side; this object
// gives the area a name, a tag and a size, so layout arithmetic and the
// stored dock states see what is docked there.
#include <QList>
#include <QObject>
#include <Qt>

class QDockWidget;
class QMainWindow;
class QWidget;

namespace zk {

class TDockSite : public QObject
{
    Q_OBJECT
public:
    // tag: 0 left, 1 right, 2 bottom (the "Tag" property of the site).
    TDockSite(QMainWindow *mainWindow, Qt::DockWidgetArea area, int tag, const QString &name);

    Qt::DockWidgetArea Area() const { return m_area; }
    QMainWindow *MainWindow() const { return m_main; }
    // The dock windows docked here (not floating), in the main window's order.
    QList<QDockWidget *> DockClients() const;
    int VisibleDockClientCount() const;
    // True while at least one docked window is shown here.
    bool isVisible() const { return VisibleDockClientCount() > 0; }
    // The room the area takes from the main window's client area, the
    // separator to the picture included; 0 while nothing shown is docked.
    int width() const;
    int height() const;
    // Whether control is docked in this area.
    bool Hosts(const QWidget *control) const;
    // Docks the window into this area (it stops floating).
    void Dock(QDockWidget *dock) const;

private:
    QMainWindow *m_main;
    Qt::DockWidgetArea m_area;
};

} // namespace zk
