#include "XPrint.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdlib>

namespace zk {

int UnitsPerInch(TScaling s)
{
    switch (s) {
    case pscMil: return 1000;
    case pscMetric10: return 254;
    case pscMetric100: return 2540;
    default: return 1;
    }
}

TExtents PrintExtents(int dpi, int unitsPerInch)
{
    TExtents e{(7200 / qMax(1, dpi)) * unitsPerInch, 7200};
    while (e.window > 32767) {
        e.window /= 2;
        e.viewport /= 2;
    }
    return e;
}

int UnitsToDots(int value, int dpi, int unitsPerInch)
{
    return unitsPerInch == 1 ? value : static_cast<int>(static_cast<long long>(value) * dpi / unitsPerInch);
}

int DotsToUnits(int dots, int dpi, int unitsPerInch)
{
    return unitsPerInch == 1 ? dots : static_cast<int>(static_cast<long long>(dots) * unitsPerInch / qMax(1, dpi));
}

TXPrint::TXPrint()
{
    m_printers = QPrinterInfo::availablePrinterNames();
    m_printerCount = m_printers.size();
    if (m_printerCount > 0) {
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            info = QPrinterInfo::printerInfo(m_printers.first());
        m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
}

TXPrint::~TXPrint()
{
    if (m_painter.isActive())
        m_painter.end();
}

void TXPrint::SetOutputFile(const QString &pdfFile)
{
    if (m_open)
        return;
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(pdfFile);
}

bool TXPrint::SetPrinterIndex(int index)
{
    if (m_open || index < 0 || index >= m_printers.size())
        return false;
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_printers[index]);
    if (info.isNull())
        return false;
    m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    return true;
}

QString TXPrint::PrinterName() const
{
    if (!m_printer)
        return {};
    if (m_printer->outputFormat() == QPrinter::PdfFormat)
        return m_printer->outputFileName();
    return m_printer->printerName();
}

void TXPrint::SetFont(const QFont &f)
{
    m_font = f;
    if (m_open)
        applyFontSize();
}

bool TXPrint::Aborted() const
{
    return m_printer && m_printer->printerState() == QPrinter::Aborted;
}

int TXPrint::Copies() const
{
    return m_printer ? m_printer->copyCount() : 1;
}

void TXPrint::SetCopies(int n)
{
    if (m_printer)
        m_printer->setCopyCount(qMax(1, n));
}

QString TXPrint::Title() const
{
    return m_printer ? m_printer->docName() : QString();
}

void TXPrint::SetTitle(const QString &t)
{
    if (m_printer)
        m_printer->setDocName(t);
}

TXPrinterOrientation TXPrint::Orientation() const
{
    if (!m_printer)
        return xpoPortrait;
    return m_printer->pageLayout().orientation() == QPageLayout::Landscape ? xpoLandscape : xpoPortrait;
}

void TXPrint::SetOrientation(TXPrinterOrientation o)
{
    if (m_printer && !m_open)
        m_printer->setPageOrientation(o == xpoLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TXPrint::SetScaling(TScaling s)
{
    if (m_open)
        return;
    // The margins keep their physical size: through dots into the new unit.
    const int l = UnitsToDots(MarginLeft, m_dpiX, m_upi), r = UnitsToDots(MarginRight, m_dpiX, m_upi);
    const int t = UnitsToDots(MarginTop, m_dpiY, m_upi), b = UnitsToDots(MarginBottom, m_dpiY, m_upi);
    m_scaling = s;
    m_upi = UnitsPerInch(s);
    MarginLeft = DotsToUnits(l, m_dpiX, m_upi);
    MarginRight = DotsToUnits(r, m_dpiX, m_upi);
    MarginTop = DotsToUnits(t, m_dpiY, m_upi);
    MarginBottom = DotsToUnits(b, m_dpiY, m_upi);
}

void TXPrint::SetFontSize(int size)
{
    m_fontSize = size;
    if (m_open)
        applyFontSize();
}

void TXPrint::applyFontSize()
{
    QFont f = m_font;
    const int size = std::abs(m_fontSize);
    if (size > 0) {
        if (m_scaling != pscDot && m_open) {
            // The world transform scales by dpi / units per inch: the point
            // size is given in those units, without integer truncation.
            f.setPointSizeF(static_cast<double>(size) * m_upi / m_dpiY);
        } else {
            f.setPointSize(size);
        }
    }
    m_painter.setFont(f);
}

bool TXPrint::BeginDoc()
{
    m_error.clear();
    if (!canPrint() || m_open) {
        if (!canPrint())
            m_error = QStringLiteral("no printer");
        return false;
    }
    if (m_painter.isActive())
        m_painter.end(); // the own canvas used for measuring
    m_dpiX = m_dpiY = m_printer->resolution();
    const QRect paper = m_printer->paperRect(QPrinter::DevicePixel).toRect();
    const QRect page = m_printer->pageRect(QPrinter::DevicePixel).toRect();
    m_physW = paper.width();
    m_physH = paper.height();
    m_offX = page.left() - paper.left();
    m_offY = page.top() - paper.top();
    if (!m_painter.begin(m_printer.get())) {
        m_error = PrinterName();
        return false;
    }
    m_open = true;
    m_savedFont = m_font;
    setupPage();
    applyFontSize();
    return true;
}

void TXPrint::setupPage()
{
    m_painter.resetTransform();
    if (m_scaling == pscDot) {
        m_printWidth = m_physW - MarginLeft - MarginRight - 1;
        m_printHeight = m_physH - MarginTop - MarginBottom - 1;
        return;
    }
    const double sx = static_cast<double>(m_dpiX) / m_upi, sy = static_cast<double>(m_dpiY) / m_upi;
    const int ld = UnitsToDots(MarginLeft, m_dpiX, m_upi), rd = UnitsToDots(MarginRight, m_dpiX, m_upi);
    const int td = UnitsToDots(MarginTop, m_dpiY, m_upi), bd = UnitsToDots(MarginBottom, m_dpiY, m_upi);
    m_printWidth = DotsToUnits(m_physW - ld - rd - 1, m_dpiX, m_upi);
    m_printHeight = DotsToUnits(m_physH - td - bd - 1, m_dpiY, m_upi);
    // Logical (0, 0) is the margin box's corner; the painter's own origin is
    // the printable area's corner, which lies at the physical offset.
    QTransform t;
    t.translate(MarginLeft * sx - m_offX, MarginTop * sy - m_offY);
    t.scale(sx, sy);
    m_painter.setWorldTransform(t);
}

void TXPrint::NewPage()
{
    if (!m_open || !canPrint())
        return;
    m_printer->newPage();
    setupPage();
    applyFontSize();
}

void TXPrint::EndDoc()
{
    if (!m_open)
        return;
    m_painter.end();
    m_font = m_savedFont;
    m_open = false;
}

QPainter &TXPrint::Canvas()
{
    if (!m_open && !m_painter.isActive()) {
        if (m_ownCanvas.isNull())
            m_ownCanvas = QImage(16, 16, QImage::Format_RGB32);
        m_painter.begin(&m_ownCanvas);
        m_painter.setFont(m_font);
    }
    return m_painter;
}

} // namespace zk
