#include "DLLImport.h"

#include "ModuleProtocol.h"
#include "XcbReply.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstring>
#include <dlfcn.h>

namespace zk {

namespace {

struct Modules
{
    bool loaded = false;
    void *tools = nullptr;
    void *zip = nullptr;
};

Modules &loadedModules()
{
    static Modules m;
    return m;
}

void *openModule(const QString &folder, const char *name)
{
    const QString path = folder + '/' + QString::fromLatin1(name);
    if (!QFile::exists(path))
        return nullptr;
    return dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
}

// The entry point of a loaded module, looked up afresh on every call.
template <class Fn>
Fn entry(void *module, const char *name)
{
    if (!module)
        return nullptr;
    return reinterpret_cast<Fn>(dlsym(module, name));
}

template <class Fn, class... Args>
bool callTools(const char *name, Args... args)
{
    const Fn fn = entry<Fn>(loadedModules().tools, name);
    return fn && fn(args...) != 0;
}

} // namespace

void LoadOutsideModules(const QString &folder)
{
    Modules &m = loadedModules();
    if (m.loaded)
        return;
    m.loaded = true;
    const QString dir = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    m.tools = openModule(dir, modules::kToolsModule);
    m.zip = openModule(dir, modules::kZipModule);
}

void FreeOutsideModules()
{
    Modules &m = loadedModules();
    for (void **h : {&m.tools, &m.zip})
        if (*h) {
            dlclose(*h);
            *h = nullptr;
        }
    m.loaded = false;
}

bool ToolsModuleLoaded()
{
    return loadedModules().tools != nullptr;
}

bool ZipModuleLoaded()
{
    return loadedModules().zip != nullptr;
}

bool ProceedFiles(std::int32_t level, std::uint8_t a, std::uint8_t b)
{
    const auto fn = entry<modules::ProceedFilesFn>(loadedModules().zip, "ProceedFiles");
    return fn && fn(level, a, b) != 0;
}

bool InstallHook(std::uint32_t window)
{
    return callTools<modules::InstallHookFn>("InstallHook", window);
}

bool UninstallHook()
{
    return callTools<modules::UninstallHookFn>("UninstallHook");
}

bool InstallHook2(std::uint32_t window)
{
    return callTools<modules::InstallHookFn>("InstallHook2", window);
}

bool UninstallHook2()
{
    return callTools<modules::UninstallHookFn>("UninstallHook2");
}

bool ShowAviFrame(std::uint32_t window, std::int32_t width, std::uint8_t frameInit, std::uint8_t moveGrabber,
                  std::uint8_t one)
{
    return callTools<modules::ShowAviFrameFn>("ShowAviFrame", window, width, frameInit, moveGrabber, one);
}

bool HideAviFrame()
{
    return callTools<modules::HideAviFrameFn>("HideAviFrame");
}

// ---------------------------------------------------------------- messages

// One filter for the whole program: it knows the three message atoms and
// the receivers by window id.
class TModuleMessageFilter : public QAbstractNativeEventFilter
{
public:
    static TModuleMessageFilter *Instance()
    {
        static TModuleMessageFilter *filter = [] {
            auto *f = new TModuleMessageFilter; // lives as long as the application
            if (f->m_connection)
                QCoreApplication::instance()->installNativeEventFilter(f);
            return f;
        }();
        return filter;
    }

    void Add(TModuleMessages *r) { m_receivers.insert(r->m_window, r); }
    void Remove(TModuleMessages *r) { m_receivers.remove(r->m_window, r); }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        auto *cm = reinterpret_cast<xcb_client_message_event_t *>(event);
        if (cm->format != 32 || !cm->type)
            return false;
        const bool up = cm->type == m_lButtonUp, moved = cm->type == m_frameMoved, key = cm->type == m_printKey;
        if (!up && !moved && !key)
            return false;
        const QPoint p(std::int32_t(cm->data.data32[0]), std::int32_t(cm->data.data32[1]));
        // A receiver may delete itself (or others) from its slot.
        const QList<TModuleMessages *> targets = m_receivers.values(cm->window);
        for (TModuleMessages *r : targets) {
            if (!m_receivers.contains(cm->window, r))
                continue;
            if (up)
                emit r->LButtonUp(p);
            else if (moved)
                emit r->FrameMoved(p);
            else
                emit r->PrintKey(p.x() != 0);
        }
        return true;
    }

private:
    TModuleMessageFilter()
    {
        auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        m_connection = x11 ? x11->connection() : nullptr;
        if (!m_connection)
            return;
        m_lButtonUp = intern(modules::kLButtonUpAtom);
        m_frameMoved = intern(modules::kFrameMovedAtom);
        m_printKey = intern(modules::kPrintKeyAtom);
    }

    xcb_atom_t intern(const char *name) const
    {
        const xcb_intern_atom_cookie_t ck = xcb_intern_atom(m_connection, 0, std::uint16_t(std::strlen(name)), name);
        const XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, ck, nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_atom_t m_lButtonUp = XCB_ATOM_NONE, m_frameMoved = XCB_ATOM_NONE, m_printKey = XCB_ATOM_NONE;
    QMultiHash<std::uint32_t, TModuleMessages *> m_receivers;
};

TModuleMessages::TModuleMessages(QWidget *target)
    : QObject(target), m_window(target ? std::uint32_t(target->winId()) : 0)
{
    TModuleMessageFilter::Instance()->Add(this);
}

TModuleMessages::~TModuleMessages()
{
    TModuleMessageFilter::Instance()->Remove(this);
}

} // namespace zk
