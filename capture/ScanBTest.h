#pragma once
// The capture-settings test window of the settings dialog: inside its own
// client area it behaves like the capture overlay with the settings not yet
// saved (rubber shape, crosshair, coordinate hint, loupe, sound) and closes
// on release. Nothing is captured.
#include "BaseModal.h"
#include "ScanGeometry.h"

#include <QImage>
#include <QPointer>
#include <QRegion>

#include <array>
#include <functional>

class QLabel;
class QPainter;

namespace zk {

class TCoordHint;
class TPrevKoordForm;
struct TOptionSubDialogs;

struct TScanTestSettings
{
    bool solid = false;   // pen style: solid, else dotted (as SBorder)
    int strength = 0;     // 0, 1, 2: 1, 2, 3 pixels (as SBForce)
    bool sound = false;
    int loupeFactor = 1;  // as LFaktor
    bool loupe = false;
    bool cross = false;
    int shape = 0;        // 0..4 as ScanTool
};

// What a move must repaint: the old and the new outline and crosshair, as
// thin strips along them rather than their whole bounds.
QRegion OutlineDirtyRegion(TScanShape shape, const QPoint &press, const QPoint &end, int penWidth);
// The test window's hint sits 7 pixels right of and 22 above its anchor.
QRect TestHintRect(const QPoint &anchor, const QSize &textSize);

class TScanBTestBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    // owner: the settings dialog, whose hint box and sound list are read.
    explicit TScanBTestBMForm(QWidget *owner = nullptr);
    ~TScanBTestBMForm() override;

    QLabel *HintLabel = nullptr;
    QLabel *KeybHintLabel = nullptr;
    QLabel *KeybLabel1 = nullptr, *KeybLabel2 = nullptr, *KeybLabel3 = nullptr;
    QPointer<TPrevKoordForm> PrevKoordForm;
    QPointer<TCoordHint> FCoordHint;

    // ---- state (client coordinates)
    int FScreenWidth = 0;
    int FScreenHeight = 0;
    int FX1 = 0, FY1 = 0, FX2 = 0, FY2 = 0;
    int FApexX = 0;
    std::array<QPoint, 3> FTriangle{};
    int FCrossX = -2, FCrossY = -2;
    bool FKeyDrag = false;
    TCoordHintTracker FLastHint;

    void SetTestSettings(const TScanTestSettings &settings);
    const TScanTestSettings &Settings() const { return m_settings; }

    void FormCreate();
    void FormShow();
    void FormMouseDown(Qt::MouseButton button, const QPoint &pos);
    void FormMouseMove(const QPoint &pos, bool leftHeld);
    void FormMouseUp(Qt::MouseButton button, const QPoint &pos);
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void FormKeyUp(int key);
    void FormClose() {}

    bool Dragging() const { return m_dragging; }
    // Paints the window's own picture (background, crosshair, shape) within
    // area; the labels are child windows on top.
    void PaintClient(QPainter &p, const QRegion &area) const;
    // What the last move marked for repainting.
    QRegion LastDirty() const { return m_lastDirty; }
    // Whether the settings dialog's hint box asks for the hint now.
    bool HintWanted() const;

    // Plays a sound file; tests watch it.
    static std::function<void(const QString &)> &PlaySound();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    TScanShape shape() const { return ScanShapeOf(m_settings.shape); }
    int penWidth() const { return RubberPenWidth(m_settings.strength); }
    QRegion shapeRegion() const;
    QRegion crossRegion() const;
    // The crosshair lines as drawn on a transparent strip, made again when the
    // window's size, the pen or the background changes.
    void prepareCross(const QColor &background) const;
    void updateLoupe(const QPoint &cursor);
    void placeMagnifier(const QPoint &cursor);
    void freeLoupe();
    QPoint cursorPosition() const;
    QString text(const char *key, const QString &fallback) const;

    TScanTestSettings m_settings;
    bool m_dragging = false;
    bool m_pressed = false;
    bool m_shown = false;
    QRegion m_lastDirty;
    QRegion m_shapeRegion; // what the shape drawn now covers
    mutable QImage m_crossV, m_crossH;
    mutable QColor m_crossBackground;
    mutable int m_crossPen = 0;
    mutable bool m_crossSolid = false;
};

// Fills the settings dialog's opener of the test window.
void InstallScanTestDialog(TOptionSubDialogs &hooks);

} // namespace zk
