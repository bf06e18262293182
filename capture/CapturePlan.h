#pragma once
// What happens after a picture has been captured, worked out as a list of
// steps before anything is done. The list depends only on the way the
// capture came (overlay, typed coordinates, desktop command, hot key, timer)
// and on the options, so it can be checked without a display; the main
// window then runs it through one executor.
#include "Options.h"

#include <QString>

#include <vector>

namespace zk {

enum class TCapturePath {
    Overlay,     // a drawn region or a window picked in the overlay
    Coordinates, // typed coordinates
    Desktop,     // the desktop command of a menu
    HotKey,      // one of the six global hot keys
    Timed,       // one tick of timed capture
};

enum class TCaptureStep {
    FreeLoupe,           // close the overlay's loupe window
    FitMainWindow,       // the window takes the picture's size
    CenterMainWindow,    // the window goes to the middle of the screen
    ArmFocusFrame,       // focus mode on and its frame armed at the picture's size
    CreateFocusResizer,  // the focus frame around the picture
    DrawCursor,          // the cursor remembered at the start goes into the picture now
    StampCursorOnShow,   // ... or when the main window is shown next
    CopyToClipboard,
    ShowApplication,     // show the program (flag: and bring it to the front)
    HideApplication,
    SetMainVisible,      // main window visibility := flag, nothing else
    StayHidden,          // minimised into the tray after the capture
    PlaySound,           // the capture sound
    MessageBeep,
    ShowSaveFormat,
    StartExtEditor,      // hand the picture to the external editor
    PrepareFileName,     // FHasFileName := true, FFileName := next automatic name
    ClearFileName,       // FHasFileName := false
    AutoSave,            // write the picture under its automatic name
    SaveAs,              // ask for a name and write
    AddHistory,          // the name just written goes into the recent files
    Print,
    StatusReady,         // status panel 0 := "Bereit"
    ShowToolBars,        // floating tool bars and tool windows := flag
    ClearHotKeyCapture,
    ReportMissingFolder, // "showmsg_autofilecreate_mistake"
    StopTimedCapture,    // timer off, tray icon back to normal
    ShowExplorers,
    ShowSeriesName,      // the picture is named after the last file of the series
    ProcessEvents,
};

// What a failing step means for the rest of the plan.
enum class TOnFailure {
    Continue,  // nothing
    SkipGroup, // the other steps of its group are left out
    Abort,     // the plan stops and its recovery steps run
};

struct TPlanStep
{
    TCaptureStep kind;
    bool flag = false;
    int group = 0; // 0: no group
    TOnFailure onFailure = TOnFailure::Continue;

    bool operator==(const TPlanStep &) const = default;
};

struct TAfterCapturePlan
{
    std::vector<TPlanStep> steps;
    std::vector<TPlanStep> recovery; // run when a step aborts the plan

    // Just the kinds, in order (for reading and for tests).
    std::vector<TCaptureStep> Kinds() const;
    bool Has(TCaptureStep kind) const;
    // Position of the first step of that kind, -1 when absent.
    int IndexOf(TCaptureStep kind) const;
};

// The circumstances of one capture besides the options.
struct TCaptureContext
{
    TCapturePath path = TCapturePath::Overlay;
    bool outDirExists = false;   // the folder OutDir exists
    int scanTool = 0;            // Overlay: the capture mode (4: window under the cursor)
    bool hotKeyCapture = false;  // Overlay: FHotKeyCapture
    int hotKeyRole = 0;          // HotKey: 1..6, 0 for an identifier that is none of them
    bool grabbed = false;        // HotKey: a picture was taken
    bool wasVisible = true;      // HotKey: the main window was visible when the key came
    bool fromTrayMenu = false;   // Desktop: the tray menu's item was the sender
    int seriesDone = 0;          // Timed: captures made, this one included
    int seriesCount = 1;         // Timed: captures wanted
};

TAfterCapturePlan PlanAfterCapture(const TCaptureContext &context, const TZelkoraOptions &options);

// How a step went.
enum class TStepResult {
    Done,
    Failed,    // the executor has told the user already
    Cancelled, // the user declined (a save dialog closed without a name)
};

class TCaptureExecutor
{
public:
    virtual ~TCaptureExecutor() = default;
    virtual TStepResult Run(const TPlanStep &step) = 0;
};

// Runs the steps in order. A cancelled step leaves out the rest of its group
// and nothing else. Returns false when a step aborted the plan (its recovery
// has run then).
bool RunPlan(const TAfterCapturePlan &plan, TCaptureExecutor &executor);

// A step's name for logs and test messages.
QString StepName(TCaptureStep kind);

} // namespace zk
