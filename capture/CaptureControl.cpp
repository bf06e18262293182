#include "CaptureControl.h"

#include <QFileInfo>

#include <algorithm>

namespace zk {

QString OpenDialogName;

const std::array<TScanMode, kScanModeCount> &ScanModes()
{
    static const std::array<TScanMode, kScanModeCount> modes = {{
        {0, "RectMenuItem", "Rechteck", TScanCommand::OverlayRectangle},
        {1, "TriangleMenuItem", "Dreieck", TScanCommand::OverlayTriangle},
        {2, "RoundRectMenuItem", "Rundeck", TScanCommand::OverlayRoundRect},
        {3, "EllipseMenuItem", "Ellipse", TScanCommand::OverlayEllipse},
        {4, "ObjectMenuItem", "Objekt", TScanCommand::OverlayWindow},
        {5, "Desk3MenuItem", "Desktop", TScanCommand::Desktop},
        {6, "Coord3MenuItem", "Koordinaten", TScanCommand::Coordinates},
        {7, "AviVdo3MenuItem", "AVI-Sequenz", TScanCommand::AviRecorder},
        {8, "WE3MenuItem", "Windowselemente", TScanCommand::WindowInfo},
        {9, "ScanTwain3Menuitem", "Twain", TScanCommand::Twain},
        {10, "ScanFile3MenuItem", "Dateien", TScanCommand::FileCompare},
        {11, "ScanTxt3MenuItem", "Text", TScanCommand::TextSearch},
        {12, "Quorv3MenuItem", "Remote-PC", TScanCommand::Companion},
    }};
    return modes;
}

const TScanMode &ScanModeOf(int scanTool)
{
    const auto &modes = ScanModes();
    return scanTool >= 0 && scanTool < kScanModeCount ? modes[std::size_t(scanTool)] : modes[0];
}

bool UsesOverlay(int scanTool)
{
    return ScanModeOf(scanTool).tool <= 4;
}

THotKeyRole HotKeyRole(std::int32_t id, const std::array<std::int32_t, 6> &ids)
{
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == id)
            return THotKeyRole(int(i) + 1);
    return THotKeyRole::None;
}

int TimedIntervalMs(const TZelkoraOptions &options)
{
    return std::max(1, int(options.ScanPerSec)) * 1000;
}

int TimedSeriesCount(const TZelkoraOptions &options)
{
    return std::max(1, int(options.TimeScanCount));
}

bool TimedTickCaptures(bool running, int done, int count)
{
    return running && done < std::max(1, count);
}

TTrayIconChoice ChooseTrayIcon(bool timeScanRunning, bool printScan, bool persSave)
{
    if (timeScanRunning && printScan)
        return {TTrayIconSet::PrintTime, true};
    if (timeScanRunning && persSave)
        return {TTrayIconSet::Time, true};
    if (!printScan)
        return {TTrayIconSet::Static, false};
    return {TTrayIconSet::Print, true};
}

namespace {

QString withoutDot(const QString &ext)
{
    return ext.startsWith(u'.') ? ext.mid(1) : ext;
}

} // namespace

QString SaveFormatText(bool hasPicture, bool persSave, int fileTyp)
{
    if (!hasPicture)
        return QStringLiteral("- - -");
    if (!persSave)
        return QStringLiteral("|bmp|");
    return QStringLiteral("|bmp| - ") + withoutDot(FileTypeExt(fileTyp));
}

QString SavedFileText(const QString &fileName)
{
    return QStringLiteral("|bmp| - ") + QFileInfo(fileName).suffix();
}

} // namespace zk
