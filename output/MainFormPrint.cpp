// Printing the main window's picture on one page, and its preview.
#include "MainForm.h"

#include "CaptureControl.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "PrPrevForm.h"
#include "PrintReport.h"
#include "XPrint.h"

#include <QAction>
#include <QDateTime>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QScreen>

namespace zk {

namespace {

void printMessage(TMainForm &form, const char *key, const QString &fallback, const QString &detail = {})
{
    QString text = form.Text(QString::fromLatin1(key), fallback);
    if (!detail.isEmpty())
        text += QLatin1Char(' ') + detail;
    QMessageBox box(QMessageBox::Warning, form.windowTitle(), text, QMessageBox::Ok, &form);
    box.setObjectName(QString::fromLatin1(key));
    TOpenDialogScope scope(box.windowTitle());
    box.exec();
}

QImage pictureImage(const TMainForm &form)
{
    const TPicture &pic = form.ScanImage->Picture();
    return pic.Graphic() && !pic.Empty() ? pic.Graphic()->ToImage() : QImage();
}

} // namespace

void TMainForm::SetupPrinting()
{

    const auto wire = [this](const char *name, auto handler) {
        if (QAction *a = Item(QString::fromLatin1(name))) {
            connect(a, &QAction::triggered, this, handler);
            a->setEnabled(true);
        }
    };
    wire("PrintMenuItem", [this] { PrintClick(Item("PrintMenuItem")); });
    wire("PrintPrevMenuItem", [this] { PrintPrevMenuItemClick(Item("PrintPrevMenuItem")); });
    wire("PrPrevToolButton", [this] { PrintPrevMenuItemClick(Item("PrPrevToolButton")); });
    wire("PrintToolButton", [this] { PrintClick(Item("PrintToolButton")); });
    // The print button needs a printer; it stays off until FindPrinters has
    // asked, which waits for the window to show (the printing system's
    // plug-in and its libraries are slow to load). The menu item says when
    // there is none.
    if (QAction *button = Item("PrintToolButton"))
        button->setEnabled(false);
    CaptureHooks.PrintClick = [this] { PrintClick(nullptr); };
}

void TMainForm::FindPrinters()
{
    if (ZKXPrint)
        return;
    ZKXPrint = std::make_unique<TXPrint>();
    ZKXPrint->SetScaling(pscMetric10);
    ZKXPrint->MarginLeft = 150;
    ZKXPrint->MarginTop = 170;
    ZKXPrint->MarginRight = 150;
    ZKXPrint->MarginBottom = 180;
    if (QAction *button = Item("PrintToolButton"))
        button->setEnabled(ZKXPrint->PrinterExists());
}

void TMainForm::FillPrintReport()
{
    if (!PrintReport)
        PrintReport = std::make_unique<TPrintReport>();
    TPrintReport &r = *PrintReport;
    r.PrintPicRepImage = pictureImage(*this);
    const QDateTime now = QDateTime::currentDateTime();
    // Any of the three switches the footer on; it is never switched off here.
    if (Options.PrintDate || Options.PrintTime || Options.PrintUser)
        r.PageFooterBand = true;
    r.DateRepLabel = Options.PrintDate ? QLocale().toString(now.date(), QLocale::ShortFormat) : QString();
    r.TimeRepLabel = Options.PrintTime ? QLocale().toString(now.time(), QLocale::ShortFormat) : QString();
    r.UserNameRepLabel = Options.PrintUser ? Text("rep_name", QStringLiteral("Benutzer: ")) + GetLoginUserName()
                                           : QString();
    r.PageHeaderBand = !Options.PrintText.isEmpty();
    r.OptTxtRepLabel = Options.PrintText;
    r.MarginTop = 20.0;
    r.MarginBottom = 20.0;
    r.MarginLeft = 15.0;
    r.MarginRight = 15.0;
    r.PrinterIndex = Options.PrPrinterIndex;
    r.CenterImage = Options.PrGraphicAlign == 1;
    r.FrameWidth = Options.PrGrBorderWidth;
    r.Landscape = Options.PrPrintDocAlign == 1;

    // The printer the report goes to: the chosen queue, the default one when
    // the stored index no longer names a printer, or the PDF file.
    // One printer object for the life of the window: the preview holds it.
    if (!ReportPrinter)
        ReportPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!PrintToFileName.isEmpty()) {
        ReportPrinter->setOutputFormat(QPrinter::PdfFormat);
        ReportPrinter->setOutputFileName(PrintToFileName);
    } else {
        const QStringList names = QPrinterInfo::availablePrinterNames();
        QString name;
        if (r.PrinterIndex >= 0 && r.PrinterIndex < names.size())
            name = names[r.PrinterIndex];
        if (name.isEmpty())
            name = QPrinterInfo::defaultPrinterName();
        if (name.isEmpty() && !names.isEmpty())
            name = names.first();
        ReportPrinter->setOutputFileName(QString());
        if (name.isEmpty()) {
            // Only the preview can use a printer that is not there.
            ReportPrinter->setOutputFormat(QPrinter::PdfFormat);
        } else {
            ReportPrinter->setOutputFormat(QPrinter::NativeFormat);
            ReportPrinter->setPrinterName(name);
        }
    }
    ReportPrinter->setDocName(QStringLiteral("Zelkora 5.0"));
    r.Prepare(*ReportPrinter);
}

