// The steps after a capture for each way a picture comes in and each option
// that changes them, the running of a plan when a save fails or is declined,
// and the controller's small rules: capture modes, hot-key roles, timed
// capture counting, the tray icon and the save-format panel.
#include "CaptureControl.h"
#include "CapturePlan.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace zk;

// Readable failure messages.
static void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// "Name" for each step; steps whose flag matters carry it: "ShowToolBars(1)".
QStringList render(const std::vector<TPlanStep> &steps)
{
    QStringList out;
    for (const TPlanStep &s : steps) {
        QString name = StepName(s.kind);
        if (s.kind == TCaptureStep::ShowToolBars || s.kind == TCaptureStep::SetMainVisible ||
            (s.kind == TCaptureStep::ShowApplication && s.flag))
            name += s.flag ? "(1)" : "(0)";
        out << name;
    }
    return out;
}

QStringList plan(const TCaptureContext &c, const TZelkoraOptions &o)
{
    return render(PlanAfterCapture(c, o).steps);
}

TCaptureContext on(TCapturePath path)
{
    TCaptureContext c;
    c.path = path;
    c.outDirExists = true;
    return c;
}

TCaptureContext hotKey(int role, bool grabbed, bool wasVisible)
{
    TCaptureContext c = on(TCapturePath::HotKey);
    c.hotKeyRole = role;
    c.grabbed = grabbed;
    c.wasVisible = wasVisible;
    return c;
}

TZelkoraOptions autoSaving()
{
    TZelkoraOptions o;
    o.PersSave = true;
    o.IsAutoincFileName = true;
    return o;
}

