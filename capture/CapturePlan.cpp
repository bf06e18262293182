#include "CapturePlan.h"

#include <algorithm>

namespace zk {

namespace {

constexpr int kSaveGroup = 1;

class PlanBuilder
{
public:
    explicit PlanBuilder(TAfterCapturePlan &plan)
        : m_plan(plan)
    {
    }
    PlanBuilder &add(TCaptureStep kind, bool flag = false)
    {
        m_plan.steps.push_back({kind, flag, 0, TOnFailure::Continue});
        return *this;
    }
    PlanBuilder &grouped(TCaptureStep kind, TOnFailure onFailure, bool flag = false)
    {
        m_plan.steps.push_back({kind, flag, kSaveGroup, onFailure});
        return *this;
    }
    PlanBuilder &recovery(TCaptureStep kind, bool flag = false)
    {
        m_plan.recovery.push_back({kind, flag, 0, TOnFailure::Continue});
        return *this;
    }

private:
    TAfterCapturePlan &m_plan;
};

bool namesAutomatically(const TZelkoraOptions &o)
{
    return o.IsAutoincFileName || o.IsDateTimeToFile;
}

// A failed save on a path nobody watches (hot key, timer) must not leave the
// program hidden behind a timer that keeps failing.
void addUnattendedRecovery(PlanBuilder &b)
{
    b.recovery(TCaptureStep::StopTimedCapture)
        .recovery(TCaptureStep::ShowApplication, true)
        .recovery(TCaptureStep::ShowToolBars, true);
}

void planOverlay(PlanBuilder &b, const TCaptureContext &c, const TZelkoraOptions &o)
{
    if (o.Loupe && c.scanTool != 4)
        b.add(TCaptureStep::FreeLoupe);
    if (o.AutoWinSize)
        b.add(TCaptureStep::FitMainWindow);
    if (o.AutoWinCenter)
        b.add(TCaptureStep::CenterMainWindow);
    if (o.FocusMode)
        b.add(TCaptureStep::ArmFocusFrame);
    if (o.ScanToClipboard)
        b.add(TCaptureStep::CopyToClipboard);
    // The cursor waits for the window's show; a window that stays hidden
    // would otherwise save the picture without it and stamp it on some
    // later show instead.
    if (o.ImgWithMouse)
        b.add(o.MinAScan ? TCaptureStep::DrawCursor : TCaptureStep::StampCursorOnShow);
    b.add(o.MinAScan ? TCaptureStep::StayHidden : TCaptureStep::ShowApplication);
    if (o.ScanSound)
        b.add(TCaptureStep::PlaySound);
    b.add(TCaptureStep::ShowSaveFormat);
    if (o.ExtGrafikEditor) {
        b.add(TCaptureStep::StartExtEditor);
        b.add(o.ZKVisAScan ? TCaptureStep::ShowApplication : TCaptureStep::HideApplication);
    }
    if (o.HotkeyOutputExtern && c.hotKeyCapture)
        b.add(TCaptureStep::HideApplication).add(TCaptureStep::StartExtEditor);
    if (o.PersSave) {
        b.grouped(namesAutomatically(o) ? TCaptureStep::AutoSave : TCaptureStep::SaveAs, TOnFailure::SkipGroup);
        if (o.SaveHist)
            b.grouped(TCaptureStep::AddHistory, TOnFailure::Continue);
    }
    if (o.PrintScan)
        b.add(TCaptureStep::Print);
    b.add(TCaptureStep::StatusReady);
    b.add(TCaptureStep::ShowToolBars, !o.MinAScan && !c.hotKeyCapture && !o.ExtGrafikEditor);
    if (o.ExtGrafikEditor && o.ZKVisAScan && !c.hotKeyCapture)
        b.add(TCaptureStep::ShowToolBars, true);
    b.add(TCaptureStep::ClearHotKeyCapture);
}

void planCoordinates(PlanBuilder &b, const TCaptureContext &c, const TZelkoraOptions &o)
{
    b.add(o.ScanSound ? TCaptureStep::PlaySound : TCaptureStep::MessageBeep);
    if (o.AutoWinSize)
        b.add(TCaptureStep::FitMainWindow);
    if (o.AutoWinCenter)
        b.add(TCaptureStep::CenterMainWindow);
    if (o.FocusMode)
        b.add(TCaptureStep::ArmFocusFrame);
    if (o.PersSave && c.outDirExists) {
        b.grouped(namesAutomatically(o) ? TCaptureStep::AutoSave : TCaptureStep::SaveAs, TOnFailure::SkipGroup);
        if (o.SaveHist)
            b.grouped(TCaptureStep::AddHistory, TOnFailure::Continue);
        if (o.ScanToClipboard)
            b.grouped(TCaptureStep::CopyToClipboard, TOnFailure::Continue);
        b.grouped(TCaptureStep::ShowSaveFormat, TOnFailure::Continue);
    } else {
        // Unsaved, the new picture has no file: the name of the picture it
        // replaced must not stay on it for the file commands to act on.
        b.add(TCaptureStep::ClearFileName);
    }
    if (o.ExtGrafikEditor) {
        b.add(TCaptureStep::StartExtEditor);
        b.add(o.ZKVisAScan ? TCaptureStep::ShowApplication : TCaptureStep::HideApplication);
    } else {
        b.add(TCaptureStep::ShowApplication);
    }
}

void planDesktop(PlanBuilder &b, const TCaptureContext &c, const TZelkoraOptions &o)
{
    // The cursor goes in before anything leaves the program, so the file
    // and the clipboard hold the same picture as the window.
    if (o.ImgWithMouse)
        b.add(TCaptureStep::DrawCursor);
    if (o.PersSave && c.outDirExists) {
        b.add(TCaptureStep::PrepareFileName);
        b.add(TCaptureStep::ShowSaveFormat);
        b.grouped(namesAutomatically(o) ? TCaptureStep::AutoSave : TCaptureStep::SaveAs, TOnFailure::SkipGroup);
        if (o.SaveHist)
            b.grouped(TCaptureStep::AddHistory, TOnFailure::Continue);
        if (o.ScanToClipboard)
            b.grouped(TCaptureStep::CopyToClipboard, TOnFailure::Continue);
    } else {
        b.add(TCaptureStep::ClearFileName);
        if (o.PersSave) {
            b.add(TCaptureStep::ReportMissingFolder);
            b.add(TCaptureStep::SetMainVisible, true);
            b.add(TCaptureStep::ShowToolBars, true);
            return;
        }
    }
    if (o.ScanSound)
        b.add(TCaptureStep::PlaySound);
    const auto showAgain = [&] {
        b.add(TCaptureStep::SetMainVisible, !c.fromTrayMenu);
        if (c.fromTrayMenu)
            b.add(TCaptureStep::ShowApplication);
        b.add(TCaptureStep::ShowToolBars, true);
    };
    if (o.ExtGrafikEditor) {
        b.add(TCaptureStep::StartExtEditor);
        if (o.ZKVisAScan)
            showAgain();
        else
            b.add(TCaptureStep::HideApplication).add(TCaptureStep::ShowToolBars, false);
    } else {
        showAgain();
    }
    if (o.FocusMode)
        b.add(TCaptureStep::CreateFocusResizer);
    if (o.MinAScan)
        b.add(TCaptureStep::StayHidden);
}

void planHotKey(PlanBuilder &b, const TCaptureContext &c, const TZelkoraOptions &o)
{
    const int role = c.hotKeyRole;
    if (role == 4) {
        b.add(TCaptureStep::MessageBeep);
        return;
    }
    if (role == 6)
        return;
    const bool grabbingKey = role == 1 || role == 2;
    const bool grabbed = grabbingKey && c.grabbed;
    bool hideAfter = false;
    // A fresh picture that is not saved has no file of its own: the name of
    // the one it replaced must not reach the editor or the file commands.
    if (grabbed && !o.PersSave)
        b.add(TCaptureStep::ClearFileName);
    // Only a fresh picture gets the cursor, and before it is saved; on the
    // other keys the picture in the window is an older one.
    if (grabbed && o.ImgWithMouse)
        b.add(TCaptureStep::DrawCursor);
    if (grabbed && o.HotkeyOutputExtern) {
        b.add(TCaptureStep::StartExtEditor);
        hideAfter = !c.wasVisible;
    }
    b.add(grabbingKey && o.ScanSound ? TCaptureStep::PlaySound : TCaptureStep::MessageBeep);
    bool showAfter = true;
    if (o.PersSave && grabbed) {
        b.add(TCaptureStep::PrepareFileName);
        b.grouped(namesAutomatically(o) ? TCaptureStep::AutoSave : TCaptureStep::SaveAs, TOnFailure::Abort);
        showAfter = c.wasVisible;
    }
    if (role == 3)
        showAfter = false;
    if (showAfter)
        b.add(TCaptureStep::ShowApplication, true);
    if (grabbed && o.AutoWinSize)
        b.add(TCaptureStep::FitMainWindow);
    if (grabbed && o.AutoWinCenter)
        b.add(TCaptureStep::CenterMainWindow);
    if (o.MinAScan)
        b.add(TCaptureStep::StayHidden);
    if (grabbed && showAfter)
        b.add(TCaptureStep::ShowToolBars, true);
    if (hideAfter)
        b.add(TCaptureStep::HideApplication).add(TCaptureStep::ShowToolBars, false);
    addUnattendedRecovery(b);
}

void planTimed(PlanBuilder &b, const TCaptureContext &c, const TZelkoraOptions &o)
{
    b.grouped(TCaptureStep::AutoSave, TOnFailure::Abort);
    if (c.seriesDone >= c.seriesCount) {
        b.add(TCaptureStep::ShowApplication);
        if (o.FileExp)
            b.add(TCaptureStep::ShowExplorers);
        b.add(TCaptureStep::StopTimedCapture);
        b.add(TCaptureStep::ShowSeriesName);
    }
    b.add(TCaptureStep::ProcessEvents);
    addUnattendedRecovery(b);
}

} // namespace

std::vector<TCaptureStep> TAfterCapturePlan::Kinds() const
{
    std::vector<TCaptureStep> kinds;
    kinds.reserve(steps.size());
    for (const TPlanStep &s : steps)
        kinds.push_back(s.kind);
    return kinds;
}

bool TAfterCapturePlan::Has(TCaptureStep kind) const
{
    return IndexOf(kind) >= 0;
}

int TAfterCapturePlan::IndexOf(TCaptureStep kind) const
{
    const auto it = std::find_if(steps.begin(), steps.end(), [kind](const TPlanStep &s) { return s.kind == kind; });
    return it == steps.end() ? -1 : int(it - steps.begin());
}

TAfterCapturePlan PlanAfterCapture(const TCaptureContext &context, const TZelkoraOptions &options)
{
    TAfterCapturePlan plan;
    PlanBuilder b(plan);
    switch (context.path) {
    case TCapturePath::Overlay:
        planOverlay(b, context, options);
        break;
    case TCapturePath::Coordinates:
        planCoordinates(b, context, options);
        break;
    case TCapturePath::Desktop:
        planDesktop(b, context, options);
        break;
    case TCapturePath::HotKey:
        planHotKey(b, context, options);
        break;
    case TCapturePath::Timed:
        planTimed(b, context, options);
        break;
    }
    return plan;
}

bool RunPlan(const TAfterCapturePlan &plan, TCaptureExecutor &executor)
{
    int skippedGroup = 0;
    for (const TPlanStep &step : plan.steps) {
        if (step.group != 0 && step.group == skippedGroup)
            continue;
        const TStepResult result = executor.Run(step);
        if (result == TStepResult::Done)
            continue;
        if (result == TStepResult::Cancelled) {
            skippedGroup = step.group;
            continue;
        }
        switch (step.onFailure) {
        case TOnFailure::Continue:
            break;
        case TOnFailure::SkipGroup:
            skippedGroup = step.group;
            break;
        case TOnFailure::Abort:
            for (const TPlanStep &r : plan.recovery)
                executor.Run(r);
            return false;
        }
    }
    return true;
}

QString StepName(TCaptureStep kind)
{
    switch (kind) {
    case TCaptureStep::FreeLoupe: return QStringLiteral("FreeLoupe");
    case TCaptureStep::FitMainWindow: return QStringLiteral("FitMainWindow");
    case TCaptureStep::CenterMainWindow: return QStringLiteral("CenterMainWindow");
    case TCaptureStep::ArmFocusFrame: return QStringLiteral("ArmFocusFrame");
    case TCaptureStep::CreateFocusResizer: return QStringLiteral("CreateFocusResizer");
    case TCaptureStep::DrawCursor: return QStringLiteral("DrawCursor");
    case TCaptureStep::StampCursorOnShow: return QStringLiteral("StampCursorOnShow");
    case TCaptureStep::CopyToClipboard: return QStringLiteral("CopyToClipboard");
    case TCaptureStep::ShowApplication: return QStringLiteral("ShowApplication");
    case TCaptureStep::HideApplication: return QStringLiteral("HideApplication");
    case TCaptureStep::SetMainVisible: return QStringLiteral("SetMainVisible");
    case TCaptureStep::StayHidden: return QStringLiteral("StayHidden");
    case TCaptureStep::PlaySound: return QStringLiteral("PlaySound");
    case TCaptureStep::MessageBeep: return QStringLiteral("MessageBeep");
    case TCaptureStep::ShowSaveFormat: return QStringLiteral("ShowSaveFormat");
    case TCaptureStep::StartExtEditor: return QStringLiteral("StartExtEditor");
    case TCaptureStep::PrepareFileName: return QStringLiteral("PrepareFileName");
    case TCaptureStep::ClearFileName: return QStringLiteral("ClearFileName");
    case TCaptureStep::AutoSave: return QStringLiteral("AutoSave");
    case TCaptureStep::SaveAs: return QStringLiteral("SaveAs");
    case TCaptureStep::AddHistory: return QStringLiteral("AddHistory");
    case TCaptureStep::Print: return QStringLiteral("Print");
    case TCaptureStep::StatusReady: return QStringLiteral("StatusReady");
    case TCaptureStep::ShowToolBars: return QStringLiteral("ShowToolBars");
    case TCaptureStep::ClearHotKeyCapture: return QStringLiteral("ClearHotKeyCapture");
    case TCaptureStep::ReportMissingFolder: return QStringLiteral("ReportMissingFolder");
    case TCaptureStep::StopTimedCapture: return QStringLiteral("StopTimedCapture");
    case TCaptureStep::ShowExplorers: return QStringLiteral("ShowExplorers");
    case TCaptureStep::ShowSeriesName: return QStringLiteral("ShowSeriesName");
    case TCaptureStep::ProcessEvents: return QStringLiteral("ProcessEvents");
    }
    return QStringLiteral("?");
}

} // namespace zk
