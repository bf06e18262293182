#pragma once
// Small routines the whole program shares: files in the program directory,
// screen grabs, the log settings of the conversion jobs, the capture sound,
// wallpaper, file compare and copy, folder choice, numbers-only edits, the
// dialog drop shadow and a few text helpers. None of them keeps state.
#include "Bitmap.h"
#include "Colors.h"

#include <QRect>
#include <QString>

#include <cstdint>
#include <stdexcept>

class QAbstractButton;
class QLineEdit;
class QPainter;
class QWidget;

namespace zk {

// The log setting of one kind of conversion job, stored under
// HKCU\Software\Tarvendo\Zelkora\5.0\Log.
struct TLogFile
{
    bool LogFile = false;
    QString LogFilePath;
};

// Raised when a file to be read cannot be opened.
class EFOpenError : public std::runtime_error
{
public:
    explicit EFOpenError(const QString &message);
    QString message() const;
};

inline constexpr const char *LogKeyPath = "\\Software\\Tarvendo\\Zelkora\\5.0\\Log";
inline constexpr const char *DesktopKeyPath = "\\Control Panel\\Desktop";

// The program directory followed by name.
QString AppFilePath(const QString &name);

// Environment variables expanded (%NAME%, $NAME and ${NAME}; unknown names
// stay as written), then trimmed.
QString ExpandEnvVars(const QString &text);

// The folder dialog. Folder is cleared first and gets the chosen folder only
// when the user confirms.
void SelectFolder(const QString &caption, QString &folder, QWidget *parent = nullptr);

// The shadow of a control: its bounds moved right and down by offset, with
// the top edge offset + 3 below the control's top.
QRect ShadowRect(const QRect &controlBounds, int offset);
// Fills that rectangle (control geometry in its parent's coordinates, the
// painter on the parent) in color; the painter's brush is left as it was.
void PaintShadow(QPainter &canvas, const QWidget *control, int offset, TColor color);
void PaintShadow(QPainter &canvas, const QRect &controlBounds, int offset, TColor color);

// Records the picture under "Control Panel\Desktop" ("Wallpaper",
// "TileWallpaper" "1"/"0") and shows it as the desktop background. False with
// a message in *error when the desktop could not be changed.
bool SetWallpaper(const QString &fileName, bool tile, QString *error = nullptr);

// Screen grabs. The bitmap keeps its pixel format (24 and 32 bits are filled
// directly, other depths converted afterwards). False when no X server can be
// reached; the bitmap is then black (GrabScreenRect) or empty.
// GrabDesktop: the whole root window, all monitors.
bool GrabDesktop(TBitmap &bitmap);
// A w x h rectangle from (x, y); the part outside the screen is black.
// Nothing when bitmap is null.
bool GrabScreenRect(int x, int y, int w, TBitmap *bitmap, int h);
// The active window with its window-manager frame; the desktop when no window
// is active.
bool GrabForegroundWindow(TBitmap &bitmap);

// The last eight decimal digits of n, zero-padded.
QString IntToStr8(std::uint32_t n);

// Lets the edit accept digits only.
void MakeEditNumeric(QLineEdit *edit);

QString GetLoginUserName();

// Always true: callers keep their branch for the modern system family.
bool IsWinNT();

// Writes "<FlagName>" (DWORD 0/1) and "<PathName>" under "Log", creating the
// key; nothing when it cannot be opened.
void WriteLogSettings(const QString &flagName, const QString &pathName, const TLogFile &log);
// Reads them back (the key is not created): without the key, or with an empty
// path, the path is the program directory and the flag false when missing. A
// true flag ticks logCheck (the job frame's log check box) when given.
void ReadLogSettings(const QString &flagName, const QString &pathName, TLogFile &log,
                     QAbstractButton *logCheck = nullptr);

// Same size and same bytes, compared block by block.
bool FilesEqual(const QString &a, const QString &b);

// Copies source to dest through a temporary file renamed into place, so a
// failed copy leaves an existing dest as it was. Raises EFOpenError when the
// source cannot be opened; false when dest is the source itself, cannot be
// written, or the copy fails.
bool CopyFileByStream(const QString &source, const QString &dest);

// "#RRGGBB" in upper case; system colours by their current RGB value.
QString ColorToHtml(TColor color);

// Sets Enabled of every direct child widget of parent.
void EnableChildControls(QWidget *parent, bool enabled);

// Plays a WAV file (relative names from the program directory) without
// waiting; silent without an audio device, while another sound plays, or on
// any error.
void PlaySoundFile(const QString &name);

// True when path lies on an optical disc (ISO 9660 / UDF file system or a
// CD/DVD device).
bool IsCdRomDrive(const QString &path);
// The rule itself, for a mounted file system's type and device.
bool IsCdRomFileSystem(const QString &fileSystemType, const QString &device);

} // namespace zk
