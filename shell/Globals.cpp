#include "Globals.h"
#include "SafeFile.h"

#include "PixelRows.h"
#include "GraphicText.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "ScreenGrab.h"
#include "Sound.h"
#include "Wallpaper.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStorageInfo>
#include <QWidget>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zk {

EFOpenError::EFOpenError(const QString &message) : std::runtime_error(message.toStdString()) {}

QString EFOpenError::message() const
{
    return QString::fromStdString(what());
}

QString AppFilePath(const QString &name)
{
    return ProgramDir() + name;
}

QString ExpandEnvVars(const QString &text)
{
    // %NAME% as the stored settings of the Windows world write it, and the
    // shell's $NAME and ${NAME}.
    static const QRegularExpression re(QStringLiteral(R"(%([A-Za-z_][A-Za-z0-9_]*)%|\$\{([A-Za-z_][A-Za-z0-9_]*)\}|\$([A-Za-z_][A-Za-z0-9_]*))"));
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString name = m.captured(1);
        if (name.isEmpty())
            name = m.captured(2);
        if (name.isEmpty())
            name = m.captured(3);
        out += text.mid(last, m.capturedStart() - last);
        const QByteArray key = name.toLocal8Bit();
        if (qEnvironmentVariableIsSet(key.constData()))
            out += qEnvironmentVariable(key.constData());
        else
            out += m.captured(0);
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out.trimmed();
}

void SelectFolder(const QString &caption, QString &folder, QWidget *parent)
{
    const QString start = folder;
    folder.clear();
    QFileDialog dialog(parent, caption);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!start.isEmpty() && QFileInfo(start).isDir())
        dialog.setDirectory(start);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty())
        folder = chosen.first();
}

QRect ShadowRect(const QRect &controlBounds, int offset)
{
    return QRect(QPoint(controlBounds.left() + offset, controlBounds.top() + offset + 3),
                 QPoint(controlBounds.right() + offset, controlBounds.bottom() + offset));
}

void PaintShadow(QPainter &canvas, const QRect &controlBounds, int offset, TColor color)
{
    const QBrush saved = canvas.brush();
    canvas.fillRect(ShadowRect(controlBounds, offset), TColorToQColor(color));
    canvas.setBrush(saved);
}

void PaintShadow(QPainter &canvas, const QWidget *control, int offset, TColor color)
{
    if (control)
        PaintShadow(canvas, control->geometry(), offset, color);
}

bool SetWallpaper(const QString &fileName, bool tile, QString *error)
{
    // The record of the choice, where the rest of the program looks for it.
    try {
        TRegistry reg(RootKey::CurrentUser);
        if (reg.OpenKey(QString::fromLatin1(DesktopKeyPath), true)) {
            reg.WriteString(QStringLiteral("Wallpaper"), fileName);
            reg.WriteString(QStringLiteral("TileWallpaper"), tile ? QStringLiteral("1") : QStringLiteral("0"));
        }
    } catch (const ERegistryException &) {
        // The background itself matters more than the record of it.
    }
    return ApplyWallpaper(fileName, tile, error);
}

// ---------------------------------------------------------------------------
// Screen grabs

namespace {

void fillBlack(TBitmap &bitmap)
{
    const int h = bitmap.Height();
    const int w = bitmap.Width();
    for (int y = 0; y < h; ++y) {
        uchar *row = bitmap.ScanLine(y);
        if (bitmap.PixelFormat() == pf32bit) {
            auto *px = reinterpret_cast<std::uint32_t *>(row);
            std::fill(px, px + w, 0xFF000000u);
        } else {
            std::memset(row, 0, std::size_t(w) * 3);
        }
    }
}

// One row of server pixels (B, G, R, X) into our opaque 32-bit layout. This
// copy is what a desktop grab costs beyond the server's own work, and it is
// bound by memory bandwidth: streaming stores spare the reads of the
// destination lines that plain stores would cause.
void copyRow32(std::uint32_t *__restrict dst, const std::uint32_t *__restrict src, int n)
{
    int x = 0;
#ifdef __SSE2__
    while (x < n && (reinterpret_cast<std::uintptr_t>(dst + x) & 15)) {
        dst[x] = src[x] | 0xFF000000u;
        ++x;
    }
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (; x + 4 <= n; x += 4)
        _mm_stream_si128(reinterpret_cast<__m128i *>(dst + x),
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + x)), opaque));
#endif
    for (; x < n; ++x)
        dst[x] = src[x] | 0xFF000000u;
}