class Recorder : public TCaptureExecutor
{
public:
    QStringList ran;
    TCaptureStep failing = TCaptureStep::ProcessEvents;
    TStepResult failWith = TStepResult::Done;
    TStepResult Run(const TPlanStep &step) override
    {
        ran << StepName(step.kind);
        return step.kind == failing ? failWith : TStepResult::Done;
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Overlay

TEST(OverlayPlan, PlainCaptureShowsTheWindowAndItsToolBars)
{
    EXPECT_EQ(plan(on(TCapturePath::Overlay), {}),
              (QStringList{"ShowApplication", "ShowSaveFormat", "StatusReady", "ShowToolBars(1)", "ClearHotKeyCapture"}));
}

TEST(OverlayPlan, EveryStepInTheOrderOfTheTable)
{
    TZelkoraOptions o = autoSaving();
    o.AutoWinSize = o.AutoWinCenter = o.FocusMode = o.ScanToClipboard = o.ImgWithMouse = true;
    o.ScanSound = o.SaveHist = o.PrintScan = o.Loupe = true;
    EXPECT_EQ(plan(on(TCapturePath::Overlay), o),
              (QStringList{"FreeLoupe", "FitMainWindow", "CenterMainWindow", "ArmFocusFrame", "CopyToClipboard",
                           "StampCursorOnShow", "ShowApplication", "PlaySound", "ShowSaveFormat", "AutoSave",
                           "AddHistory", "Print", "StatusReady", "ShowToolBars(1)", "ClearHotKeyCapture"}));
}

TEST(OverlayPlan, LoupeClosesExceptAfterPickingAWindow)
{
    TZelkoraOptions o;
    o.Loupe = true;
    TCaptureContext c = on(TCapturePath::Overlay);
    for (int tool : {0, 1, 2, 3}) {
        c.scanTool = tool;
        EXPECT_TRUE(PlanAfterCapture(c, o).Has(TCaptureStep::FreeLoupe)) << tool;
    }
    c.scanTool = 4;
    EXPECT_FALSE(PlanAfterCapture(c, o).Has(TCaptureStep::FreeLoupe));
    o.Loupe = false;
    c.scanTool = 0;
    EXPECT_FALSE(PlanAfterCapture(c, o).Has(TCaptureStep::FreeLoupe));
}

TEST(OverlayPlan, StayingHiddenDrawsTheCursorAtOnceAndKeepsToolBarsHidden)
{
    TZelkoraOptions o = autoSaving();
    o.MinAScan = true;
    o.ImgWithMouse = true;
    const TAfterCapturePlan p = PlanAfterCapture(on(TCapturePath::Overlay), o);
    EXPECT_EQ(render(p.steps),
              (QStringList{"DrawCursor", "StayHidden", "ShowSaveFormat", "AutoSave", "StatusReady", "ShowToolBars(0)",
                           "ClearHotKeyCapture"}));
    // The picture has the cursor before it is written.
    EXPECT_LT(p.IndexOf(TCaptureStep::DrawCursor), p.IndexOf(TCaptureStep::AutoSave));
    EXPECT_FALSE(p.Has(TCaptureStep::StampCursorOnShow));
}

TEST(OverlayPlan, ManualNamingAsksForAName)
{
    TZelkoraOptions o;
    o.PersSave = true;
    o.IsManualInputFile = true;
    const TAfterCapturePlan p = PlanAfterCapture(on(TCapturePath::Overlay), o);
    EXPECT_TRUE(p.Has(TCaptureStep::SaveAs));
    EXPECT_FALSE(p.Has(TCaptureStep::AutoSave));
    o.IsManualInputFile = false;
    o.IsDateTimeToFile = true;
    EXPECT_TRUE(PlanAfterCapture(on(TCapturePath::Overlay), o).Has(TCaptureStep::AutoSave));
}

TEST(OverlayPlan, ExternalEditorAndHotKeyCaptureDecideTheToolBars)
{
    TZelkoraOptions o;
    o.ExtGrafikEditor = true;
    o.ZKVisAScan = true;
    EXPECT_EQ(plan(on(TCapturePath::Overlay), o),
              (QStringList{"ShowApplication", "ShowSaveFormat", "StartExtEditor", "ShowApplication", "StatusReady",
                           "ShowToolBars(0)", "ShowToolBars(1)", "ClearHotKeyCapture"}));
    o.ZKVisAScan = false;
    EXPECT_EQ(plan(on(TCapturePath::Overlay), o),
              (QStringList{"ShowApplication", "ShowSaveFormat", "StartExtEditor", "HideApplication", "StatusReady",
                           "ShowToolBars(0)", "ClearHotKeyCapture"}));

    // A capture started by the third hot key with the hot-key editor hand-off.
    TZelkoraOptions h;
    h.HotkeyOutputExtern = true;
    TCaptureContext c = on(TCapturePath::Overlay);
    c.hotKeyCapture = true;
    EXPECT_EQ(plan(c, h), (QStringList{"ShowApplication", "ShowSaveFormat", "HideApplication", "StartExtEditor",
                                       "StatusReady", "ShowToolBars(0)", "ClearHotKeyCapture"}));
    c.hotKeyCapture = false;
    EXPECT_FALSE(PlanAfterCapture(c, h).Has(TCaptureStep::StartExtEditor));
}

// ---------------------------------------------------------------------------
// Typed coordinates

TEST(CoordinatesPlan, SoundOrBeepThenWindowThenSaveThenClipboard)
{
    EXPECT_EQ(plan(on(TCapturePath::Coordinates), {}),
              (QStringList{"MessageBeep", "ClearFileName", "ShowApplication"}));

    TZelkoraOptions o = autoSaving();
    o.ScanSound = o.AutoWinSize = o.AutoWinCenter = o.FocusMode = o.ScanToClipboard = o.SaveHist = true;
    o.ExtGrafikEditor = true;
    EXPECT_EQ(plan(on(TCapturePath::Coordinates), o),
              (QStringList{"PlaySound", "FitMainWindow", "CenterMainWindow", "ArmFocusFrame", "AutoSave", "AddHistory",
                           "CopyToClipboard", "ShowSaveFormat", "StartExtEditor", "HideApplication"}));
}

TEST(CoordinatesPlan, MissingFolderMeansNoSaveAndNoClipboardAndNoName)
{
    TZelkoraOptions o = autoSaving();
    o.ScanToClipboard = true;
    TCaptureContext c = on(TCapturePath::Coordinates);
    c.outDirExists = false;
    EXPECT_EQ(plan(c, o), (QStringList{"MessageBeep", "ClearFileName", "ShowApplication"}));
}

// ---------------------------------------------------------------------------
// Desktop command

TEST(DesktopPlan, FromTheMenuAndFromTheTray)
{
    EXPECT_EQ(plan(on(TCapturePath::Desktop), {}),
              (QStringList{"ClearFileName", "SetMainVisible(1)", "ShowToolBars(1)"}));
    TCaptureContext tray = on(TCapturePath::Desktop);
    tray.fromTrayMenu = true;
    EXPECT_EQ(plan(tray, {}),
              (QStringList{"ClearFileName", "SetMainVisible(0)", "ShowApplication", "ShowToolBars(1)"}));
}

TEST(DesktopPlan, ClipboardAndHistoryOnlyInsideAutomaticSaving)
{
    TZelkoraOptions o;
    o.ScanToClipboard = o.SaveHist = true;
    const TAfterCapturePlan off = PlanAfterCapture(on(TCapturePath::Desktop), o);
    EXPECT_FALSE(off.Has(TCaptureStep::CopyToClipboard));
    EXPECT_FALSE(off.Has(TCaptureStep::AddHistory));

    o.PersSave = true;
    o.IsDateTimeToFile = true;
    o.ImgWithMouse = o.ScanSound = o.FocusMode = o.MinAScan = true;
    const TAfterCapturePlan p = PlanAfterCapture(on(TCapturePath::Desktop), o);
    EXPECT_EQ(render(p.steps),
              (QStringList{"DrawCursor", "PrepareFileName", "ShowSaveFormat", "AutoSave", "AddHistory",
                           "CopyToClipboard", "PlaySound", "SetMainVisible(1)", "ShowToolBars(1)",
                           "CreateFocusResizer", "StayHidden"}));
    // Save, history and clipboard form one guarded block.
    const int save = p.IndexOf(TCaptureStep::AutoSave);
    EXPECT_EQ(p.steps[std::size_t(save)].onFailure, TOnFailure::SkipGroup);
    EXPECT_EQ(p.steps[std::size_t(save)].group, p.steps[std::size_t(p.IndexOf(TCaptureStep::CopyToClipboard))].group);
    EXPECT_TRUE(p.recovery.empty());
}

TEST(DesktopPlan, MissingFolderReportsShowsEverythingAndStops)
{
    TZelkoraOptions o = autoSaving();
    o.ScanSound = o.ExtGrafikEditor = o.MinAScan = true;
    TCaptureContext c = on(TCapturePath::Desktop);
    c.outDirExists = false;
    EXPECT_EQ(plan(c, o),
              (QStringList{"ClearFileName", "ReportMissingFolder", "SetMainVisible(1)", "ShowToolBars(1)"}));
}

TEST(DesktopPlan, ExternalEditorWithoutShowingAgainHidesTheProgram)
{
    TZelkoraOptions o;
    o.ExtGrafikEditor = true;
    EXPECT_EQ(plan(on(TCapturePath::Desktop), o),
              (QStringList{"ClearFileName", "StartExtEditor", "HideApplication", "ShowToolBars(0)"}));
    o.ZKVisAScan = true;
    EXPECT_EQ(plan(on(TCapturePath::Desktop), o),
              (QStringList{"ClearFileName", "StartExtEditor", "SetMainVisible(1)", "ShowToolBars(1)"}));
}

// ---------------------------------------------------------------------------
// Hot keys

TEST(HotKeyPlan, DesktopKeyWithoutSavingShowsTheWindow)
{
    TZelkoraOptions o;
    o.ScanSound = true;
    EXPECT_EQ(plan(hotKey(2, true, true), o),
              (QStringList{"ClearFileName", "PlaySound", "ShowApplication(1)", "ShowToolBars(1)"}));
    o.AutoWinSize = o.AutoWinCenter = true;
    o.ScanSound = false;
    EXPECT_EQ(plan(hotKey(1, true, false), o), (QStringList{"ClearFileName", "MessageBeep", "ShowApplication(1)",
                                                            "FitMainWindow", "CenterMainWindow", "ShowToolBars(1)"}));
}

TEST(HotKeyPlan, SavingLeavesAHiddenWindowHidden)
{
    TZelkoraOptions o = autoSaving();
    o.ImgWithMouse = true;
    const TAfterCapturePlan hidden = PlanAfterCapture(hotKey(2, true, false), o);
    EXPECT_EQ(render(hidden.steps), (QStringList{"DrawCursor", "MessageBeep", "PrepareFileName", "AutoSave"}));
    EXPECT_EQ(render(PlanAfterCapture(hotKey(2, true, true), o).steps),
              (QStringList{"DrawCursor", "MessageBeep", "PrepareFileName", "AutoSave", "ShowApplication(1)",
                           "ShowToolBars(1)"}));
    // A failing save brings the program back and ends a timed series.
    const int save = hidden.IndexOf(TCaptureStep::AutoSave);
    EXPECT_EQ(hidden.steps[std::size_t(save)].onFailure, TOnFailure::Abort);
    EXPECT_EQ(render(hidden.recovery), (QStringList{"StopTimedCapture", "ShowApplication(1)", "ShowToolBars(1)"}));

    o.IsAutoincFileName = false;
    EXPECT_TRUE(PlanAfterCapture(hotKey(1, true, false), o).Has(TCaptureStep::SaveAs));
}

TEST(HotKeyPlan, KeysThatGrabNothingLeaveThePictureAlone)
{
    TZelkoraOptions o = autoSaving();
    o.ImgWithMouse = o.ScanSound = o.AutoWinSize = true;
    // Third key: the overlay finishes the capture; nothing is shown here.
    EXPECT_EQ(plan(hotKey(3, false, true), o), (QStringList{"MessageBeep"}));
    // Fifth key and unknown identifiers: beep and show.
    EXPECT_EQ(plan(hotKey(5, false, false), o), (QStringList{"MessageBeep", "ShowApplication(1)"}));
    EXPECT_EQ(plan(hotKey(0, false, true), o), (QStringList{"MessageBeep", "ShowApplication(1)"}));
    EXPECT_EQ(plan(hotKey(4, false, true), o), (QStringList{"MessageBeep"}));
    EXPECT_TRUE(plan(hotKey(6, false, true), o).isEmpty());
    // A grab that failed is no picture either.
    EXPECT_FALSE(PlanAfterCapture(hotKey(2, false, true), o).Has(TCaptureStep::AutoSave));
}

TEST(HotKeyPlan, EditorHandOffHidesAgainWhenTheWindowWasHidden)
{
    TZelkoraOptions o;
    o.HotkeyOutputExtern = true;
    o.MinAScan = true;
    EXPECT_EQ(plan(hotKey(1, true, false), o),
              (QStringList{"ClearFileName", "StartExtEditor", "MessageBeep", "ShowApplication(1)", "StayHidden",
                           "ShowToolBars(1)", "HideApplication", "ShowToolBars(0)"}));
    EXPECT_FALSE(PlanAfterCapture(hotKey(1, true, true), o).Has(TCaptureStep::HideApplication));
}

// ---------------------------------------------------------------------------
// Timed capture

TEST(TimedPlan, EveryTickSavesTheLastEndsTheSeries)
{
    TCaptureContext c = on(TCapturePath::Timed);
    c.seriesCount = 3;
    TZelkoraOptions o = autoSaving();
    o.ScanSound = o.AutoWinSize = o.PrintScan = o.ScanToClipboard = true;
    for (int done : {1, 2}) {
        c.seriesDone = done;
        EXPECT_EQ(plan(c, o), (QStringList{"AutoSave", "ProcessEvents"})) << done;
    }
    c.seriesDone = 3;
    EXPECT_EQ(plan(c, o), (QStringList{"AutoSave", "ShowApplication", "StopTimedCapture", "ShowSeriesName",
                                       "ProcessEvents"}));
    o.FileExp = true;
    const TAfterCapturePlan last = PlanAfterCapture(c, o);
    EXPECT_EQ(render(last.steps), (QStringList{"AutoSave", "ShowApplication", "ShowExplorers", "StopTimedCapture",
                                               "ShowSeriesName", "ProcessEvents"}));
    EXPECT_EQ(last.steps[0].onFailure, TOnFailure::Abort);
    EXPECT_EQ(render(last.recovery), (QStringList{"StopTimedCapture", "ShowApplication(1)", "ShowToolBars(1)"}));
}

// ---------------------------------------------------------------------------
// Running a plan

TEST(RunPlan, FailureAndCancelSkipTheirGroupAbortRunsRecovery)
{
    TZelkoraOptions o = autoSaving();
    o.SaveHist = o.ScanToClipboard = o.ScanSound = true;
    const TAfterCapturePlan desk = PlanAfterCapture(on(TCapturePath::Desktop), o);

    Recorder ok;
    EXPECT_TRUE(RunPlan(desk, ok));
    EXPECT_EQ(ok.ran, (QStringList{"PrepareFileName", "ShowSaveFormat", "AutoSave", "AddHistory", "CopyToClipboard",
                                   "PlaySound", "SetMainVisible", "ShowToolBars"}));

    for (TStepResult r : {TStepResult::Failed, TStepResult::Cancelled}) {
        Recorder failing;
        failing.failing = TCaptureStep::AutoSave;
        failing.failWith = r;
        EXPECT_TRUE(RunPlan(desk, failing));
        EXPECT_EQ(failing.ran, (QStringList{"PrepareFileName", "ShowSaveFormat", "AutoSave", "PlaySound",
                                            "SetMainVisible", "ShowToolBars"}));
    }

    const TAfterCapturePlan hot = PlanAfterCapture(hotKey(2, true, false), o);
    Recorder aborting;
    aborting.failing = TCaptureStep::AutoSave;
    aborting.failWith = TStepResult::Failed;
    EXPECT_FALSE(RunPlan(hot, aborting));
    EXPECT_EQ(aborting.ran, (QStringList{"PlaySound", "PrepareFileName", "AutoSave", "StopTimedCapture",
                                         "ShowApplication", "ShowToolBars"}));

    // Declining the name on a hot key is no error: the rest goes on.
    o.IsAutoincFileName = false;
    Recorder declined;
    declined.failing = TCaptureStep::SaveAs;
    declined.failWith = TStepResult::Cancelled;
    EXPECT_TRUE(RunPlan(PlanAfterCapture(hotKey(2, true, true), o), declined));
    EXPECT_EQ(declined.ran, (QStringList{"PlaySound", "PrepareFileName", "SaveAs", "ShowApplication", "ShowToolBars"}));
}

// ---------------------------------------------------------------------------
// Controller rules

TEST(CaptureModes, ThirteenModesOnlyTheFirstFiveUseTheOverlay)
{
    const QStringList names = {"RectMenuItem",     "TriangleMenuItem", "RoundRectMenuItem", "EllipseMenuItem",
                               "ObjectMenuItem",   "Desk3MenuItem",    "Coord3MenuItem",    "AviVdo3MenuItem",
                               "WE3MenuItem",      "ScanTwain3Menuitem", "ScanFile3MenuItem", "ScanTxt3MenuItem",
                               "Quorv3MenuItem"};
    const QStringList captions = {"Rechteck", "Dreieck", "Rundeck",  "Ellipse", "Objekt", "Desktop",  "Koordinaten",
                                  "AVI-Sequenz", "Windowselemente", "Twain", "Dateien", "Text", "Remote-PC"};
    ASSERT_EQ(ScanModes().size(), 13u);
    for (int i = 0; i < 13; ++i) {
        const TScanMode &m = ScanModes()[std::size_t(i)];
        EXPECT_EQ(m.tool, i);
        EXPECT_EQ(QString::fromLatin1(m.itemName), names[i]);
        EXPECT_EQ(QString::fromUtf8(m.caption), captions[i]);
        EXPECT_EQ(UsesOverlay(i), i <= 4) << i;
    }
    EXPECT_EQ(ScanModes()[5].command, TScanCommand::Desktop);
    EXPECT_EQ(ScanModes()[6].command, TScanCommand::Coordinates);
    EXPECT_EQ(ScanModes()[12].command, TScanCommand::Companion);
    EXPECT_EQ(ScanModeOf(13).tool, 0);
    EXPECT_EQ(ScanModeOf(-1).tool, 0);
    EXPECT_EQ(ScanModeOf(255).command, TScanCommand::OverlayRectangle);
}

TEST(CaptureModes, HotKeyRolesFollowTheSlots)
{
    const std::array<std::int32_t, 6> ids = {11, 12, 13, 14, 15, 16};
    EXPECT_EQ(HotKeyRole(11, ids), THotKeyRole::ForegroundWindow);
    EXPECT_EQ(HotKeyRole(12, ids), THotKeyRole::Desktop);
    EXPECT_EQ(HotKeyRole(13, ids), THotKeyRole::Interactive);
    EXPECT_EQ(HotKeyRole(14, ids), THotKeyRole::ShowHide);
    EXPECT_EQ(HotKeyRole(15, ids), THotKeyRole::TimedToggle);
    EXPECT_EQ(HotKeyRole(16, ids), THotKeyRole::CursorStamp);
    EXPECT_EQ(HotKeyRole(1, ids), THotKeyRole::None);
}

TEST(TimedCapture, IntervalAndCountAreAtLeastOne)
{
    TZelkoraOptions o;
    EXPECT_EQ(TimedIntervalMs(o), 1000);
    EXPECT_EQ(TimedSeriesCount(o), 1);
    o.ScanPerSec = 5;
    o.TimeScanCount = 3;
    EXPECT_EQ(TimedIntervalMs(o), 5000);
    EXPECT_EQ(TimedSeriesCount(o), 3);
    o.ScanPerSec = 255;
    o.TimeScanCount = 65535;
    EXPECT_EQ(TimedIntervalMs(o), 255000);
    EXPECT_EQ(TimedSeriesCount(o), 65535);

    // Three captures and no more, also when ticks keep coming.
    int done = 0;
    int ticks = 0;
    for (; ticks < 10; ++ticks)
        if (TimedTickCaptures(true, done, 3))
            ++done;
    EXPECT_EQ(done, 3);
    EXPECT_FALSE(TimedTickCaptures(false, 0, 3));
    EXPECT_TRUE(TimedTickCaptures(true, 0, 0)) << "a count of 0 still makes one capture";
    EXPECT_FALSE(TimedTickCaptures(true, 1, 0));
}

TEST(TrayIcon, ChoiceByTimedPrintAndSaving)
{
    using S = TTrayIconSet;
    //                    timed  print  save
    EXPECT_EQ(ChooseTrayIcon(true, true, false), (TTrayIconChoice{S::PrintTime, true}));
    EXPECT_EQ(ChooseTrayIcon(true, true, true), (TTrayIconChoice{S::PrintTime, true}));
    EXPECT_EQ(ChooseTrayIcon(true, false, true), (TTrayIconChoice{S::Time, true}));
    EXPECT_EQ(ChooseTrayIcon(true, false, false), (TTrayIconChoice{S::Static, false}));
    EXPECT_EQ(ChooseTrayIcon(false, false, true), (TTrayIconChoice{S::Static, false}));
    EXPECT_EQ(ChooseTrayIcon(false, true, false), (TTrayIconChoice{S::Print, true}));
    EXPECT_EQ(ChooseTrayIcon(false, true, true), (TTrayIconChoice{S::Print, true}));
}

TEST(SaveFormatPanel, Texts)
{
    EXPECT_EQ(SaveFormatText(false, true, 1), "- - -");
    EXPECT_EQ(SaveFormatText(true, false, 1), "|bmp|");
    EXPECT_EQ(SaveFormatText(true, true, 1), "|bmp| - jpg");
    EXPECT_EQ(SaveFormatText(true, true, 0), "|bmp| - bmp");
    EXPECT_EQ(SaveFormatText(true, true, 8), "|bmp| - png");
    EXPECT_EQ(SavedFileText("/home/u/Bilder/Shot 3.PNG"), "|bmp| - PNG");
}
