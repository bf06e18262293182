// Printing to PDF beside plain Qt, taking turns in one run: the 1920x1080
// desktop capture laid out with header and footer against a QPdfWriter and
// QPainter drawing the same picture alone (goal 1.2x), the preview's first
// page against that same plain time (goal 2x), and the keyboard list of 300
// rows against plain drawText of the same rows (goal 1.5x).
#include "BenchKit.h"
#include "KeybHlpForm.h"
#include "PrPrevForm.h"
#include "PrintReport.h"
#include "XPrint.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QImage shot = zkbench::Desktop().ToImage().convertToFormat(QImage::Format_RGB32);

    zk::TPrintReport report;
    report.PrintPicRepImage = shot;
    report.PageHeaderBand = true;
    report.OptTxtRepLabel = QStringLiteral("Zelkora 5.0");
    report.PageFooterBand = true;
    report.DateRepLabel = QStringLiteral("07.12.2026");
    report.TimeRepLabel = QStringLiteral("12:00");
    report.UserNameRepLabel = QStringLiteral("Benutzer: bench");
    report.FrameWidth = 2;

    const QString ours = dir.filePath("ours.pdf"), plain = dir.filePath("plain.pdf");
    const auto printOurs = [&] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(ours);
        report.Prepare(printer);
        QPainter p(&printer);
        report.Paint(p, printer);
    };
    const auto printPlain = [&] {
        QPdfWriter writer(plain);
        writer.setResolution(1200);
        QPainter p(&writer);
        p.setRenderHint(QPainter::LosslessImageRendering);
        p.drawImage(QRectF(0, 0, shot.width() * 6.0, shot.height() * 6.0), shot);
    };
    zkbench::Print("picture page to PDF", zkbench::Turns(printOurs, printPlain, zkbench::Rounds(15)), 1.2);

    QPrinter previewPrinter(QPrinter::HighResolution);
    report.Prepare(previewPrinter);
    const auto preview = [&] {
        zk::TPrPrevForm form(&previewPrinter);
        form.OnPaint = [&](QPrinter *pr) {
            QPainter p(pr);
            report.Paint(p, *pr);
        };
        form.show();
        form.Refresh();
        QImage img(form.PicRepPreview->size(), QImage::Format_RGB32);
        form.PicRepPreview->render(&img);
    };
    zkbench::Print("preview first page", zkbench::Turns(preview, printPlain, zkbench::Rounds(15)), 2.0);

    QMenu menu;
    for (int i = 0; i < 300; ++i)
        menu.addAction(QStringLiteral("Befehl %1").arg(i));
    zk::TKeybHlpBMForm keys([&menu](const QString &) { return &menu; }, zk::TZelkoraOptions(), nullptr);
    keys.show();
    const QString list = dir.filePath("list.pdf"), listPlain = dir.filePath("listplain.pdf");
    const auto listOurs = [&] {
        keys.KeybHlpXPrint->SetOutputFile(list);
        keys.PrintList();
    };
    const auto listBare = [&] {
        QPdfWriter writer(listPlain);
        writer.setResolution(1200);
        QPainter p(&writer);
        int y = 500;
        for (const zk::TKeybRow &r : keys.Rows()) {
            if (y > writer.height() - 500) {
                writer.newPage();
                y = 500;
            }
            p.drawText(500, y, r.caption);
            p.drawText(3500, y, r.keys);
            p.drawText(5500, y, r.description);
            y += 220;
        }
    };
    zkbench::Print("keyboard list, 300 rows", zkbench::Turns(listOurs, listBare, zkbench::Rounds(15)), 1.5);
    return 0;
}
