#pragma once
// The inverting frame of the window-information tool. Nothing is drawn into
// another program's window: the frame is four 3-pixel strips (or, filled,
// one window over the whole rectangle), each an override-redirect window
// that lets every click through and shows the inverted grab of what lay
// beneath it. Taking the windows away shows the screen as it was, with or
// without a compositor.
#include <QImage>
#include <QList>
#include <QRect>
#include <QWidget>

#include <memory>
#include <vector>

namespace zk {

// One piece of the frame: the screen area it covers and, kept, the pixels
// that lay there before it was shown.
class TFrameStrip : public QWidget
{
public:
    TFrameStrip(const QRect &area, QImage beneath);
    const QImage &Beneath() const { return m_beneath; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QImage m_beneath;
    QImage m_inverted;
};

class TWindowFrame
{
public:
    static constexpr int kWidth = 3;

    TWindowFrame();
    ~TWindowFrame();
    TWindowFrame(const TWindowFrame &) = delete;
    TWindowFrame &operator=(const TWindowFrame &) = delete;

    // The areas a frame around bounds covers on a screen of screenRect:
    // four strips inside the bounds, or the whole rectangle when filled;
    // cut to the screen, empty pieces left out.
    static QList<QRect> Pieces(const QRect &bounds, bool filled, const QRect &screenRect);

    // Frames bounds (removing the frame shown before); false when the
    // screen could not be read (nothing is shown then).
    bool Show(const QRect &bounds, bool filled);
    void Hide();
    bool Visible() const { return !m_strips.empty(); }
    QRect Bounds() const { return m_bounds; }
    // The X11 ids of the pieces shown.
    QList<std::uint32_t> WindowIds() const;

private:
    std::vector<std::unique_ptr<TFrameStrip>> m_strips;
    QRect m_bounds;
};

} // namespace zk