// Fills the 24- or 32-bit bitmap from the screen rectangle `area` (bitmap
// sized to it); what lies off the screen stays black.
bool grabInto(TBitmap &bitmap, const QRect &area)
{
    ScreenGrabber &grabber = ScreenGrabber::instance();
    const QRect visible = area & grabber.rootRect();
    if (visible != area)
        fillBlack(bitmap);
    if (!grabber.isAvailable())
        return false;
    if (visible.isEmpty())
        return true;
    const int dx = visible.x() - area.x();
    const int dy = visible.y() - area.y();
    const bool wide = bitmap.PixelFormat() == pf32bit;
    const bool ok = grabber.grab(visible, [&](const GrabbedPixels &strip, int top) {
        for (int y = 0; y < strip.height; ++y) {
            uchar *row = bitmap.ScanLine(dy + top + y);
            if (wide)
                copyRow32(reinterpret_cast<std::uint32_t *>(row) + dx,
                          reinterpret_cast<const std::uint32_t *>(strip.row(y)), strip.width);
            else
                Row32To24(row + std::ptrdiff_t(dx) * 3, strip.row(y), strip.width);
        }
    });
#ifdef __SSE2__
    _mm_sfence(); // the streaming stores are visible before anyone reads the bitmap
#endif
    if (!ok)
        fillBlack(bitmap);
    return ok;
}

// Sizes the bitmap to `area` and grabs it, keeping the bitmap's depth.
bool grabArea(TBitmap &bitmap, const QRect &area)
{
    const TPixelFormat pf = bitmap.PixelFormat();
    const bool direct = pf == pf24bit || pf == pf32bit;
    if (!direct) {
        bitmap.Clear();
        bitmap.SetPixelFormat(pf32bit);
    }
    bitmap.SetSize(std::max(0, area.width()), std::max(0, area.height()));
    bool ok = true;
    if (!bitmap.Empty())
        ok = grabInto(bitmap, area);
    if (!direct)
        bitmap.SetPixelFormat(pf);
    return ok;
}

} // namespace

bool GrabDesktop(TBitmap &bitmap)
{
    ScreenGrabber &grabber = ScreenGrabber::instance();
    if (!grabber.isAvailable()) {
        bitmap.SetSize(0, 0);
        return false;
    }
    return grabArea(bitmap, grabber.rootRect());
}

bool GrabScreenRect(int x, int y, int w, TBitmap *bitmap, int h)
{
    if (!bitmap)
        return false;
    return grabArea(*bitmap, QRect(x, y, w, h));
}

bool GrabForegroundWindow(TBitmap &bitmap)
{
    const std::optional<QRect> frame = ScreenGrabber::instance().activeWindowFrame();
    if (!frame || frame->isEmpty())
        return GrabDesktop(bitmap);
    return grabArea(bitmap, *frame);
}

// ---------------------------------------------------------------------------

QString IntToStr8(std::uint32_t n)
{
    QString s(8, QLatin1Char('0'));
    for (int i = 7; i >= 0; --i) {
        s[i] = QLatin1Char(char('0' + n % 10));
        n /= 10;
    }
    return s;
}

void MakeEditNumeric(QLineEdit *edit)
{
    if (!edit)
        return;
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    edit->setValidator(new QRegularExpressionValidator(digits, edit));
}

