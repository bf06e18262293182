#include "ViewRules.h"

#include "Bitmap.h"

#include <QPalette>

namespace zk {

QPoint CenteredOrigin(QSize client, QSize picture)
{
    // C++ division truncates toward zero, as the rule asks.
    return QPoint(client.width() / 2 - picture.width() / 2, client.height() / 2 - picture.height() / 2);
}

std::optional<QColor> BackColorOf(int index, const QPalette &palette)
{
    switch (index) {
    case 0: return palette.color(QPalette::Button);
    case 1: return QColor(128, 128, 128);
    case 2: return QColor(0, 0, 0);
    case 3: return QColor(255, 255, 255);
    case 4: return QColor(255, 255, 0);
    case 5: return palette.color(QPalette::ToolTipBase);
    case 6: return QColor(0, 0, 255);
    case 7: return QColor(0, 255, 255);
    case 8: return QColor(128, 128, 0);
    case 9: return QColor(0, 128, 0);
    case 10: return QColor(255, 0, 0);
    case 11: return QColor(128, 0, 0);
    default: return std::nullopt;
    }
}

void DrawCoordGrid(TBitmap &bitmap)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    auto canvas = bitmap.Canvas();
    canvas->setRenderHint(QPainter::Antialiasing, false);
    const QColor pen = QColor::fromRgb(kGridColor);
    // Filled one-pixel rectangles: exact pixels whatever the pen's rules.
    for (int x = 0; x < w; x += kGridSpacing)
        canvas->fillRect(QRect(x, 0, 1, h), pen);
    for (int y = 0; y < h; y += kGridSpacing)
        canvas->fillRect(QRect(0, y, w, 1), pen);
}

QPoint ArrowScrollStep(int virtualKey)
{
    switch (virtualKey) {
    case VK_LEFT: return {-1, 0};
    case VK_RIGHT: return {1, 0};
    case VK_UP: return {0, -1};
    case VK_DOWN: return {0, 1};
    default: return {};
    }
}

} // namespace zk
