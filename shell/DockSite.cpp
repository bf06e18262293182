#include "DockSite.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QStyle>

namespace zk {

TDockSite::TDockSite(QMainWindow *mainWindow, Qt::DockWidgetArea area, int tag, const QString &name)
    : QObject(mainWindow), m_main(mainWindow), m_area(area)
{
    setObjectName(name);
    setProperty("Tag", tag);
}

QList<QDockWidget *> TDockSite::DockClients() const
{
    QList<QDockWidget *> clients;
    for (QDockWidget *d : m_main->findChildren<QDockWidget *>(Qt::FindDirectChildrenOnly))
        if (!d->isFloating() && m_main->dockWidgetArea(d) == m_area)
            clients.append(d);
    return clients;
}

int TDockSite::VisibleDockClientCount() const
{
    int n = 0;
    for (const QDockWidget *d : DockClients())
        n += d->isVisibleTo(m_main) ? 1 : 0;
    return n;
}

namespace {

// The part of the main window the shown windows of one area cover.
QRect CoveredRect(const TDockSite &site)
{
    QRect covered;
    for (const QDockWidget *d : site.DockClients())
        if (d->isVisibleTo(site.MainWindow()))
            covered |= d->geometry();
    return covered;
}

int SeparatorExtent(const QMainWindow *main)
{
    return main->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, main);
}

} // namespace

int TDockSite::width() const
{
    const QRect covered = CoveredRect(*this);
    if (covered.isEmpty())
        return 0;
    return covered.width() + (m_area == Qt::BottomDockWidgetArea ? 0 : SeparatorExtent(m_main));
}

int TDockSite::height() const
{
    const QRect covered = CoveredRect(*this);
    if (covered.isEmpty())
        return 0;
    return covered.height() + (m_area == Qt::BottomDockWidgetArea ? SeparatorExtent(m_main) : 0);
}

bool TDockSite::Hosts(const QWidget *control) const
{
    for (const QDockWidget *d : DockClients())
        if (d == control)
            return true;
    return false;
}

void TDockSite::Dock(QDockWidget *dock) const
{
    if (Hosts(dock))
        return;
    dock->setFloating(false);
    m_main->addDockWidget(m_area, dock);
}

} // namespace zk
