#pragma once
// Drawing on the printer in physical units: a scaling (device dots, 1/1000
// inch, 0.1 mm, 0.01 mm), page margins in those units, and font sizes that
// keep their point size. Without any printer every printing call does
// nothing; callers ask PrinterExists() and report the missing printer.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <memory>

class QPrinter;

namespace zk {

enum TScaling { pscDot, pscMil, pscMetric10, pscMetric100 };
enum TXPrinterOrientation { xpoPortrait, xpoLandscape };

// Units per inch of a scaling (1 for device dots).
int UnitsPerInch(TScaling s);
// The window and viewport extents of the anisotropic mapping for one axis:
// (7200 div dpi) * units per inch against 7200, both halved until the window
// extent fits 16 bits. Kept for what the mapping is known by; the drawing
// itself uses the exact ratio of dpi to units per inch.
struct TExtents {
    int window;
    int viewport;
};
TExtents PrintExtents(int dpi, int unitsPerInch);
// Converts a margin between device dots and scaling units.
int UnitsToDots(int value, int dpi, int unitsPerInch);
int DotsToUnits(int dots, int dpi, int unitsPerInch);
// Angle in tenths of a degree, kept modulo 3600 with the value's sign.
inline int NormalizeAngle10(int a) { return a % 3600; }

class TXPrint {
public:
    // Counts the installed printers and takes the default one.
    TXPrint();
    ~TXPrint();
    TXPrint(const TXPrint &) = delete;
    TXPrint &operator=(const TXPrint &) = delete;

    // Sends what is printed to a PDF file instead of a printer queue (also
    // without any printer installed).
    void SetOutputFile(const QString &pdfFile);
    // Chooses a printer by its index in Printers(); false when out of range.
    bool SetPrinterIndex(int index);
    QString PrinterName() const;

    bool PrinterExists() const { return m_printerCount > 0; }
    int PrinterCount() const { return m_printerCount; }
    const QStringList &Printers() const { return m_printers; }

    TScaling Scaling() const { return m_scaling; }
    void SetScaling(TScaling s); // ignored while a document is open
    int MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0;
    QFont Font() const { return m_font; }
    void SetFont(const QFont &f);
    bool Aborted() const;
    int Copies() const;
    void SetCopies(int n);
    QString Title() const;
    void SetTitle(const QString &t);
    TXPrinterOrientation Orientation() const;
    void SetOrientation(TXPrinterOrientation o);
    int Angle10() const { return m_angle10; }
    void SetAngle10(int a) { m_angle10 = NormalizeAngle10(a); }

    // Printable size of the page in scaling units (valid while a document is open).
    int PrintWidth() const { return m_printWidth; }
    int PrintHeight() const { return m_printHeight; }
    int FontSize() const { return m_fontSize; }
    void SetFontSize(int size);
    // Resolutions in use (300 until the first document).
    int LogPixelsX() const { return m_dpiX; }
    int LogPixelsY() const { return m_dpiY; }

    // False (nothing printed) without a printer or when the printer refuses
    // to start; Error() then says why.
    bool BeginDoc();
    void NewPage();
    void EndDoc();
    bool DocOpen() const { return m_open; }
    QString Error() const { return m_error; }

    // Where to draw: the printer while a document is open, else a painter
    // on a small picture of our own (so callers can measure text).
    QPainter &Canvas();

private:
    bool canPrint() const { return m_printer != nullptr; }
    void setupPage();
    void applyFontSize();

    std::unique_ptr<QPrinter> m_printer;
    QStringList m_printers;
    int m_printerCount = 0;
    TScaling m_scaling = pscDot;
    int m_upi = 1;
    int m_angle10 = 0;
    int m_dpiX = 300, m_dpiY = 300;
    int m_physW = 0, m_physH = 0, m_offX = 0, m_offY = 0;
    int m_printWidth = 0, m_printHeight = 0;
    int m_fontSize = 0;
    QFont m_font;
    QFont m_savedFont;
    bool m_open = false;
    QString m_error;
    QPainter m_painter;
    QImage m_ownCanvas;
};

} // namespace zk
