#pragma once
// The start picture shown while the main window is being made.
#include "FileInfo.h"

#include <QWidget>

class QLabel;

namespace zk {

class TSplashForm : public QWidget
{
    Q_OBJECT

public:
    explicit TSplashForm(QWidget *parent = nullptr);
    ~TSplashForm() override;

    QLabel *SplashImage = nullptr;
    QLabel *CompVerLabel = nullptr;
    QLabel *RegLabel = nullptr;
    TFileInfo SplashFileInfo;

    // Our own picture: the program's name on a dark gradient.
    static QPixmap SplashPicture(const QSize &size);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void FormCreate();
};

} // namespace zk