QString GetLoginUserName()
{
    std::vector<char> buf(16384);
    passwd pw{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return qEnvironmentVariable("USER");
}

bool IsWinNT()
{
    return true;
}

void WriteLogSettings(const QString &flagName, const QString &pathName, const TLogFile &log)
{
    try {
        TRegistry reg(RootKey::CurrentUser);
        if (!reg.OpenKey(QString::fromLatin1(LogKeyPath), true))
            return;
        reg.WriteBool(flagName, log.LogFile);
        reg.WriteString(pathName, log.LogFilePath);
    } catch (const ERegistryException &) {
        // The job runs on without its log setting remembered.
    }
}

void ReadLogSettings(const QString &flagName, const QString &pathName, TLogFile &log, QAbstractButton *logCheck)
{
    log.LogFile = false;
    log.LogFilePath.clear();
    try {
        TRegistry reg(RootKey::CurrentUser);
        if (reg.OpenKey(QString::fromLatin1(LogKeyPath), false)) {
            if (reg.GetDataType(flagName) == RegDataType::Integer)
                log.LogFile = reg.ReadBool(flagName);
            const RegDataType t = reg.GetDataType(pathName);
            if (t == RegDataType::String || t == RegDataType::ExpandString)
                log.LogFilePath = reg.ReadString(pathName);
        }
    } catch (const ERegistryException &) {
        log.LogFile = false;
        log.LogFilePath.clear();
    }
    if (log.LogFilePath.isEmpty())
        log.LogFilePath = ProgramDir();
    if (log.LogFile && logCheck)
        logCheck->setChecked(true);
}

bool FilesEqual(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    if (fa.size() != fb.size())
        return false;
    constexpr qint64 Block = 64 * 1024;
    std::vector<char> ba(Block), bb(Block);
    for (;;) {
        const qint64 na = fa.read(ba.data(), Block);
        const qint64 nb = fb.read(bb.data(), Block);
        if (na < 0 || nb < 0 || na != nb)
            return false;
        if (na == 0)
            return true;
        if (std::memcmp(ba.data(), bb.data(), std::size_t(na)) != 0)
            return false;
    }
}

namespace {

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa{}, sb{};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

bool CopyFileByStream(const QString &source, const QString &dest)
{
    QFile in;
    QString error;
    if (!OpenRegularFile(in, source, &error))
        throw EFOpenError(GraphicCannotOpen(source, error));
    // Writing onto the source would truncate it before a byte is read.
    if (sameFile(source, dest))
        return false;
    return CopyStreamSafely(in, dest, true, nullptr);
}

QString ColorToHtml(TColor color)
{
    int r, g, b;
    if (color < 0) {
        const QColor c = TColorToQColor(color);
        r = c.red();
        g = c.green();
        b = c.blue();
    } else {
        r = color & 0xFF;
        g = (color >> 8) & 0xFF;
        b = (color >> 16) & 0xFF;
    }
    return QStringLiteral("#%1%2%3")
        .arg(r, 2, 16, QLatin1Char('0'))
        .arg(g, 2, 16, QLatin1Char('0'))
        .arg(b, 2, 16, QLatin1Char('0'))
        .toUpper();
}

void EnableChildControls(QWidget *parent, bool enabled)
{
    if (!parent)
        return;
    const auto children = parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : children)
        w->setEnabled(enabled);
}

void PlaySoundFile(const QString &name)
{
    if (name.isEmpty())
        return;
    const QString path = QFileInfo(name).isRelative() ? AppFilePath(name) : name;
    PlayWaveFile(path);
}

bool IsCdRomFileSystem(const QString &fileSystemType, const QString &device)
{
    const QString type = fileSystemType.toLower();
    if (type == "iso9660" || type == "udf")
        return true;
    static const QRegularExpression optical(QStringLiteral("^/dev/(sr|scd|cdrom|dvd)[0-9]*$"));
    return optical.match(device).hasMatch();
}

bool IsCdRomDrive(const QString &path)
{
    const QStorageInfo info(path);
    if (!info.isValid())
        return false;
    return IsCdRomFileSystem(QString::fromLatin1(info.fileSystemType()), QString::fromLocal8Bit(info.device()));
}

} // namespace zk
