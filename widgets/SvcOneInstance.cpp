#include "SvcOneInstance.h"

#include "ChannelModule.h"
#include "OneInstanceLock.h"
#include "XcbReply.h"

#include <QApplication>
#include <QMessageBox>

#include <xcb/xcb.h>

#include <cstring>
#include <sys/file.h>
#include <unistd.h>

namespace zk {

namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    XReply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray textProperty(xcb_connection_t *c, xcb_get_property_cookie_t ck)
{
    XReply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, ck, nullptr));
    if (!r || r->format != 8)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(r.get())),
                      xcb_get_property_value_length(r.get()));
}

struct XConnection
{
    xcb_connection_t *c = nullptr;
    xcb_window_t root = 0;
    XConnection()
    {
        int screen = 0;
        c = xcb_connect(nullptr, &screen);
        if (!c || xcb_connection_has_error(c)) {
            if (c)
                xcb_disconnect(c);
            c = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screen && it.rem; ++i)
            xcb_screen_next(&it);
        root = it.rem ? it.data->root : 0;
    }
    ~XConnection()
    {
        if (c)
            xcb_disconnect(c);
    }
};

} // namespace

TsvcOneInstance::TsvcOneInstance(QObject *owner)
    : TsvcComponent(owner)
{
}

TsvcOneInstance::~TsvcOneInstance()
{
    ReleaseLock();
}

void TsvcOneInstance::ReleaseLock()
{
    if (m_lockFd >= 0) {
        ::flock(m_lockFd, LOCK_UN);
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

void TsvcOneInstance::Loaded()
{
    if (InstanceExists())
        DoInstanceFound();
}

bool TsvcOneInstance::InstanceExists()
{
    ReleaseLock();
    const TInstanceLock lock =
        TestOneInstanceLock(LockFolder.isEmpty() ? ChannelRuntimeFolder() : LockFolder, Title);
    m_lockFd = lock.fd;
    m_lockError = lock.error;
    return lock.exists;
}

QString TsvcOneInstance::MessageText() const
{
    if (!Message.isEmpty())
        return Message;
    return QStringLiteral("Application \"%1\" is already running.").arg(Title);
}

void TsvcOneInstance::ShowMessageBox()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        qWarning("%s", qPrintable(MessageText()));
        return;
    }
    QMessageBox box(QMessageBox::Warning, Title, MessageText(), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("OneInstanceBox"));
    box.exec();
}

void TsvcOneInstance::DoInstanceFound()
{
    bool terminate = true;
    if (ShowMessage) {
        if (OnShowMessage)
            OnShowMessage(this, terminate);
        else
            ShowMessageBox();
    }
    // A lock that could not be had at all means no first copy to hand to.
    if (ActivatePrevInstance && m_lockError.isEmpty())
        m_handedOver = ActivateFirstCopy();
    m_terminate = terminate;
    if (terminate && QCoreApplication::instance())
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

bool TsvcOneInstance::ActivateFirstCopy()
{
    m_handOverError.clear();
    const QString path = ChannelPath.isEmpty() ? ChannelDefaultPath() : ChannelPath;
    QString error;
    if (HandOverToRunningCopy(Files, path, HandOverTimeoutMs, &error))
        return true;
    m_handOverError = error;
    // Nobody listens: the window can still be brought forward, but files
    // not handed over stay unopened, which the caller reports.
    const std::uint32_t window = FindPrevInstanceWindow(Title);
    const bool activated = window && ActivatePrevInstanceWindow(window);
    return activated && Files.isEmpty();
}

QStringList TsvcOneInstance::AbsoluteFiles(const QStringList &arguments, const QString &folder)
{
    return AbsoluteFileArguments(arguments, folder);
}

std::uint32_t FindPrevInstanceWindow(const QString &title, std::uint32_t own)
{
    XConnection x;
    if (!x.c)
        return 0;
    const xcb_atom_t clientList = internAtom(x.c, "_NET_CLIENT_LIST");
    const xcb_atom_t netName = internAtom(x.c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(x.c, "UTF8_STRING");
    XReply<xcb_get_property_reply_t> list(xcb_get_property_reply(
        x.c, xcb_get_property(x.c, 0, x.root, clientList, XCB_ATOM_WINDOW, 0, 4096), nullptr));
    if (!list || list->format != 32)
        return 0;
    const int n = xcb_get_property_value_length(list.get()) / 4;
    const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(list.get()));
    std::vector<xcb_get_property_cookie_t> classes(n), names(n), oldNames(n);
    for (int i = 0; i < n; ++i) {
        classes[i] = xcb_get_property(x.c, 0, windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64);
        names[i] = xcb_get_property(x.c, 0, windows[i], netName, utf8, 0, 64);
        oldNames[i] = xcb_get_property(x.c, 0, windows[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64);
    }
    std::uint32_t found = 0;
    for (int i = 0; i < n; ++i) {
        const QList<QByteArray> cls = textProperty(x.c, classes[i]).split('\0');
        QByteArray name = textProperty(x.c, names[i]);
        const QByteArray oldName = textProperty(x.c, oldNames[i]);
        if (name.isEmpty())
            name = oldName;
        if (found || windows[i] == own)
            continue;
        const bool ours = std::any_of(cls.begin(), cls.end(), [](const QByteArray &part) {
            return part.compare("zelkora", Qt::CaseInsensitive) == 0;
        });
        if (ours && QString::fromUtf8(name) == title)
            found = windows[i];
    }
    return found;
}

bool ActivatePrevInstanceWindow(std::uint32_t window)
{
    XConnection x;
    if (!x.c || !window)
        return false;
    XReply<xcb_get_window_attributes_reply_t> attr(
        xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, window), nullptr));
    if (!attr)
        return false; // no such window
    // A minimised (iconic) window is mapped again first.
    if (attr->map_state != XCB_MAP_STATE_VIEWABLE)
        xcb_map_window(x.c, window);
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = internAtom(x.c, "_NET_ACTIVE_WINDOW");
    ev.data.data32[0] = 2; // from a pager or a tool acting for the user
    ev.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.c, 0, x.root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&ev));
    XReply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
    return true;
}

} // namespace zk
