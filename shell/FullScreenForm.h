#pragma once
// The full-screen view of the picture with its floating close button, and
// the inverted-screen window.
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAction;
class QMenu;
class QToolButton;

namespace zk {

class TImage;
class TPicture;
class TScrollBoxEx;
class TNotFSForm;

class TFullScreenForm : public QWidget
{
    Q_OBJECT
public:
    // closedByClick: a click on the picture ends the view and no close
    // button shows. transparent: the picture drawn as the main one.
    TFullScreenForm(const TPicture &picture, bool closedByClick, bool transparent);
    ~TFullScreenForm() override;

    TScrollBoxEx *ClientScrollBoxEx = nullptr;
    TImage *ScanImage = nullptr;
    QMenu *ViewPopupMenu = nullptr;
    QAction *FSCloseMenuItem = nullptr;
    QAction *FSBackColMenuItem = nullptr;
    QPointer<TNotFSForm> NotFSForm;

    Q_INVOKABLE void SetLanguage(const QStringList &Script, int LanguageIndex);
    void FSCloseMenuItemClick();
    void FSBackColMenuItemClick();
    // Centres the picture as the main window's centre mode does.
    void CenterPicture();

    // The colour dialog; tests answer it. Unset: QColorDialog.
    std::function<QColor(const QColor &initial)> ChooseColor;
    // Runs once when the view has closed (tool bars back, reference cleared).
    std::function<void()> OnClosed;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void FreeNotFSForm();
    bool m_closedByClick;
    QStringList m_script;
    int m_language = 0;
    bool m_closedSent = false;
};

// The close button over the full-screen view: a small window at the
// screen's top right corner.
class TNotFSForm : public QWidget
{
    Q_OBJECT
public:
    explicit TNotFSForm(TFullScreenForm *fullScreen);
    QToolButton *CloseSpeedButton = nullptr;
    Q_INVOKABLE void SetLanguage(const QStringList &Script, int LanguageIndex);
    void CloseSpeedButtonClick();

protected:
    void showEvent(QShowEvent *e) override;

private:
    QPointer<TFullScreenForm> m_fullScreen;
};

// The screen shown inverted in a window over everything until the next
// click or key.
class TInvertScreenForm : public QWidget
{
    Q_OBJECT
public:
    // inverted: the desktop grab already inverted; area: where it lies.
    TInvertScreenForm(QImage inverted, const QRect &area);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    QImage m_image;
};

} // namespace zk
