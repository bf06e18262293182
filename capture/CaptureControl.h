#pragma once
// The rules of the capture controller that need no window: which command a
// capture mode runs, which hot key plays which role, how timed capture
// counts, which tray icon shows, and what the save-format panel says.
#include "Options.h"

#include <QString>

#include <array>
#include <cstdint>

namespace zk {

enum class TScanCommand {
    OverlayRectangle,
    OverlayTriangle,
    OverlayRoundRect,
    OverlayEllipse,
    OverlayWindow,  // the window under the cursor, picked in the overlay
    Desktop,        // DeskMenuItemClick as from DeskMenuItem
    Coordinates,    // CoordMenuItemClick
    AviRecorder,    // AviVdoMenuItemClick
    WindowInfo,     // WEMenuItemClick
    Twain,          // ScanTwainMenuItemClick
    FileCompare,    // ScanFileMenuItemClick
    TextSearch,     // ScanTxtMenuItemClick
    Companion,      // QuorvMenuItemClick
};

struct TScanMode
{
    int tool;               // the option ScanTool and the item's Tag
    const char *itemName;   // the item of the capture-mode popup menu
    const char *caption;    // its German caption
    TScanCommand command;
};

constexpr int kScanModeCount = 13;
const std::array<TScanMode, kScanModeCount> &ScanModes();

// The mode of a ScanTool value; a value outside 0..12 (a damaged store)
// counts as the rectangle.
const TScanMode &ScanModeOf(int scanTool);

// Modes 0..4 capture through the overlay: only they take the undo snapshot,
// hide the program and wait before grabbing. The others run a command of
// their own that does what it needs.
bool UsesOverlay(int scanTool);

// The six roles of the global hot keys, by slot.
enum class THotKeyRole {
    None = 0,
    ForegroundWindow = 1,
    Desktop = 2,
    Interactive = 3,
    ShowHide = 4,
    TimedToggle = 5,
    CursorStamp = 6,
};
// The role of a hot-key identifier given the six registered identifiers.
THotKeyRole HotKeyRole(std::int32_t id, const std::array<std::int32_t, 6> &ids);

// Timed capture. Both numbers are at least 1: a zero interval would fire
// without pause and a zero count would never end the series.
int TimedIntervalMs(const TZelkoraOptions &options);
int TimedSeriesCount(const TZelkoraOptions &options);
// Whether a timer tick takes another picture.
bool TimedTickCaptures(bool running, int done, int count);

// The tray icon while capturing.
enum class TTrayIconSet { Static, Print, Time, PrintTime };
struct TTrayIconChoice
{
    TTrayIconSet set = TTrayIconSet::Static;
    bool cycling = false;
    bool operator==(const TTrayIconChoice &) const = default;
};
TTrayIconChoice ChooseTrayIcon(bool timeScanRunning, bool printScan, bool persSave);

// Status panel 6: "- - -" without a picture, "|bmp| - jpg" while automatic
// saving is on (the extension of fileTyp), else "|bmp|".
QString SaveFormatText(bool hasPicture, bool persSave, int fileTyp);
// "|bmp| - " + the extension of fileName without its dot.
QString SavedFileText(const QString &fileName);

// The title of the modal dialog open at the moment (its caption, or its class
// name when that begins with "T"), empty while none is open. The commands
// that open a dialog set and clear it; the tray icon brings that dialog to
// the front and the status bar shows it.
extern QString OpenDialogName;

// Sets OpenDialogName for its lifetime and clears it afterwards, also when
// the dialog's code throws.
class TOpenDialogScope
{
public:
    explicit TOpenDialogScope(const QString &title) { OpenDialogName = title; }
    ~TOpenDialogScope() { OpenDialogName.clear(); }
    TOpenDialogScope(const TOpenDialogScope &) = delete;
    TOpenDialogScope &operator=(const TOpenDialogScope &) = delete;
};

// The fixed waits before a grab, in which hidden windows leave the screen.
inline constexpr int kDesktopCommandDelayMs = 100;
inline constexpr int kHotKeyDelayMs = 500;

} // namespace zk
