#include "ToolBarStore.h"

#include "Registry.h"

#include <QtEndian>

namespace zk {

const std::array<TPaletteRow, kPaletteCount> &PaletteTable()
{
    static const std::array<TPaletteRow, kPaletteCount> rows = {{
        {0, "StandardToolBar", "StandardMenuItem", "StdPal", true},
        {1, "GrafikEditToolBar", "GrafikEditMenuItem", "EditPal", true},
        {2, "CutterToolBar", "CutterMenuItem2", "CutterPal", true},
        {3, "WordToolBar", "WordMenuItem", "WordPal", false},
        {4, "OptionsToolBar", "Optionen2MenuItem", "OptionPal", false},
        {5, "HelpToolBar", "Help2MenuItem", "HelpPal", false},
        {6, "ExitToolBar", "ExitMenuItem", "ExitPal", false},
        {7, "XtrasToolBar", "XtrasMenuItem", "XtrasPal", false},
        {8, "ViewToolBar", "View2MenuItem", "ViewPal", false},
    }};
    return rows;
}

const QStringList &PaletteFlagReadOrder()
{
    static const QStringList names = {"StdPal",  "EditPal", "CutterPal", "WordPal", "OptionPal",
                                      "HelpPal", "ExitPal", "XtrasPal",  "ViewPal", "ColView"};
    return names;
}

const QStringList &PaletteFlagWriteOrder()
{
    static const QStringList names = {"StdPal",  "EditPal", "CutterPal", "WordPal", "OptionPal",
                                      "HelpPal", "ExitPal", "ColView",   "XtrasPal", "ViewPal"};
    return names;
}

TPaletteFlags DefaultPaletteFlags()
{
    TPaletteFlags f;
    for (const TPaletteRow &r : PaletteTable())
        f.bars[r.tag] = r.defaultOn;
    return f;
}

namespace {

// Index of a flag name in the table; kPaletteCount for "ColView".
int FlagSlot(const QString &name)
{
    for (const TPaletteRow &r : PaletteTable())
        if (name == QLatin1String(r.flagValue))
            return r.tag;
    return kPaletteCount;
}

} // namespace

std::optional<TPaletteFlags> ReadPaletteFlagsFrom(const QString &key)
{
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(key))
        return std::nullopt;
    TPaletteFlags f;
    for (const QString &name : PaletteFlagReadOrder()) {
        // A value of another type is as good as missing: the bars would
        // otherwise follow whatever bytes happen to be there.
        if (reg.GetDataType(name) != RegDataType::Integer)
            return std::nullopt;
        const bool on = reg.ReadBool(name);
        const int slot = FlagSlot(name);
        if (slot < kPaletteCount)
            f.bars[slot] = on;
        else
            f.colView = on;
    }
    return f;
}

bool WritePaletteFlagsTo(const QString &key, const TPaletteFlags &flags)
{
    try {
        TRegistryBatch batch;
        TRegistry reg;
        if (!reg.OpenKey(key, true))
            return false;
        for (const QString &name : PaletteFlagWriteOrder()) {
            const int slot = FlagSlot(name);
            reg.WriteBool(name, slot < kPaletteCount ? flags.bars[slot] : flags.colView);
        }
        batch.Commit();
        return true;
    } catch (const ERegistryException &) {
        return false;
    }
}

QByteArray EncodeToolBarBounds(const TToolBarBounds &bounds)
{
    QByteArray out(kToolBarBoundsBytes, '\0');
    auto *p = reinterpret_cast<uchar *>(out.data());
    for (const QRect &r : bounds) {
        for (int v : {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}) {
            qToLittleEndian<qint32>(v, p);
            p += 4;
        }
    }
    return out;
}

std::optional<TToolBarBounds> DecodeToolBarBounds(const QByteArray &data)
{
    if (data.size() != kToolBarBoundsBytes)
        return std::nullopt;
    TToolBarBounds bounds{};
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    for (QRect &r : bounds) {
        const qint32 left = qFromLittleEndian<qint32>(p);
        const qint32 top = qFromLittleEndian<qint32>(p + 4);
        const qint32 right = qFromLittleEndian<qint32>(p + 8);
        const qint32 bottom = qFromLittleEndian<qint32>(p + 12);
        p += 16;
        // Widths from 64-bit sums: a damaged value must not overflow.
        const qint64 w = qint64(right) - left;
        const qint64 h = qint64(bottom) - top;
        r = (w > 0 && h > 0 && w < (1 << 20) && h < (1 << 20)) ? QRect(left, top, int(w), int(h)) : QRect();
    }
    return bounds;
}

