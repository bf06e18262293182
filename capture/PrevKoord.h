#pragma once
// The loupe of the capture overlay: an enlarged view of the screen just
// above and left of the cursor, with the cursor's position and the size of
// the dragged area.
#include <QImage>
#include <QWidget>

class QLineEdit;
class QScrollArea;

namespace zk {

// The enlarged picture; black where the source lay off the screen.
class TLoupeImage : public QWidget
{
    Q_OBJECT

public:
    explicit TLoupeImage(QWidget *parent = nullptr);
    void SetPicture(const QImage &picture);
    const QImage &Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

class TPrevKoordForm : public QWidget
{
    Q_OBJECT

public:
    explicit TPrevKoordForm(QWidget *owner = nullptr);
    ~TPrevKoordForm() override;

    TLoupeImage *LoupeImage = nullptr;
    QScrollArea *LoupeScrollBox = nullptr;
    QWidget *AlignPanel = nullptr;
    QLineEdit *XAlignEdit = nullptr;
    QLineEdit *YAlignEdit = nullptr;
    QLineEdit *WAlignEdit = nullptr;
    QLineEdit *HAlignEdit = nullptr;

    // Shows source (the square of the screen around the cursor) stretched over
    // the whole loupe, pixel for pixel enlarged.
    void ShowMagnified(const QImage &source);
    // "X = x", "Y = y", "W = w", "H = h".
    void SetValues(int x, int y, int w, int h);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace zk
