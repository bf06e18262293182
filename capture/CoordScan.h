#pragma once
// The typed-coordinates capture: the user enters X, Y, width and height and
// the rectangle is grabbed from the screen once the dialog is gone.
#include "BaseModal.h"

#include <QSize>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zk {

class TEditUpDown;
class TScanHost;

class TCoordScanBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    // screen: the size of the whole screen in device pixels; an invalid size
    // means the screen the X server reports.
    explicit TCoordScanBMForm(TScanHost *host, QWidget *opener = nullptr, const QSize &screen = {});
    ~TCoordScanBMForm() override;

    QGroupBox *ScCrdGroupBox = nullptr;
    QLabel *ScCrdXLabel = nullptr;
    QLabel *ScCrdYLabel = nullptr;
    QLabel *ScCrdWLabel = nullptr;
    QLabel *ScCrdHLabel = nullptr;
    QLabel *ScCrdOriginLabel = nullptr;
    QLineEdit *CoordXCoordEdit = nullptr;
    QLineEdit *CoordYCoordEdit = nullptr;
    QLineEdit *CoordWCoordEdit = nullptr;
    QLineEdit *CoordHCoordEdit = nullptr;
    TEditUpDown *XCoordUpDown = nullptr;
    TEditUpDown *YCoordUpDown = nullptr;
    TEditUpDown *WCoordUpDown = nullptr;
    TEditUpDown *HCoordUpDown = nullptr;
    QPushButton *ScCrdOkButton = nullptr;
    QPushButton *ScCrdCancButton = nullptr;

    bool FCancelled = false;

    void FormCreate();
    void ScCrdOkButtonClick();
    void ScCrdCancButtonClick();
    void FormCloseQuery(bool &canClose);
    void FormClose();

    QSize ScreenSize() const { return m_screen; }
    // The message key of the last refusal (empty when none).
    QString LastRefusal() const { return m_lastRefusal; }

    void reject() override;
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int value(const QLineEdit *edit) const;
    QString text(const QString &key, const QString &fallback) const;

    TScanHost *m_host;
    QSize m_screen;
    QString m_lastRefusal;
    bool m_closed = false;
};

} // namespace zk
