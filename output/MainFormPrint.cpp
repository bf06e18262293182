// Printing the main window's picture on one page, and its preview.
#include "MainForm.h"

#include "CaptureControl.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "PrPrevForm.h"
#include "PrintQueue.h"
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
#include <QTemporaryDir>

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
    // Button and menu item follow one rule, "a printer exists", asked by
    // FindPrinters once the window shows (the printing system's plug-in and
    // its libraries are slow to load); both stay built here, so the
    // command switching never counts the button as missing.
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
    m_printerExists = ZKXPrint->PrinterExists();
    if (!*m_printerExists) {
        SetCommandEnabled(QStringLiteral("PrintToolButton"), false);
        SetCommandEnabled(QStringLiteral("PrintMenuItem"), false);
    }
    RequestIdle();
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
            // The printer object keeps the colour mode of the queue it was
            // made for (the system's default one); a raw default queue would
            // make every queue print grey.
            const QPrinterInfo queue = QPrinterInfo::printerInfo(name);
            ReportPrinter->setColorMode(queue.supportedColorModes().contains(QPrinter::Color) ? QPrinter::Color
                                                                                              : QPrinter::GrayScale);
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
    if (PrintToFileName.isEmpty() && ReportPrinter->outputFormat() == QPrinter::NativeFormat)
        return PrintToQueue();
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

bool TMainForm::PrintToQueue()
{
    // The page goes to the scheduler as a file of our own, so the job's
    // fate is known: a queue that refuses it says why.
    QTemporaryDir dir;
    if (!dir.isValid()) {
        printMessage(*this, "showmsg_print_failed", QStringLiteral("Der Drucker nimmt den Auftrag nicht an:"),
                     dir.errorString());
        return false;
    }
    const QString queue = ReportPrinter->printerName();
    const QString file = dir.filePath(QStringLiteral("page.pdf"));
    QPrinter page(QPrinter::HighResolution);
    page.setOutputFormat(QPrinter::PdfFormat);
    page.setOutputFileName(file);
    page.setPageLayout(ReportPrinter->pageLayout());
    page.setColorMode(ReportPrinter->colorMode());
    page.setDocName(ReportPrinter->docName());
    PrintReport->Prepare(page);
    if (PrPrevForm)
        PrPrevForm->PicRepPreviewProgressUpdate(0);
    QPainter painter;
    bool ok = painter.begin(&page);
    if (ok) {
        PrintReport->Paint(painter, page);
        ok = painter.end();
    }
    TPrintJobResult job;
    if (ok)
        job = SubmitPrintJob(queue, file, ReportPrinter->docName());
    else
        job.Error = queue;
    if (PrPrevForm)
        PrPrevForm->PicRepPreviewProgressUpdate(100);
    if (job.JobId == 0) {
        printMessage(*this, "showmsg_print_failed", QStringLiteral("Der Drucker nimmt den Auftrag nicht an:"),
                     job.Error);
        return false;
    }
    return true;
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
        // The preview shows and prints the picture it was opened for, also
        // when a capture replaced the window's picture meanwhile.
        PrPrevForm->OnPaint = [this](QPrinter *printer) {
            TPrintReport page = *PrintReport;
            page.PrintPicRepImage = PrPrevForm->Picture;
            QPainter p(printer);
            page.Paint(p, *printer);
        };
        PrPrevForm->OnPrint = [this] {
            FillPrintReport();
            PrintReport->PrintPicRepImage = PrPrevForm->Picture;
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
    PrPrevForm->Picture = PrintReport->PrintPicRepImage;
    PrPrevForm->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    if (FormLookHook)
        FormLookHook(PrPrevForm, Options.XPContrStyle);
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
