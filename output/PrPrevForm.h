#pragma once
// The print preview window: the page as it will print, zoom buttons, a
// clock, the page count and the progress of a print.
#include "BaseModal.h"

#include <QImage>
#include <QPointer>
#include <functional>

class QPrintPreviewWidget;
class QPrinter;
class QPushButton;
class QTimer;

namespace zk {

class TBarPopupMenu;
class TContrStatusBar;
class TMultiLanguage;

class TPrPrevForm : public TBaseModalForm
{
    Q_OBJECT

public:
    // printer: the report's printer, painted by paint on every refresh.
    TPrPrevForm(QPrinter *printer, QWidget *opener = nullptr);
    ~TPrPrevForm() override;

    QPushButton *PPSDimButton = nullptr;
    QPushButton *PPWholeSiteButton = nullptr;
    QPushButton *PPOrigDimButton = nullptr;
    QPushButton *PPMinButton = nullptr;
    QPushButton *PPPlusButton = nullptr;
    QPushButton *PrintDocBitBtn = nullptr;
    QPushButton *PPCloseBitBtn = nullptr;
    QPrintPreviewWidget *PicRepPreview = nullptr;
    TContrStatusBar *PrPrevStatusBar = nullptr;
    QTimer *DateTimeTimer = nullptr;
    TBarPopupMenu *PrPrevBarPopupMenu = nullptr;

    // Paints the report on the preview's printer.
    // The picture the preview was opened for.
    QImage Picture;
    std::function<void(QPrinter *)> OnPaint;
    // Prints the report (PrintDocBitBtn): fills it again and prints it.
    std::function<void()> OnPrint;
    // Called when the window opens and closes (hiding and showing the main window).
    std::function<void()> OnActivate;
    std::function<void()> OnClosed;

    void PPSDimButtonClick();
    void PPWholeSiteButtonClick();
    void PPOrigDimButtonClick();
    void PPMinButtonClick();
    void PPPlusButtonClick();
    void PrintDocBitBtnClick();
    void DateTimeTimerTimer();
    void PicRepPreviewPageAvailable(int pageNum);
    void PicRepPreviewProgressUpdate(int progress);
    void Refresh();
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
    // Zoom in percent (100 = the page at its size on this screen).
    int Zoom() const;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void setZoom(int percent);
    void showPageCount();
    int m_pages = 0;
};

} // namespace zk
