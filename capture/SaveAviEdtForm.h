#pragma once
// The small window of frame editing: writes the picture back as the frame
// chosen in the file list, returns to the recorder, or builds the AVI file.
// It is dragged by any point and snaps to the main window's edges.
#include <QPoint>
#include <QPointer>
#include <QWidget>

class QPushButton;

namespace zk {

class TMainForm;

class TSaveAviEdtForm : public QWidget
{
    Q_OBJECT

public:
    explicit TSaveAviEdtForm(TMainForm *main);

    QPushButton *SaveAviBmpButton = nullptr;
    QPushButton *RecorderButton = nullptr;
    QPushButton *CompAviEdtButton = nullptr;

    void SetLanguage(const QStringList &script, int languageIndex);
    void SaveAviBmpButtonClick();
    void RecorderButtonClick();
    void CompAviButtonClick();
    // The window's new top-left corner for a drag to pos, snapped.
    QPoint SnapToMainWindow(QPoint pos) const;

protected:
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QPointer<TMainForm> m_main;
    QPoint m_grip; // where the drag took the window, in its own coordinates
    bool m_dragging = false;
};

} // namespace zk
