#pragma once
// System-wide hot keys over X11: Ctrl + a letter, grabbed on the root window
// so the key reaches us whichever program has the focus. Each key is grabbed
// with the NumLock and CapsLock variants as well, since X11 matches the
// modifier state exactly and a lit NumLock would otherwise swallow the key.
#include <QAbstractNativeEventFilter>
#include <QChar>
#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <map>

namespace zk {

// The fifteen letters a hot key may use, by the index stored in the options
// (the settings dialog offers them as "STRG + A" to "STRG + Y").
constexpr int kHotKeyLetterCount = 15;

// The letter of an index, or a null QChar for an index of 15 or more.
QChar HotKeyLetter(int index);

// The index of a letter (either case), or -1 when the letter is not offered.
int HotKeyLetterIndex(QChar letter);

// One requested key of a registration round.
struct THotKeyRequest
{
    int id = 0;      // what the hot-key signal carries
    QChar letter;    // pressed together with Ctrl
};

// Outcome of a registration round, for the caller to tell the user.
struct THotKeyResult
{
    QList<int> registered;
    QList<int> refused; // the combination is held by another program
    bool available = true; // false when there is no X11 connection at all
};

class TGlobalHotKeys : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit TGlobalHotKeys(QObject *parent = nullptr);
    ~TGlobalHotKeys() override;

    // True when the program runs on X11 (XWayland counts).
    static bool Available();

    // Grabs Ctrl+letter for the id, replacing an earlier grab of that id.
    // Returns false when another client already holds the key or there is no
    // X server; nothing stays half grabbed then.
    bool Register(int id, QChar letter);
    THotKeyResult RegisterAll(const QList<THotKeyRequest> &requests);
    // Grabs a key without modifiers (an X keysym, e.g. 0xff1b for Escape)
    // for the id; false as above.
    bool RegisterKey(int id, std::uint32_t keysym);
    void Unregister(int id);
    void UnregisterAll();
    bool IsRegistered(int id) const;
    QList<int> RegisteredIds() const;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void hotKey(int id);

private:
    struct Grab
    {
        std::uint8_t keycode = 0;
        QChar letter;
        std::uint16_t mods = 0; // the modifiers pressed with it
    };
    bool addGrab(int id, std::uint8_t keycode, std::uint16_t mods, QChar letter);
    void ensureModifiers();
    bool grabKey(std::uint8_t keycode, bool grab, std::uint16_t base);
    std::uint8_t keycodeFor(QChar letter);

    std::map<int, Grab> m_grabs;
    std::uint16_t m_numLockMask = 0;
    bool m_modifiersKnown = false;
    bool m_filterInstalled = false;
};

} // namespace zk
