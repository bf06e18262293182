#include "HotKeys.h"

#include "QtXcb.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace zk {

namespace {

constexpr char kLetters[kHotKeyLetterCount + 1] = "ABEFGHIJKLMNTUY";
constexpr std::uint32_t kNumLockKeysym = 0xff7f;

xcb_window_t rootWindow(xcb_connection_t *c)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem > 0 ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

std::uint8_t firstKeycode(xcb_connection_t *c, std::uint32_t keysym)
{
    xcb_key_symbols_t *syms = xcb_key_symbols_alloc(c);
    if (!syms)
        return 0;
    std::uint8_t result = 0;
    if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(syms, keysym)) {
        result = codes[0] == std::uint8_t(XCB_NO_SYMBOL) ? std::uint8_t(0) : codes[0];
        std::free(codes);
    }
    xcb_key_symbols_free(syms);
    return result;
}

} // namespace

QChar HotKeyLetter(int index)
{
    if (index < 0 || index >= kHotKeyLetterCount)
        return {};
    return QChar::fromLatin1(kLetters[index]);
}

int HotKeyLetterIndex(QChar letter)
{
    const QChar up = letter.toUpper();
    for (int i = 0; i < kHotKeyLetterCount; ++i)
        if (up == QChar::fromLatin1(kLetters[i]))
            return i;
    return -1;
}

TGlobalHotKeys::TGlobalHotKeys(QObject *parent)
    : QObject(parent)
{
}

TGlobalHotKeys::~TGlobalHotKeys()
{
    UnregisterAll();
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool TGlobalHotKeys::Available()
{
    return QtXcbConnection() != nullptr;
}

void TGlobalHotKeys::ensureModifiers()
{
    if (m_modifiersKnown)
        return;
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return;
    m_modifiersKnown = true;
    m_numLockMask = XCB_MOD_MASK_2; // the usual place when the map says nothing
    const std::uint8_t numLock = firstKeycode(c, kNumLockKeysym);
    xcb_get_modifier_mapping_reply_t *reply =
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (!reply)
        return;
    const int perModifier = reply->keycodes_per_modifier;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int count = xcb_get_modifier_mapping_keycodes_length(reply);
    for (int mod = 0; mod < 8 && numLock; ++mod)
        for (int k = 0; k < perModifier && mod * perModifier + k < count; ++k)
            if (codes[mod * perModifier + k] == numLock)
                m_numLockMask = std::uint16_t(1u << mod);
    std::free(reply);
}

std::uint8_t TGlobalHotKeys::keycodeFor(QChar letter)
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c || HotKeyLetterIndex(letter) < 0)
        return 0;
    // Keysyms of Latin letters are their lower-case code points.
    return firstKeycode(c, letter.toLower().unicode());
}

bool TGlobalHotKeys::grabKey(std::uint8_t keycode, bool grab, std::uint16_t base)
{
    xcb_connection_t *c = QtXcbConnection();
    const xcb_window_t root = c ? rootWindow(c) : xcb_window_t(XCB_WINDOW_NONE);
    if (!c || root == XCB_WINDOW_NONE)
        return false;
    const std::uint16_t variants[4] = {base, std::uint16_t(base | m_numLockMask),
                                       std::uint16_t(base | XCB_MOD_MASK_LOCK),
                                       std::uint16_t(base | m_numLockMask | XCB_MOD_MASK_LOCK)};
    if (!grab) {
        for (std::uint16_t mods : variants)
            xcb_ungrab_key(c, keycode, root, mods);
        xcb_flush(c);
        return true;
    }
    // All four or none: a key that answers only while NumLock is off would
    // look broken to the user.
    xcb_void_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] = xcb_grab_key_checked(c, 1, root, variants[i], keycode, XCB_GRAB_MODE_ASYNC,
                                          XCB_GRAB_MODE_ASYNC);
    bool ok = true;
    bool mine[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (xcb_generic_error_t *error = xcb_request_check(c, cookies[i])) {
            ok = false;
            std::free(error);
        } else {
            mine[i] = true;
        }
    }
    if (!ok) {
        for (int i = 0; i < 4; ++i)
            if (mine[i])
                xcb_ungrab_key(c, keycode, root, variants[i]);
        xcb_flush(c);
    }
    return ok;
}

bool TGlobalHotKeys::Register(int id, QChar letter)
{
    Unregister(id);
    if (!QtXcbConnection())
        return false;
    ensureModifiers();
    return addGrab(id, keycodeFor(letter), XCB_MOD_MASK_CONTROL, letter.toUpper());
}

bool TGlobalHotKeys::RegisterKey(int id, std::uint32_t keysym)
{
    Unregister(id);
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return false;
    ensureModifiers();
    return addGrab(id, firstKeycode(c, keysym), 0, QChar());
}

bool TGlobalHotKeys::addGrab(int id, std::uint8_t keycode, std::uint16_t mods, QChar letter)
{
    if (!keycode)
        return false;
    // Two slots on one key share the grab; the first id wins the key press.
    for (const auto &[otherId, grab] : m_grabs)
        if (grab.keycode == keycode && grab.mods == mods) {
            m_grabs[id] = Grab{keycode, letter, mods};
            return true;
        }
    if (!grabKey(keycode, true, mods))
        return false;
    m_grabs[id] = Grab{keycode, letter, mods};
    if (!m_filterInstalled && QCoreApplication::instance()) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return true;
}

THotKeyResult TGlobalHotKeys::RegisterAll(const QList<THotKeyRequest> &requests)
{
    THotKeyResult result;
    result.available = Available();
    for (const THotKeyRequest &r : requests) {
        if (Register(r.id, r.letter))
            result.registered.append(r.id);
        else if (result.available && HotKeyLetterIndex(r.letter) >= 0)
            result.refused.append(r.id);
    }
    return result;
}

void TGlobalHotKeys::Unregister(int id)
{
    auto it = m_grabs.find(id);
    if (it == m_grabs.end())
        return;
    const std::uint8_t keycode = it->second.keycode;
    const std::uint16_t mods = it->second.mods;
    m_grabs.erase(it);
    for (const auto &entry : m_grabs)
        if (entry.second.keycode == keycode && entry.second.mods == mods)
            return; // another id still uses the grab
    grabKey(keycode, false, mods);
}

void TGlobalHotKeys::UnregisterAll()
{
    while (!m_grabs.empty())
        Unregister(m_grabs.begin()->first);
}

bool TGlobalHotKeys::IsRegistered(int id) const
{
    return m_grabs.count(id) != 0;
}

QList<int> TGlobalHotKeys::RegisteredIds() const
{
    QList<int> ids;
    for (const auto &entry : m_grabs)
        ids.append(entry.first);
    return ids;
}

bool TGlobalHotKeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || m_grabs.empty())
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
    const std::uint16_t ignored = std::uint16_t(m_numLockMask | XCB_MOD_MASK_LOCK);
    const std::uint16_t mods = std::uint16_t(press->state & 0xff & ~ignored);
    for (const auto &[id, grab] : m_grabs)
        if (grab.keycode == press->detail && grab.mods == mods) {
            emit hotKey(id);
            return true; // the key was ours; the focused widget must not see it too
        }
    return false;
}

} // namespace zk
