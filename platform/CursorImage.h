#pragma once
// The mouse cursor as the X server shows it, whichever program set it: its
// picture with transparency, its hot spot and the pointer's position, read
// through the XFixes extension on a connection of our own. Used to stamp the
// cursor into a captured picture.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>

class QPainter;

namespace zk {

struct TCursorImage
{
    QImage image;     // ARGB32_Premultiplied
    QPoint hotSpot;   // within image
    QPoint position;  // screen position of the hot spot
    std::uint32_t serial = 0;

    bool IsNull() const { return image.isNull(); }
};

// The current cursor; nullopt (with the reason in *error) without an X
// server or without XFixes.
std::optional<TCursorImage> ReadCursorImage(QString *error = nullptr);

// Where the cursor's picture goes in a captured picture: the pointer's screen
// position made relative to the captured area's origin, moved back by the hot
// spot so the hot spot lands where the pointer was. Nothing when the pointer
// was not inside the captured area.
std::optional<QPoint> CursorStampOrigin(const QPoint &pointerOnScreen, const QPoint &hotSpot,
                                        const QRect &capturedArea);

// Draws the cursor for a picture of capturedArea (screen coordinates) with
// the pointer at pointerOnScreen. False when nothing was drawn.
bool StampCursor(QPainter &painter, const TCursorImage &cursor, const QPoint &pointerOnScreen,
                 const QRect &capturedArea);

} // namespace zk
