#include "Marks.h"

#include "Registry.h"

#include <algorithm>
#include <array>

namespace zk {

namespace {

constexpr std::array<TColor, 6> kMarkerPairs = {0x0000FF, 0xFF0000, 0x000000, 0x00FFFF, 0x008000, 0xC0C0C0};
constexpr std::array<const char *, 6> kMarkerGerman = {"Rot", "Blau", "Schwarz", "Gelb", "Gruen", "Silber"};
constexpr std::array<const char *, 6> kMarkerIcon = {"red", "blue", "black", "yellow", "green", "silver"};

constexpr std::array<TColor, kNumberColors> kNumberColorTable = {
    0x808080, static_cast<TColor>(0x80000003), 0x000000, 0xFFFFFF, 0x00FFFF, static_cast<TColor>(0x80000018),
    0xFF0000, 0xFFFF00, 0x008080, 0x008000, 0x0000FF, 0x000080};

struct Pointer
{
    const char *item;
    const char *entry;
    Qt::CursorShape shape;
};

// By pointer index 1..20.
constexpr std::array<Pointer, kPointerCount> kPointers = {{
    {"DefaultMenuItem", "Default", Qt::ArrowCursor},
    {"AppStartMenuItem", "AppStart", Qt::BusyCursor},
    {"CrossMenuItem", "Cross", Qt::CrossCursor},
    {"DragMenuItem", "Drag", Qt::DragMoveCursor},
    {"HandPointMenuItem", "HandPoint", Qt::PointingHandCursor},
    {"HelpMPointerMenuItem", "Help", Qt::WhatsThisCursor},
    {"HourGlassMenuItem", "HourGlass", Qt::WaitCursor},
    {"HSplitMenuItem", "HSplit", Qt::SplitHCursor},
    {"BeamMenuItem", "Beam", Qt::IBeamCursor},
    {"MultiDragMenuItem", "MultiDrag", Qt::DragCopyCursor},
    {"NoMenuItem", "No", Qt::ForbiddenCursor},
    {"NoDropMenuItem", "NoDrop", Qt::ForbiddenCursor},
    {"SizeAllMenuItem", "SizeAll", Qt::SizeAllCursor},
    {"SizeNESWMenuItem", "SizeNESW", Qt::SizeBDiagCursor},
    {"SizeNSMenuItem", "SizeNS", Qt::SizeVerCursor},
    {"SizeNWSEMenuItem", "SizeNWSE", Qt::SizeFDiagCursor},
    {"SizeMEMenuItem", "SizeWE", Qt::SizeHorCursor},
    {"SQLWaitMenuItem", "SQLWait", Qt::BusyCursor},
    {"UpArrowMenuItem", "UpArrow", Qt::UpArrowCursor},
    {"VSplitMenuItem", "VSplit", Qt::SplitVCursor},
}};

int ClampEntry(int entry)
{
    return std::clamp(entry, 0, kMarkerEntries - 1);
}

} // namespace

TColor MarkerColor(int entry)
{
    return kMarkerPairs[std::size_t(ClampEntry(entry) / 2)];
}

int MarkerPenWidth(int entry)
{
    return ClampEntry(entry) % 2 ? 10 : 5;
}

QString MarkerItemName(int entry)
{
    entry = ClampEntry(entry);
    return QString::fromLatin1(kMarkerGerman[std::size_t(entry / 2)]) +
           (entry % 2 ? QStringLiteral("Fett") : QStringLiteral("Duenn"));
}

QString MarkerIconName(int entry)
{
    entry = ClampEntry(entry);
    return QStringLiteral("marker-%1-%2")
        .arg(QString::fromLatin1(kMarkerIcon[std::size_t(entry / 2)]),
             entry % 2 ? QStringLiteral("fat") : QStringLiteral("thin"));
}

QRect MarkerItemBar(const QRect &item, int entry)
{
    return entry % 2 ? item : item.adjusted(0, 4, 0, -8);
}

TColor NumberMarkColor(int index, bool rim)
{
    if (index < 0 || index >= kNumberColors)
        return rim ? clBlack : clWhite;
    return kNumberColorTable[std::size_t(index)];
}

QRect NumberCircle(const QPoint &p)
{
    return QRect(QPoint(p.x() + 3, p.y() + 3), QPoint(p.x() + 27, p.y() + 27));
}

QPoint NumberTextOrigin(const QRect &circle, const QString &text)
{
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    int dx = 6;
    if (ok && n >= 1 && n <= 9)
        dx = 9;
    else if (ok && n >= 100)
        dx = 3;
    return circle.topLeft() + QPoint(dx, 6);
}

QString NumberHintText(const QString &pattern, int placed, int span, int x, int y)
{
    return pattern.arg(placed).arg(span + 1).arg(x).arg(y);
}

void TNumberSettings::Normalize()
{
    From = std::clamp(From, 1, 999);
    To = std::clamp(To, From, 999);
    Fill = std::clamp(Fill, 0, kNumberColors - 1);
    Rim = std::clamp(Rim, 0, kNumberColors - 1);
    RimItem = std::clamp(RimItem, 0, 5);
}

std::optional<TNumberSettings> LoadNumberSettings()
{
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(QString::fromLatin1(kNumKindKey)))
        return std::nullopt;
    TNumberSettings s;
    s.From = reg.ReadInteger(QStringLiteral("NumVonUpDown"));
    s.To = reg.ReadInteger(QStringLiteral("NumBisUpDown"));
    s.Fill = reg.ReadInteger(QStringLiteral("NumColComboBox"));
    s.Rim = reg.ReadInteger(QStringLiteral("RandColComboBox"));
    s.RimItem = reg.ReadInteger(QStringLiteral("RandWidthComboBox"));
    s.Hint = reg.ReadBool(QStringLiteral("OutputHintCheckBox"));
    s.Normalize();
    return s;
}

void SaveNumberSettings(const TNumberSettings &s)
{
    TRegistryBatch batch(RootKey::CurrentUser);
    TRegistry reg;
    reg.OpenKey(QString::fromLatin1(kNumKindKey), true);
    reg.WriteInteger(QStringLiteral("NumVonUpDown"), s.From);
    reg.WriteInteger(QStringLiteral("NumBisUpDown"), s.To);
    reg.WriteInteger(QStringLiteral("NumColComboBox"), s.Fill);
    reg.WriteInteger(QStringLiteral("RandColComboBox"), s.Rim);
    reg.WriteInteger(QStringLiteral("RandWidthComboBox"), s.RimItem);
    reg.WriteBool(QStringLiteral("OutputHintCheckBox"), s.Hint);
    batch.Commit();
}

std::optional<Qt::CursorShape> PointerShape(int index)
{
    if (index < 1 || index > kPointerCount)
        return std::nullopt;
    return kPointers[std::size_t(index - 1)].shape;
}

QString PointerItemName(int index)
{
    if (index < 1 || index > kPointerCount)
        return QString();
    return QString::fromLatin1(kPointers[std::size_t(index - 1)].item);
}

QStringList PointerListEntries()
{
    QStringList entries;
    for (int i = 0; i < kPointerCount; ++i)
        entries << QStringLiteral("%1 (%2)").arg(QString::fromLatin1(kPointers[std::size_t(i)].entry)).arg(i + 1);
    return entries;
}

} // namespace zk
