#pragma once
// A dialog that works on the window's picture (save as, the edit dialogs,
// the print preview) finishes with the picture it was opened for, even when
// a hot key puts a new capture into the window while it is open. The pin
// costs nothing until such a capture comes: only then is the old picture
// handed to it.
#include "Bitmap.h"

#include <memory>

namespace zk {

class TBitmap;
class TMainForm;

class TPicturePin
{
public:
    explicit TPicturePin(TMainForm &form);
    ~TPicturePin();
    TPicturePin(const TPicturePin &) = delete;
    TPicturePin &operator=(const TPicturePin &) = delete;

    // A capture replaced the window's picture since the pin was made.
    bool Replaced() const { return m_replaced; }
    // The picture the dialog was opened for: the kept one after a capture,
    // else the window's own (null when there is none).
    TGraphic *Opened() const;
    // As a bitmap (null when it is another class or there is none).
    TBitmap *OpenedBitmap() const;
    // After a capture the edited old picture waits behind undo, where the
    // capture left the old one; the capture stays in the window.
    void KeepBehindUndo();

    // Called by the form before a capture overwrites the picture.
    void TakeOver(const TPicture &picture);

private:
    TMainForm &m_form;
    std::unique_ptr<TBitmap> m_kept;
    bool m_replaced = false;
};

} // namespace zk