bool TMainForm::PrintReportNow()
{
    if (PrintToFileName.isEmpty() && QPrinterInfo::availablePrinterNames().isEmpty()) {
        printMessage(*this, "showmsg_no_printer", QStringLiteral("Es ist kein Drucker installiert."));
        return false;
    }
    if (PrPrevForm)
        PrPrevForm->PicRepPreviewProgressUpdate(0);
    QPainter painter;
    if (!painter.begin(ReportPrinter.get())) {
        const QString name = PrintToFileName.isEmpty() ? ReportPrinter->printerName() : PrintToFileName;
        printMessage(*this, "showmsg_print_failed", QStringLiteral("Der Drucker nimmt den Auftrag nicht an:"),
                     name);
        return false;
    }
    PrintReport->Paint(painter, *ReportPrinter);
    const bool ok = painter.end();
    if (PrPrevForm)
        PrPrevForm->PicRepPreviewProgressUpdate(100);
    if (!ok) {
        printMessage(*this, "showmsg_print_failed", QStringLiteral("Der Drucker nimmt den Auftrag nicht an:"),
                     ReportPrinter->printerName());
    }
    return ok;
}

void TMainForm::PrintClick(QObject *)
{
    if (ScanImage->Picture().Empty())
        return;
    FillPrintReport();
    PrintReportNow();
}

void TMainForm::PrintPrevMenuItemClick(QObject *)
{
    if (ScanImage->Picture().Empty())
        return;
    TOpenDialogScope scope(QStringLiteral("TPrPrevForm"));
    FillPrintReport();
    if (!PrPrevForm) {
        PrPrevForm = new TPrPrevForm(ReportPrinter.get(), this);
        PrPrevForm->OnPaint = [this](QPrinter *printer) {
            QPainter p(printer);
            PrintReport->Paint(p, *printer);
        };
        PrPrevForm->OnPrint = [this] {
            FillPrintReport();
            PrintReportNow();
        };
        PrPrevForm->OnActivate = [this] {
            if (Options.PrPrevMaxStart)
                return;
            PrPrevForm->setGeometry(geometry());
            hide();
            for (QWidget *w : {DirBDForm.data(), NavBDForm.data()})
                if (w)
                    w->hide();
        };
        PrPrevForm->OnClosed = [this] { PrintPreviewClosed(); };
    }
    // The preview keeps its printer object: the report is laid out anew.
    if (ReportPrinter) {
        PrPrevForm->PicRepPreview->setOrientation(PrintReport->Landscape ? QPageLayout::Landscape
                                                                         : QPageLayout::Portrait);
    }
    PrPrevForm->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    for (const char *name : {"PrintPrevMenuItem", "PrPrevToolButton"})
        if (QAction *a = Item(QString::fromLatin1(name)))
            a->setEnabled(false);
    if (Options.PrPrevMaxStart) {
        PrPrevForm->showMaximized();
    } else {
        const QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->availableGeometry();
        PrPrevForm->resize(690, 535);
        PrPrevForm->move(screen.center() - QPoint(345, 267));
        PrPrevForm->show();
    }
    PrPrevForm->Refresh();
}

void TMainForm::PrintPreviewClosed()
{
    if (!Options.PrPrevMaxStart) {
        show();
        for (QWidget *w : {DirBDForm.data(), NavBDForm.data()})
            if (w)
                w->show();
    }
    for (const char *name : {"PrintPrevMenuItem", "PrPrevToolButton"})
        if (QAction *a = Item(QString::fromLatin1(name)))
            a->setEnabled(true);
    OpenDialogName.clear();
}

} // namespace zk
