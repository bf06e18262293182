#pragma once
// Routines the tray icon shares with the main window and the mouse tools:
// the keyboard's shift state, showing and hiding the whole application, and
// writing one string value into the settings store.
#include "Registry.h"

#include <QString>
#include <Qt>

class QWidget;

namespace zk {

// The keys and buttons held during a mouse event (a mouse-down or move sent
// from the keyboard says "left button held" without a real press).
struct TShiftState
{
    Qt::KeyboardModifiers keys;
    Qt::MouseButtons buttons;
};

// Shift, Alt and Ctrl as the keyboard holds them now; the caller adds the
// mouse buttons.
TShiftState ShiftStateNow();

// Shows the program's main window (restored when minimised) / hides it when
// visible. Null does nothing.
void ShowApplication(QWidget *mainForm);
void HideApplication(QWidget *mainForm);

// Writes the string value name = text into key (created when missing);
// throws ERegistryException "Unable to open the <key> key" when the key
// cannot be opened.
void RegWriteString(RootKey root, const QString &key, const QString &name, const QString &text);

} // namespace zk