std::optional<TToolBarBounds> ReadToolBarBounds(const QString &key)
{
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(key) || reg.GetDataType(QStringLiteral("DefToolBarPos")) != RegDataType::Binary)
        return std::nullopt;
    return DecodeToolBarBounds(reg.ReadBinaryData(QStringLiteral("DefToolBarPos")));
}

bool WriteToolBarBounds(const QString &key, const TToolBarBounds &bounds)
{
    try {
        TRegistry reg;
        if (!reg.OpenKey(key, true))
            return false;
        reg.WriteBinaryData(QStringLiteral("DefToolBarPos"), EncodeToolBarBounds(bounds));
        return true;
    } catch (const ERegistryException &) {
        return false;
    }
}

TPicEditPal ReadPicEditPal(const QString &key)
{
    TPicEditPal v;
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(key))
        return v;
    const auto read = [&reg](const char *name, std::uint8_t &field) {
        const QString n = QString::fromLatin1(name);
        if (reg.GetDataType(n) == RegDataType::Integer)
            field = std::uint8_t(reg.ReadInteger(n));
    };
    read("Antialiasing", v.antialiasing);
    read("Scaling", v.scaling);
    read("Marker", v.marker);
    return v;
}

bool WritePicEditPal(const QString &key, const TPicEditPal &values)
{
    try {
        TRegistryBatch batch;
        TRegistry reg;
        if (!reg.OpenKey(key, true))
            return false;
        reg.WriteInteger(QStringLiteral("Antialiasing"), values.antialiasing);
        reg.WriteInteger(QStringLiteral("Scaling"), values.scaling);
        reg.WriteInteger(QStringLiteral("Marker"), values.marker);
        batch.Commit();
        return true;
    } catch (const ERegistryException &) {
        return false;
    }
}

const QStringList &CommandGroup(TCommandGroup group)
{
    static const QStringList file = {"CopyToolButton",  "CopyMenuItem",      "SaveToolButton",
                                     "SaveMenuItem",    "PrintToolButton",   "PrintMenuItem",
                                     "CutMenuItem",     "PrintPrevMenuItem", "PrPrevToolButton",
                                     "FastSaveToolButton", "ASMenuItem"};
    static const QStringList edit = {
        "MirrorHMenuItem",   "MirrorHToolButton",   "MirrorVMenuItem",  "MirrorVToolButton",
        "InvertMenuItem",    "InvertToolButton",    "RotateMenuItem",   "RotateToolButton",
        "GrayStepMenuItem",  "GrayStepToolButton",  "HellMenuItem",     "HellToolButton",
        "DarkToolButton",    "DarkMenuItem",        "MoreKontrMenuItem", "MoreKontrToolButton",
        "TmpScaleMenuItem",  "Scale2MenuItem",      "ScaleToolButton",  "BorderMenuItem",
        "TxtInpMenuItem",    "FeetLineMenuItem",    "ClonedMenuItem",   "CentreMenuItem",
        "GlttenMenuItem",    "GlattToolButton",     "GlttenMenuItem2",  "CutterToolButton",
        "CutterEnterMenuItem", "CutterEnterToolButton", "CutterMenuItem", "RGBChanMenuItem",
        "RGBChanToolButton", "MarkToolButton",      "NumMenuItem",      "NumToolButton"};
    static const QStringList cursor = {
        "DefaultMenuItem",  "AppStartMenuItem", "CrossMenuItem",   "DragMenuItem",     "HandPointMenuItem",
        "HelpMPointerMenuItem", "HourGlassMenuItem", "VSplitMenuItem", "BeamMenuItem", "MultiDragMenuItem",
        "NoMenuItem",       "NoDropMenuItem",   "SizeAllMenuItem", "SizeNSMenuItem",   "SizeMEMenuItem",
        "SQLWaitMenuItem",  "UpArrowMenuItem",  "HSplitMenuItem",  "SizeNESWMenuItem", "SizeNWSEMenuItem",
        "TestMenuItem"};
    static const QStringList view = {"WinDimMenuItem",    "DocCentMenuItem",  "GsMenuItem",
                                     "DocFocMenuItem",    "TransMenuItem",    "CoordNetMenuItem",
                                     "WinDimToolButton",  "DocCentToolButton", "GsToolButton",
                                     "DocFocToolButton",  "FullScreenToolButton"};
    switch (group) {
    case TCommandGroup::File:
        return file;
    case TCommandGroup::Edit:
        return edit;
    case TCommandGroup::Cursor:
        return cursor;
    case TCommandGroup::View:
        break;
    }
    return view;
}

} // namespace zk
